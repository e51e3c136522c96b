// SPDX-License-Identifier: MIT
#include "batch/output_target.h"

#include <algorithm>
#include <array>
#include <stdexcept>
#include <system_error>

#include "batch/input_walker.h"
#include "decode/audio_paths.h"
#include "decode/format_sniff.h"
#include "decode/input_file.h"
#include "platform/file_system.h"
#include "text/system_reason.h"
#include "text/utf8.h"

namespace orvel {
namespace {

namespace fs = std::filesystem;

// The first 16 bytes of every SQLite 3 database file.
constexpr std::string_view kSqliteHeader{"SQLite format 3\0", 16};

// What an existing file holds, as far as the rules care.
enum class Content { Other, Audio, Sqlite, Unreadable };

Content contentOf(const fs::path& path, std::string& reason)
{
    int error = 0;
    try {
        const InputFile file = InputFile::open(path, error);
        if (!file.isOpen()) {
            reason = systemReason(error);
            return Content::Unreadable;
        }
        std::array<char, kSqliteHeader.size()> head{};
        const std::size_t got = file.readAt(0, head.data(), head.size());
        if (std::string_view(head.data(), got) == kSqliteHeader) {
            return Content::Sqlite;
        }
        return formatOfContent(file) != ContentFormat::Unknown ? Content::Audio : Content::Other;
    } catch (const std::runtime_error& failure) {
        reason = failure.what(); // swapped for something that is not a file meanwhile
        return Content::Unreadable;
    }
}

bool isReadOnly(const fs::path& path, const FileStatus& status)
{
    // The owner's bit decides, for root too, as for every replaced output.
    return !status.ownerWritable || !userMayWrite(path);
}

} // namespace

void OutputGuard::protect(const std::vector<fs::path>& files, std::string_view noun)
{
    for (const fs::path& file : files) {
        FileStatus status;
        int error = 0;
        if (statusOf(file, status, error)) {
            m_protected.push_back({{status.device, status.inode}, file, std::string(noun)});
        }
    }
    std::stable_sort(m_protected.begin(), m_protected.end(), [](const Protected& a, const Protected& b) {
        return std::pair(a.identity.device, a.identity.inode) < std::pair(b.identity.device, b.identity.inode);
    });
}

std::string OutputGuard::refused(const fs::path& output, OutputKind kind) const
{
    if (output.empty()) {
        return {};
    }
    const std::string name = displayName(output);
    const std::string refusing =
        kind == OutputKind::Cache ? "refusing to use " + name + " as the cache" : "refusing to write " + name;

    const fs::path normal = normalAbsolute(output);
    FileStatus target;
    int error = 0;
    const bool exists = statusOf(output, target, error);
    for (const Claimed& claimed : m_claimed) {
        FileStatus other;
        // Two outputs on one terminal or pipe are fine; on one file they are not.
        const bool same = claimed.normal == normal ||
                          (exists && target.regular() && statusOf(claimed.normal, other, error) && other.sameFile(target));
        if (same) {
            return refusing + ": it is also " + claimed.what;
        }
    }
    if (!exists) {
        return {}; // nothing there yet
    }
    if (!target.regular()) {
        // A device or pipe keeps no content and takes a report as it comes,
        // but a database there cannot work, and SQLite would put its journal
        // beside it.
        return kind == OutputKind::Cache ? refusing + ": it is not a regular file" : std::string();
    }

    const Identity identity{target.device, target.inode};
    const auto hit = std::lower_bound(
        m_protected.begin(), m_protected.end(), identity, [](const Protected& entry, const Identity& wanted) {
            return std::pair(entry.identity.device, entry.identity.inode) < std::pair(wanted.device, wanted.inode);
        });
    if (hit != m_protected.end() && hit->identity == identity) {
        return refusing + " over the " + hit->noun + " " + displayName(hit->path);
    }

    std::error_code ec;
    const fs::path resolved = fs::canonical(output, ec);
    const fs::path& real = ec ? output : resolved;
    std::string reason;
    const Content content = contentOf(output, reason);
    if (isSupportedAudioExtension(lowerExtension(output)) || isSupportedAudioExtension(lowerExtension(real)) ||
        content == Content::Audio) {
        return refusing + " over the audio file " + displayName(real);
    }
    if (content == Content::Unreadable) {
        return refusing + ": what it holds cannot be read (" + reason + ")";
    }
    if (kind == OutputKind::Cache) {
        if (target.size > 0 && content != Content::Sqlite) {
            return refusing + ": it is not an SQLite database";
        }
        if (isReadOnly(output, target)) {
            return refusing + ": it is read-only";
        }
    }
    return {};
}

bool startsAsSqliteDatabase(const fs::path& file)
{
    std::string reason;
    return contentOf(file, reason) == Content::Sqlite;
}

std::string OutputGuard::claim(const fs::path& output, OutputKind kind, std::string what)
{
    std::string reason = refused(output, kind);
    if (reason.empty()) {
        m_claimed.push_back({normalAbsolute(output), std::move(what)});
    }
    return reason;
}

std::string refusedOutputReason(const fs::path& output, const std::vector<fs::path>& inputs, OutputKind kind)
{
    OutputGuard guard;
    guard.protect(inputs);
    return guard.refused(output, kind);
}

} // namespace orvel
