// SPDX-License-Identifier: MIT
// The Windows form of report/replacing_file_writer.cpp: the same refusals,
// a temporary beside the target and MoveFileExW over it once it is complete.
#include "report/replacing_file_writer.h"

#include "platform/file_system.h"
#include "platform/windows/windows_error.h"
#include "report/temporary_registry.h"
#include "text/system_reason.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <random>

namespace orvel {
namespace {

constexpr std::size_t kMaxNameInTemp = 200;

// Read by the console handler that ends the process on a second Ctrl-C.
TemporaryRegistry<wchar_t, 4096> g_temporaries;

} // namespace

void removePendingTemporaries() noexcept
{
    g_temporaries.removeAll([](const wchar_t* path) { DeleteFileW(path); });
}

ReplacingFileWriter::ReplacingFileWriter(const std::filesystem::path& target)
    : m_target(target)
{
    if (target.empty()) {
        noteFailure(ENOENT);
        return;
    }
    FileStatus existing;
    int error = 0;
    const bool exists = statusOf(target, existing, error);
    if (exists && existing.kind == FileStatus::Kind::Directory) {
        noteFailure(EISDIR);
        return;
    }
    if (exists && existing.kind == FileStatus::Kind::Other) {
        // NUL, a console or a pipe: nothing to keep, nothing to rename over.
        m_fd = _wopen(target.c_str(), _O_WRONLY | _O_BINARY | _O_NOINHERIT);
        if (m_fd < 0) {
            noteFailure(errno);
        }
        return;
    }
    if (exists && !existing.ownerWritable) {
        m_failure = "the file is read-only";
        return;
    }
    if (exists) {
        std::error_code ec;
        const std::filesystem::path resolved = std::filesystem::canonical(target, ec);
        if (!ec) {
            m_target = resolved;
        }
    }

    const std::filesystem::path folder = m_target.parent_path();
    std::wstring name(1, L'.');
    name.append(m_target.filename().native(), 0, kMaxNameInTemp);
    std::random_device random;
    for (int attempt = 0; attempt < 100 && m_fd < 0; ++attempt) {
        wchar_t suffix[16];
        std::swprintf(suffix, std::size(suffix), L".%06x.tmp", random() & 0xFFFFFFu);
        const std::filesystem::path temp = folder / (name + suffix);
        m_fd = _wopen(temp.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
        if (m_fd >= 0) {
            m_temp = temp;
        } else if (errno != EEXIST) {
            noteFailure(errno);
            return;
        }
    }
    if (m_fd < 0) {
        noteFailure(EEXIST);
        return;
    }
    m_slot = g_temporaries.add(m_temp.native());
}

ReplacingFileWriter::~ReplacingFileWriter() { discard(); }

bool ReplacingFileWriter::write(std::string_view bytes)
{
    if (m_fd < 0 || m_failed) {
        m_failed = true;
        return false;
    }
    if (const int error = writeFully(m_fd, bytes.data(), bytes.size()); error != 0) {
        m_failed = true;
        noteFailure(error);
        return false;
    }
    return true;
}

bool ReplacingFileWriter::commit()
{
    if (m_fd < 0) {
        return false;
    }
    if (m_temp.empty()) {
        const int fd = m_fd;
        m_fd = -1;
        const bool closed = _close(fd) == 0;
        if (!closed) {
            noteFailure(errno);
        }
        return closed && !m_failed;
    }
    if (const int synced = m_failed ? 0 : syncToDisk(m_fd); m_failed || synced != 0) {
        noteFailure(synced);
        discard();
        return false;
    }
    const int fd = m_fd;
    m_fd = -1;
    if (_close(fd) != 0) {
        noteFailure(errno);
        discard();
        return false;
    }
    if (!MoveFileExW(m_temp.c_str(), m_target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        noteFailure(errnoOf(GetLastError()));
        discard();
        return false;
    }
    m_temp.clear();
    g_temporaries.release(m_slot);
    return true;
}

void ReplacingFileWriter::noteFailure(int error)
{
    if (m_failure.empty()) {
        m_failure = systemReason(error != 0 ? error : EIO);
    }
}

void ReplacingFileWriter::discard()
{
    if (m_fd >= 0) {
        _close(m_fd);
        m_fd = -1;
    }
    if (!m_temp.empty()) {
        DeleteFileW(m_temp.c_str());
        m_temp.clear();
    }
    g_temporaries.release(m_slot);
}

} // namespace orvel
