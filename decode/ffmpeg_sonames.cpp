// SPDX-License-Identifier: MIT
// Alone in its file: a test program links its own definition in place of this
// one to run kestrone-scan where FFmpeg cannot be loaded.
#include "decode/ffmpeg_library.h"

extern "C" {
#include <libavcodec/version.h>
#include <libavformat/version.h>
#include <libavutil/macros.h>
#include <libavutil/version.h>
}

namespace orvel {

const FfmpegSonames& builtFfmpegSonames()
{
#if defined(_WIN32)
    // The DLLs beside kestrone-scan.exe, as FFmpeg names them there.
    static const FfmpegSonames sonames{
        "avutil-" AV_STRINGIFY(LIBAVUTIL_VERSION_MAJOR) ".dll",
        "avcodec-" AV_STRINGIFY(LIBAVCODEC_VERSION_MAJOR) ".dll",
        "avformat-" AV_STRINGIFY(LIBAVFORMAT_VERSION_MAJOR) ".dll",
    };
#else
    static const FfmpegSonames sonames{
        "libavutil.so." AV_STRINGIFY(LIBAVUTIL_VERSION_MAJOR),
        "libavcodec.so." AV_STRINGIFY(LIBAVCODEC_VERSION_MAJOR),
        "libavformat.so." AV_STRINGIFY(LIBAVFORMAT_VERSION_MAJOR),
    };
#endif
    return sonames;
}

} // namespace orvel
