// SPDX-License-Identifier: MIT
#include "batch/input_walker.h"

#include <system_error>
#include <unordered_set>

#include "decode/audio_paths.h"
#include "text/utf8.h"

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

std::string reasonText(const std::error_code& ec) { return sanitizeUtf8(ec.message()); }

class InputList {
public:
    explicit InputList(const std::function<bool(BatchInput&&)>& onInput) : m_onInput(onInput) {}

    // False once the receiver wants no more.
    bool add(const fs::path& absolute, const fs::path& shown, std::string error = {}, bool givenDirectly = false)
    {
        if (!m_seen.insert(pathBytes(absolute)).second) {
            return true;
        }
        return m_onInput(BatchInput{absolute, shown, std::move(error), givenDirectly});
    }

private:
    const std::function<bool(BatchInput&&)>& m_onInput;
    std::unordered_set<std::string> m_seen;
};

bool addGivenPath(InputList& list, const fs::path& given)
{
    const fs::path shown = withoutTrailingSeparator(given.lexically_normal());
    std::error_code ec;
    fs::path absolute = fs::absolute(given, ec);
    if (ec || given.empty()) {
        return list.add(shown, shown,
                        "Cannot read this path: " +
                            reasonText(ec ? ec : std::make_error_code(std::errc::no_such_file_or_directory)) + ".");
    }
    absolute = withoutTrailingSeparator(absolute.lexically_normal());

    // Links given directly are followed.
    const fs::file_status status = fs::status(absolute, ec);
    if (ec) {
        return list.add(absolute, shown, "Cannot read this path: " + reasonText(ec) + ".");
    }
    if (fs::is_regular_file(status)) {
        return list.add(absolute, shown, {}, true);
    }
    if (!fs::is_directory(status)) {
        // Never hand a FIFO or a device to a decoder: reading one may block.
        return list.add(absolute, shown, "This path is not a regular file.");
    }
    // The walker skips folders it cannot open; one named directly must not
    // vanish without a word.
    fs::directory_iterator probe(absolute, ec);
    if (ec) {
        return list.add(absolute, shown, "Cannot read this folder: " + reasonText(ec) + ".");
    }
    bool more = true;
    const auto shownOf = [&](const fs::path& inside) {
        return (shown / inside.lexically_relative(absolute)).lexically_normal();
    };
    walkAudioFolder(
        absolute,
        [&](const fs::path& file) {
            more = list.add(file, shownOf(file));
            return more;
        },
        {},
        [&](const fs::path& unreadable, const std::error_code& reason, bool isFolder) {
            more = list.add(unreadable, shownOf(unreadable),
                            std::string(isFolder ? "Cannot read this folder: " : "Cannot read this path: ") +
                                reasonText(reason) + ".");
            return more;
        });
    return more;
}

} // namespace

void walkInputs(const std::vector<fs::path>& givenPaths, const std::function<bool(BatchInput&&)>& onInput)
{
    InputList list(onInput);
    for (const fs::path& given : givenPaths) {
        if (!addGivenPath(list, given)) {
            return;
        }
    }
}

std::vector<BatchInput> collectInputs(const std::vector<fs::path>& givenPaths)
{
    std::vector<BatchInput> inputs;
    walkInputs(givenPaths, [&](BatchInput&& input) {
        inputs.push_back(std::move(input));
        return true;
    });
    return inputs;
}

fs::path normalAbsolute(const fs::path& path)
{
    std::error_code ec;
    const fs::path absolute = fs::absolute(path, ec);
    return withoutTrailingSeparator((ec ? path : absolute).lexically_normal());
}

} // namespace orvel
