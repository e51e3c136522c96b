// SPDX-License-Identifier: MIT
#include "decode/audio_paths.h"

#include <algorithm>
#include <array>
#include <cwctype>
#include <system_error>
#include <vector>

namespace orvel {

std::wstring lowerExtension(const std::wstring& path)
{
    const auto slash = path.find_last_of(L'/');
    const std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
    if (name == L"." || name == L"..") {
        return {};
    }
    const auto dot = name.find_last_of(L'.');
    if (dot == std::wstring::npos || dot == 0) {
        return {};
    }
    std::wstring ext = name.substr(dot);
    for (auto& ch : ext) {
        ch = static_cast<wchar_t>(std::towlower(static_cast<std::wint_t>(ch)));
    }
    return ext;
}

bool isSupportedAudioExtension(const std::wstring& lowerExt)
{
    static const std::array<const wchar_t*, 9> kSupported = {L".flac", L".wav", L".aif", L".aiff", L".aifc",
                                                              L".m4a", L".alac", L".aac", L".mp3"};
    for (const wchar_t* ext : kSupported) {
        if (lowerExt == ext) {
            return true;
        }
    }
    return isFfmpegOnlyExtension(lowerExt);
}

bool isFfmpegOnlyExtension(const std::wstring& lowerExt)
{
    static const std::array<const wchar_t*, 10> kFfmpegOnly = {L".wv",  L".ape",  L".tta", L".tak", L".ogg",
                                                                L".oga", L".opus", L".wma", L".mka", L".caf"};
    for (const wchar_t* ext : kFfmpegOnly) {
        if (lowerExt == ext) {
            return true;
        }
    }
    return false;
}

namespace {

// The extension test of a walked entry, on its native name bytes: supported
// extensions are ASCII, so other bytes only need to stay non-matching.
bool hasSupportedExtension(const std::filesystem::path& file)
{
    const std::string name = file.filename().native();
    const auto dot = name.find_last_of('.');
    if (dot == std::string::npos || dot == 0) {
        return false;
    }
    std::wstring ext;
    for (std::size_t i = dot; i < name.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        ext += static_cast<wchar_t>(c < 0x80 ? std::towlower(c) : 0xFFFD);
    }
    return isSupportedAudioExtension(ext);
}

// Returns false once the walk must end. Entries are visited in byte order of
// their names, so a folder gives the same file order on every file system
// (directory listings come in hash or creation order otherwise).
bool walkOneFolder(const std::filesystem::path& folder,
                   const std::function<bool(const std::filesystem::path&)>& onFile,
                   const std::function<bool()>& keepGoing)
{
    namespace fs = std::filesystem;
    std::vector<fs::directory_entry> entries;
    {
        std::error_code ec;
        fs::directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec);
        const fs::directory_iterator end;
        // An unreadable entry ends only this folder's listing.
        for (; !ec && it != end; it.increment(ec)) {
            entries.push_back(*it);
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
        if (statusError || fs::is_symlink(status)) {
            continue;
        }
        if (fs::is_directory(status)) {
            if (!walkOneFolder(entry.path(), onFile, keepGoing)) {
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
                     const std::function<bool()>& keepGoing)
{
    walkOneFolder(folder, onFile, keepGoing);
}

} // namespace orvel
