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
#if defined(_WIN32)
constexpr const char* kLibraryForm = ".dll";
constexpr const char* kAbsent = "avformat-kestrone-absent-1.dll";
constexpr const char* kLoadsWithoutFfmpeg = "kernel32.dll"; // loads, and has none of FFmpeg's functions
#else
constexpr const char* kLibraryForm = ".so.";
constexpr const char* kAbsent = "libavformat-kestrone-absent.so.1";
constexpr const char* kLoadsWithoutFfmpeg = "libc.so.6";
#endif

TEST(FfmpegLibrary, TheBuiltSonamesNameThisFfmpegsMajorVersionsAndResolveEveryFunction)
{
    const FfmpegSonames& built = orvel::builtFfmpegSonames();
    for (const std::string* name : {&built.avutil, &built.avcodec, &built.avformat}) {
        EXPECT_NE(name->find(kLibraryForm), std::string::npos) << *name;
    }
    EXPECT_NE(built.avformat.find("avformat"), std::string::npos) << built.avformat;
    EXPECT_EQ(orvel::ffmpegLoadError(built), "");
}

TEST(FfmpegLibrary, AMissingLibraryIsNamedWithTheLoadersReason)
{
    FfmpegSonames sonames = orvel::builtFfmpegSonames();
    sonames.avformat = kAbsent;
    const std::string message = orvel::ffmpegLoadError(sonames);
    EXPECT_TRUE(message.starts_with(std::string(kPrefix) + kAbsent + " cannot be loaded (")) << message;
#if !defined(_WIN32)
    EXPECT_NE(message.find("cannot open shared object file"), std::string::npos) << message;
#endif
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
    sonames.avformat = kLoadsWithoutFfmpeg;
    EXPECT_EQ(orvel::ffmpegLoadError(sonames),
              std::string(kPrefix) + kLoadsWithoutFfmpeg + " has no function avio_alloc_context" + kSuffix);
}

} // namespace
#endif
