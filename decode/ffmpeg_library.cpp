// SPDX-License-Identifier: MIT
#include "decode/ffmpeg_library.h"

#include <array>
#include <stdexcept>
#include <string>

#include "decode/ffmpeg_api.h"
#include "platform/process.h"

namespace orvel {
namespace {

constexpr const char* kNeedsFfmpeg = "This format requires FFmpeg, but its library ";
constexpr const char* kWorksWithout = ". FLAC/WAV/AIFF work without it.";

// The loaded libraries in load order; what the list's library names index.
enum FfmpegLibrary { avutil, avcodec, avformat, kLibraryCount };

struct LoadedFfmpeg {
    FfmpegApi api;
    std::array<void*, kLibraryCount> handles{};
    std::string error; // empty when every function resolved
};

// Resolved at once: a library whose own dependencies or symbols are missing
// fails here, with the loader's reason, rather than in the middle of a decode.
// Nothing loaded is ever closed again: FFmpeg's dependencies (GLib among
// them) are not made to be unloaded, and what their initialisers allocated
// would be lost with them.
LoadedFfmpeg load(const FfmpegSonames& sonames)
{
    LoadedFfmpeg loaded;
    const std::array<const std::string*, kLibraryCount> names{&sonames.avutil, &sonames.avcodec, &sonames.avformat};
    for (std::size_t i = 0; i < names.size(); ++i) {
        std::string reason;
        loaded.handles[i] = loadLibrary(*names[i], reason);
        if (loaded.handles[i] == nullptr) {
            loaded.error = std::string(kNeedsFfmpeg) + *names[i] + " cannot be loaded (" + reason + ")" + kWorksWithout;
            return loaded;
        }
    }
#define KESTRONE_FFMPEG_RESOLVE(library, name)                                                                  \
    loaded.api.name = reinterpret_cast<decltype(loaded.api.name)>(librarySymbol(loaded.handles[library], #name)); \
    if (loaded.api.name == nullptr) {                                                                          \
        loaded.error = std::string(kNeedsFfmpeg) + *names[library] + " has no function " #name + kWorksWithout; \
        return loaded;                                                                                         \
    }
    KESTRONE_FFMPEG_FUNCTIONS(KESTRONE_FFMPEG_RESOLVE)
#undef KESTRONE_FFMPEG_RESOLVE
    return loaded;
}

} // namespace

std::string ffmpegLoadError(const FfmpegSonames& sonames)
{
    return load(sonames).error;
}

const FfmpegApi& ffmpeg()
{
    // A function-local static: loaded exactly once, whichever decoding thread
    // asks first, and never unloaded.
    static const LoadedFfmpeg loaded = [] {
        LoadedFfmpeg result = load(builtFfmpegSonames());
        if (result.error.empty()) {
            result.api.av_log_set_level(AV_LOG_QUIET);
        }
        return result;
    }();
    if (!loaded.error.empty()) {
        throw std::runtime_error(loaded.error);
    }
    return loaded.api;
}

} // namespace orvel
