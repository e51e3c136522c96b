// SPDX-License-Identifier: MIT
// Linked into kestrone-scan-absent-ffmpeg ahead of the core library, so this
// definition stands in for the one made from FFmpeg's headers: the program is
// kestrone-scan on a system that has libavutil but no libavcodec.
#include "decode/ffmpeg_library.h"

extern "C" {
#include <libavutil/macros.h>
#include <libavutil/version.h>
}

#include "tests/scan/absent_ffmpeg/absent_ffmpeg_sonames.h"

namespace orvel {

const FfmpegSonames& builtFfmpegSonames()
{
    static const FfmpegSonames sonames{
        "libavutil.so." AV_STRINGIFY(LIBAVUTIL_VERSION_MAJOR),
        testing::kAbsentAvcodecSoname,
        "libavformat.so.0",
    };
    return sonames;
}

} // namespace orvel
