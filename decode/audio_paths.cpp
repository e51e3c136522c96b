// SPDX-License-Identifier: MIT
#include "decode/audio_paths.h"

#include <algorithm>
#include <array>
#include <system_error>
#include <vector>

#include "text/utf8.h"

namespace orvel {

std::string lowerExtension(const std::filesystem::path& path)
{
    const std::string native = pathBytes(path);
    const auto slash = native.find_last_of(std::filesystem::path::preferred_separator == '/' ? "/" : "/\\");
    const std::string name = slash == std::string::npos ? native : native.substr(slash + 1);
    if (name == "." || name == "..") {
        return {};
    }
    const auto dot = name.find_last_of('.');
    if (dot == std::string::npos || dot == 0) {
        return {};
    }
    std::string ext = name.substr(dot);
    // Only ASCII letters fold: the extensions that matter are ASCII, and a
    // byte of a multi-byte character must stay as it is.
    for (auto& ch : ext) {
        if (ch >= 'A' && ch <= 'Z') {
            ch = static_cast<char>(ch - 'A' + 'a');
        }
    }
    return ext;
}

bool isSupportedAudioExtension(const std::string& lowerExt)
{
    static const std::array<const char*, 9> kSupported = {".flac", ".wav", ".aif", ".aiff", ".aifc",
                                                              ".m4a", ".alac", ".aac", ".mp3"};
    for (const char* ext : kSupported) {
        if (lowerExt == ext) {
            return true;
        }
    }
    return isFfmpegOnlyExtension(lowerExt);
}

bool isFfmpegOnlyExtension(const std::string& lowerExt)
{
    static const std::array<const char*, 10> kFfmpegOnly = {".wv",  ".ape",  ".tta", ".tak", ".ogg",
                                                                ".oga", ".opus", ".wma", ".mka", ".caf"};
    for (const char* ext : kFfmpegOnly) {
        if (lowerExt == ext) {
            return true;
        }
    }
    return false;
}

namespace {

bool hasSupportedExtension(const std::filesystem::path& file)
{
    return isSupportedAudioExtension(lowerExtension(file));
}

// Returns false once the walk must end. Entries are visited in byte order of
// their names, so a folder gives the same file order on every file system
// (directory listings come in hash or creation order otherwise).
bool walkOneFolder(const std::filesystem::path& folder,
                   const std::function<bool(const std::filesystem::path&)>& onFile,
                   const std::function<bool()>& keepGoing, const UnreadablePathCallback& onUnreadable)
{
    namespace fs = std::filesystem;
    std::vector<fs::directory_entry> entries;
    {
        std::error_code ec;
        fs::directory_iterator it(folder, ec);
        const fs::directory_iterator end;
        // An unreadable entry ends only this folder's listing.
        for (; !ec && it != end; it.increment(ec)) {
            entries.push_back(*it);
        }
        // A folder that cannot be opened (no permission, a path past
        // PATH_MAX) must not vanish from the walk without a word.
        if (ec && onUnreadable && !onUnreadable(folder, ec, true)) {
            return false;
        }
    }
    std::sort(entries.begin(), entries.end(), [](const fs::directory_entry& a, const fs::directory_entry& b) {
        return a.path().filename().native() < b.path().filename().native();
    });
    for (const fs::directory_entry& entry : entries) {
        if (keepGoing && !keepGoing()) {
            return false;
        }
        std::error_code statusError;
        const fs::file_status status = entry.symlink_status(statusError);
        if (statusError) {
            if (onUnreadable && !onUnreadable(entry.path(), statusError, false)) {
                return false;
            }
            continue;
        }
        if (fs::is_symlink(status)) {
            continue;
        }
        if (fs::is_directory(status)) {
            if (!walkOneFolder(entry.path(), onFile, keepGoing, onUnreadable)) {
                return false;
            }
        } else if (fs::is_regular_file(status) && hasSupportedExtension(entry.path()) && !onFile(entry.path())) {
            return false;
        }
    }
    return true;
}

} // namespace

void walkAudioFolder(const std::filesystem::path& folder,
                     const std::function<bool(const std::filesystem::path&)>& onFile,
                     const std::function<bool()>& keepGoing, const UnreadablePathCallback& onUnreadable)
{
    walkOneFolder(folder, onFile, keepGoing, onUnreadable);
}

} // namespace orvel
