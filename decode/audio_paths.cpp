// SPDX-License-Identifier: MIT
#include "decode/audio_paths.h"

#include <array>
#include <cwctype>
#include <system_error>

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
    return false;
}

void walkAudioFolder(const std::filesystem::path& folder,
                     const std::function<bool(const std::filesystem::path&)>& onFile,
                     const std::function<bool()>& keepGoing)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec);
    const fs::recursive_directory_iterator end;
    while (!ec && it != end) {
        if (keepGoing && !keepGoing()) {
            return;
        }
        std::error_code statusError;
        const fs::file_status status = it->symlink_status(statusError);
        if (!statusError && !fs::is_symlink(status) && fs::is_regular_file(status)) {
            const fs::path& file = it->path();
            std::wstring ext;
            {
                const std::string name = file.filename().native();
                const auto dot = name.find_last_of('.');
                if (dot != std::string::npos && dot != 0) {
                    for (std::size_t i = dot; i < name.size(); ++i) {
                        const unsigned char c = static_cast<unsigned char>(name[i]);
                        ext += static_cast<wchar_t>(c < 0x80 ? std::towlower(c) : 0xFFFD);
                    }
                }
            }
            if (isSupportedAudioExtension(ext) && !onFile(file)) {
                return;
            }
        }
        it.increment(ec);
        if (ec) {
            // An unreadable entry ends only its own folder's listing.
            ec.clear();
            it.pop(ec);
        }
    }
}

} // namespace orvel
