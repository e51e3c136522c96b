// SPDX-License-Identifier: MIT
#pragma once

// FFmpeg's functions as the decoder calls them: through pointers resolved when
// the first file that needs FFmpeg arrives, so a run over FLAC, WAV and AIFF
// never maps its libraries (nor the hundred-odd libraries they pull in).
// Included by the FFmpeg decoder's files only.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
#include <libavutil/error.h>
#include <libavutil/mem.h>
}

namespace orvel {

// Every FFmpeg function the decoder calls, with the library that exports it:
// the one list the table and its loader are made from.
#define KESTRONE_FFMPEG_FUNCTIONS(X)            \
    X(avutil, av_free)                          \
    X(avutil, av_freep)                         \
    X(avutil, av_malloc)                        \
    X(avutil, av_strdup)                        \
    X(avutil, av_strerror)                      \
    X(avutil, av_log_set_level)                 \
    X(avutil, av_frame_alloc)                   \
    X(avutil, av_frame_free)                    \
    X(avutil, av_frame_unref)                   \
    X(avutil, av_sample_fmt_is_planar)          \
    X(avutil, av_get_packed_sample_fmt)         \
    X(avcodec, av_packet_alloc)                 \
    X(avcodec, av_packet_free)                  \
    X(avcodec, av_packet_unref)                 \
    X(avcodec, avcodec_find_decoder)            \
    X(avcodec, avcodec_alloc_context3)          \
    X(avcodec, avcodec_free_context)            \
    X(avcodec, avcodec_parameters_to_context)   \
    X(avcodec, avcodec_open2)                   \
    X(avcodec, avcodec_send_packet)             \
    X(avcodec, avcodec_receive_frame)           \
    X(avformat, avio_alloc_context)             \
    X(avformat, avio_context_free)              \
    X(avformat, avformat_alloc_context)         \
    X(avformat, avformat_free_context)          \
    X(avformat, avformat_open_input)            \
    X(avformat, avformat_close_input)           \
    X(avformat, avformat_find_stream_info)      \
    X(avformat, av_read_frame)

struct FfmpegApi {
#define KESTRONE_FFMPEG_POINTER(library, name) decltype(&::name) name = nullptr;
    KESTRONE_FFMPEG_FUNCTIONS(KESTRONE_FFMPEG_POINTER)
#undef KESTRONE_FFMPEG_POINTER
};

// The table for the FFmpeg this build was made against, loaded once (by
// whichever thread comes first) and kept for the life of the process, with
// FFmpeg's own logging silenced. Throws std::runtime_error with the same
// message on every call when a library or a function is missing.
[[nodiscard]] const FfmpegApi& ffmpeg();

} // namespace orvel
