// SPDX-License-Identifier: MIT
// Loading FFmpeg on demand: the sonames this build was made against load and
// give every function the decoder calls; a library or a function that is not
// there gives the one message, naming FFmpeg and the soname.
#include <gtest/gtest.h>

#include <string>

#if KESTRONE_HAVE_FFMPEG
#include "decode/ffmpeg_library.h"

namespace {

using orvel::FfmpegSonames;

constexpr const char* kPrefix = "This format requires FFmpeg, but its library ";
constexpr const char* kSuffix = ". FLAC/WAV/AIFF work without it.";

TEST(FfmpegLibrary, TheBuiltSonamesNameThisFfmpegsMajorVersionsAndResolveEveryFunction)
{
    const FfmpegSonames& built = orvel::builtFfmpegSonames();
    EXPECT_TRUE(built.avutil.starts_with("libavutil.so.")) << built.avutil;
    EXPECT_TRUE(built.avcodec.starts_with("libavcodec.so.")) << built.avcodec;
    EXPECT_TRUE(built.avformat.starts_with("libavformat.so.")) << built.avformat;
    EXPECT_EQ(orvel::ffmpegLoadError(built), "");
}

TEST(FfmpegLibrary, AMissingLibraryIsNamedWithTheLoadersReason)
{
    FfmpegSonames sonames = orvel::builtFfmpegSonames();
    sonames.avformat = "libavformat-kestrone-absent.so.1";
    const std::string message = orvel::ffmpegLoadError(sonames);
    EXPECT_TRUE(message.starts_with(std::string(kPrefix) + "libavformat-kestrone-absent.so.1 cannot be loaded (")) << message;
    EXPECT_NE(message.find("cannot open shared object file"), std::string::npos) << message;
    EXPECT_TRUE(message.ends_with(std::string(")") + kSuffix)) << message;

    // The first library missing stops the load there.
    sonames = orvel::builtFfmpegSonames();
    sonames.avutil = "libavutil-kestrone-absent.so.1";
    EXPECT_TRUE(orvel::ffmpegLoadError(sonames).starts_with(std::string(kPrefix) + "libavutil-kestrone-absent.so.1 "));
}

TEST(FfmpegLibrary, ALibraryWithoutADecoderFunctionIsNamedWithTheFunction)
{
    // The C library loads but has none of libavformat's functions; the first
    // one the decoder lists from it is the one named.
    FfmpegSonames sonames = orvel::builtFfmpegSonames();
    sonames.avformat = "libc.so.6";
    EXPECT_EQ(orvel::ffmpegLoadError(sonames), std::string(kPrefix) + "libc.so.6 has no function avio_alloc_context" + kSuffix);
}

} // namespace
#endif
