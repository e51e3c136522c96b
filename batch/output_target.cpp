// SPDX-License-Identifier: MIT
#include "batch/output_target.h"

#include <sys/stat.h>

#include <system_error>

#include "decode/audio_paths.h"
#include "text/utf8.h"

namespace orvel {
namespace {

bool sameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

} // namespace

std::string refusedOutputReason(const std::filesystem::path& output, const std::vector<std::filesystem::path>& inputs)
{
    struct stat target {};
    if (output.empty() || ::stat(output.c_str(), &target) != 0 || !S_ISREG(target.st_mode)) {
        return {}; // nothing there yet, or a device or pipe that keeps no content
    }
    for (const std::filesystem::path& input : inputs) {
        struct stat file {};
        if (::stat(input.c_str(), &file) == 0 && sameFile(file, target)) {
            return "refusing to write " + displayName(output) + " over the input " + displayName(input);
        }
    }
    std::error_code ec;
    const std::filesystem::path resolved = std::filesystem::canonical(output, ec);
    for (const std::filesystem::path& name : {output, ec ? output : resolved}) {
        if (isSupportedAudioExtension(lowerExtension(name))) {
            return "refusing to write " + displayName(output) + " over the audio file " +
                   displayName(ec ? output : resolved);
        }
    }
    return {};
}

} // namespace orvel
