// SPDX-License-Identifier: MIT
#include "scan/scan_inputs.h"

#include <filesystem>
#include <system_error>
#include <unordered_set>

#include "decode/audio_paths.h"
#include "report/utf8.h"

namespace orvel {
namespace {

namespace fs = std::filesystem;

// "dir/" and "dir" name the same folder; keep the form without the separator
// so that walked files come out as "dir/a.flac".
fs::path withoutTrailingSeparator(fs::path path)
{
    if (!path.has_filename() && path.has_relative_path()) {
        path = path.parent_path();
    }
    return path;
}

std::wstring reasonText(const std::error_code& ec)
{
    std::string text = ec.message();
    return fromUtf8(text);
}

class InputList {
public:
    void add(const fs::path& absolute, const fs::path& shown, std::wstring error = {})
    {
        std::wstring path = fromFsPath(absolute);
        if (!m_seen.insert(path).second) {
            return;
        }
        m_inputs.push_back({std::move(path), fromFsPath(shown), std::move(error)});
    }

    std::vector<ScanInput> take() { return std::move(m_inputs); }

private:
    std::vector<ScanInput> m_inputs;
    std::unordered_set<std::wstring> m_seen;
};

void addGivenPath(InputList& list, const std::wstring& given)
{
    const fs::path shown = withoutTrailingSeparator(toFsPath(given).lexically_normal());
    std::error_code ec;
    fs::path absolute = fs::absolute(toFsPath(given), ec);
    if (ec || given.empty()) {
        list.add(shown, shown, L"Cannot read this path: " + reasonText(ec ? ec : std::make_error_code(std::errc::no_such_file_or_directory)) + L".");
        return;
    }
    absolute = withoutTrailingSeparator(absolute.lexically_normal());

    // Links given directly are followed, as the window does.
    const fs::file_status status = fs::status(absolute, ec);
    if (ec) {
        list.add(absolute, shown, L"Cannot read this path: " + reasonText(ec) + L".");
        return;
    }
    if (fs::is_regular_file(status)) {
        list.add(absolute, shown);
        return;
    }
    if (!fs::is_directory(status)) {
        // Never hand a FIFO or a device to a decoder: reading one may block.
        list.add(absolute, shown, L"This path is not a regular file.");
        return;
    }
    // The walker skips folders it cannot open; one named on the command line
    // must not vanish without a word.
    fs::directory_iterator probe(absolute, ec);
    if (ec) {
        list.add(absolute, shown, L"Cannot read this folder: " + reasonText(ec) + L".");
        return;
    }
    walkAudioFolder(absolute, [&](const fs::path& file) {
        list.add(file, (shown / file.lexically_relative(absolute)).lexically_normal());
        return true;
    });
}

} // namespace

std::vector<ScanInput> collectScanInputs(const std::vector<std::wstring>& givenPaths)
{
    InputList list;
    for (const std::wstring& given : givenPaths) {
        addGivenPath(list, given);
    }
    return list.take();
}

} // namespace orvel
