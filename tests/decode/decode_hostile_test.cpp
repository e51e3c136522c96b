// SPDX-License-Identifier: MIT
// Inputs a decoder must survive: empty, missing and unreadable files, paths
// that are no regular file, absurd header sizes, and stop requests.
#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <fstream>
#include <future>
#include <thread>
#include <vector>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#if KESTRONE_HAVE_FFMPEG
#include "decode/ffmpeg_decoder.h"
#endif
#include "decode/flac_decoder.h"
#include "decode/sndfile_decoder.h"
#include "tests/decode/allocation_probe.h"
#include "tests/decode/decode_test_files.h"

namespace {

using namespace kestrone_test;
namespace fs = std::filesystem;

const char* const kExtensions[] = {".flac", ".wav", ".aif", ".aiff", ".aifc", ".m4a", ".alac", ".aac", ".mp3"};

// The message a missing or unusable file gets from the decoder its extension selects.
std::string openFailurePrefix(const std::string& extension)
{
    if (extension == ".flac") {
        return kFlacHeaderMessage;
    }
    if (extension == ".wav" || extension.rfind(".aif", 0) == 0) {
        return kWavHeaderMessage;
    }
#if KESTRONE_HAVE_FFMPEG
    return "FFmpeg cannot open this audio format (";
#else
    return "This format requires FFmpeg support, which this build does not include. FLAC/WAV/AIFF work without it.";
#endif
}

TEST(DecodeHostileInputTest, EmptyFileGetsTheHeaderMessageOfEveryDecoder)
{
    const ScratchFolder scratch;
    for (const std::string extension : kExtensions) {
        SCOPED_TRACE(extension);
        const fs::path file = scratch / ("empty" + extension);
        std::ofstream(file).close();
        const std::string failure = decodeFailure(file);
        const std::string prefix = openFailurePrefix(extension);
        if (prefix.back() == '(') {
            // FFmpeg's reason depends on the demuxer the name suggests.
            EXPECT_EQ(failure.substr(0, prefix.size()), prefix);
            EXPECT_GT(failure.size(), prefix.size() + 1);
            EXPECT_EQ(failure.back(), ')');
        } else {
            EXPECT_EQ(failure, prefix);
        }
    }
}

// The system's reason, never a corrupt header: the file vanished after the walk.
TEST(DecodeHostileInputTest, MissingFileGetsTheSystemsReasonFromEveryDecoder)
{
    const ScratchFolder scratch;
    for (const std::string extension : kExtensions) {
        SCOPED_TRACE(extension);
        // Also without FFmpeg: the file is opened to read its content first.
        EXPECT_EQ(decodeFailure(scratch / ("missing" + extension)), orvel::testing::kOpenMissingMessage);
    }
}

TEST(DecodeHostileInputTest, UnreadableFileGetsPermissionDeniedFromEveryDecoder)
{
    const ScratchFolder scratch;
    fs::permissions(scratch.path(), fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    const std::vector<std::string> extensions = {".flac", ".wav", ".m4a"};
    for (const std::string& extension : extensions) {
        const fs::path file = scratch / ("locked" + extension);
        fs::copy_file(testAudio("ref/2ch-44100Hz-16bit.flac"), file);
        fs::permissions(file, fs::perms::none);
    }
    const auto unreadableCount = [&] {
        int matching = 0;
        for (const std::string& extension : extensions) {
            matching += decodeFailure(scratch / ("locked" + extension)) == orvel::testing::kOpenDeniedMessage;
        }
        return matching;
    };
    if (::geteuid() != 0) {
        EXPECT_EQ(unreadableCount(), static_cast<int>(extensions.size()));
        return;
    }
    // Root reads whatever the mode says: the check runs in a child that is nobody.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        constexpr uid_t kNobody = 65534;
        if (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) {
            ::_exit(100);
        }
        ::_exit(unreadableCount());
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), static_cast<int>(extensions.size()))
        << "files whose mode forbids reading must fail with the system's reason";
}

TEST(DecodeHostileInputTest, DirectoryWithAnAudioNameIsRefused)
{
    const ScratchFolder scratch;
    for (const std::string extension : kExtensions) {
        const fs::path folder = scratch / ("x" + extension);
        fs::create_directory(folder);
        EXPECT_EQ(decodeFailure(folder), kNotRegularMessage) << extension;
    }
}

TEST(DecodeHostileInputTest, CharacterDeviceBehindALinkIsRefused)
{
    const ScratchFolder scratch;
    const fs::path link = scratch / "zeros.wav";
    fs::create_symlink("/dev/zero", link);
    EXPECT_EQ(decodeFailure(link), kNotRegularMessage);
}

TEST(DecodeHostileInputTest, LinkToARegularFileDecodes)
{
    const ScratchFolder scratch;
    const fs::path link = scratch / "linked.flac";
    fs::create_symlink(testAudio("ref/2ch-44100Hz-16bit.flac"), link);
    EXPECT_EQ(decodePath(link).channels.front().size(), 44100u);
}

// Runs a decode of a FIFO that nobody writes to. A decoder that opened it for
// a blocking read would wait forever; if it has not returned in time, opening
// the writing end releases it so the test fails instead of hanging.
std::string decodeFifo(const fs::path& fifo, std::string (*decode)(const fs::path&))
{
    auto result = std::async(std::launch::async, decode, fifo);
    if (result.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0) {
            ::close(writer);
        }
        ADD_FAILURE() << "decoding a FIFO blocked";
    }
    return result.get();
}

std::string throughDispatcher(const fs::path& path) { return decodeFailure(path); }

orvel::DecodedAudio decodeFlacInHalves(const std::filesystem::path& path, const std::atomic<bool>& stop)
{
    return orvel::decodeFlac(path, stop, 2);
}

template <orvel::DecodedAudio (*Decoder)(const std::filesystem::path&, const std::atomic<bool>&)>
std::string directly(const fs::path& path)
{
    const std::atomic<bool> stop{false};
    try {
        (void)Decoder(path, stop);
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return {};
}

TEST(DecodeHostileInputTest, FifoIsRefusedWithoutBlocking)
{
    const ScratchFolder scratch;
    const fs::path fifo = scratch / "x.wav";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(decodeFifo(fifo, throughDispatcher), kNotRegularMessage);
}

TEST(DecodeHostileInputTest, EachDecoderRefusesAFifoItIsHandedDirectly)
{
    // The path may change between the dispatcher's check and the open.
    const ScratchFolder scratch;
    const fs::path fifo = scratch / "swapped";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(decodeFifo(fifo, directly<decodeFlacInHalves>), kNotRegularMessage);
    EXPECT_EQ(decodeFifo(fifo, directly<orvel::decodeWavAiff>), kNotRegularMessage);
#if KESTRONE_HAVE_FFMPEG
    EXPECT_EQ(decodeFifo(fifo, directly<orvel::decodeWithFfmpeg>), kNotRegularMessage);
#endif
}

TEST(DecodeHostileInputTest, FileNameThatIsNotUtf8StillOpens)
{
    const ScratchFolder scratch;
    const fs::path file = scratch / std::string("caf\xE9-latin1.flac");
    fs::copy_file(testAudio("ref/2ch-44100Hz-16bit.flac"), file);
    EXPECT_EQ(decodePath(file).channels.front().size(), 44100u);
}

#if KESTRONE_HAVE_FFMPEG
TEST(DecodeHostileInputTest, PathIsNeverTakenForAUrl)
{
    // Relative names that FFmpeg would read as protocols if handed the path.
    const ScratchFolder scratch;
    const fs::path previous = fs::current_path();
    fs::copy_file(testAudio("ref/2ch-44100Hz-128k.mp3"), scratch / "concat:x.mp3");
    fs::copy_file(testAudio("ref/2ch-44100Hz-128k.mp3"), scratch / "pipe:0.mp3");
    fs::current_path(scratch.path());
    const std::atomic<bool> stop{false};
    std::size_t concatFrames = 0;
    std::size_t pipeFrames = 0;
    EXPECT_NO_THROW(concatFrames = orvel::decodeAudio("concat:x.mp3", stop).channels.front().size());
    EXPECT_NO_THROW(pipeFrames = orvel::decodeAudio("pipe:0.mp3", stop).channels.front().size());
    fs::current_path(previous);
    EXPECT_EQ(concatFrames, 44100u);
    EXPECT_EQ(pipeFrames, 44100u);
}

TEST(DecodeHostileInputTest, PlaylistCannotMakeAnotherFileBeDecoded)
{
    // An ffconcat playlist named like an MP3, beside the file it names.
    const ScratchFolder scratch;
    const fs::path previous = fs::current_path();
    fs::copy_file(testAudio("ref/2ch-44100Hz-128k.mp3"), scratch / "real.mp3");
    std::ofstream(scratch / "list.mp3") << "ffconcat version 1.0\nfile 'real.mp3'\n";
    std::ofstream(scratch / "absolute.m4a") << "ffconcat version 1.0\nfile '" << (scratch / "real.mp3").string() << "'\n";
    fs::current_path(scratch.path());
    const std::string relative = decodeFailure("list.mp3");
    const std::string absolute = decodeFailure("absolute.m4a");
    fs::current_path(previous);
    const std::string prefix = "FFmpeg cannot open this audio format (";
    EXPECT_EQ(relative.substr(0, prefix.size()), prefix) << relative;
    EXPECT_EQ(absolute.substr(0, prefix.size()), prefix) << absolute;
}
#endif

// Files whose headers declare sizes far beyond what they hold, with the frame
// limit their rate and channels allow: nothing may be sized from the claim.
struct AbsurdHeader {
    const char* file;
    std::size_t limitFrames; // 0: rejected before any channel is sized
};

TEST(DecodeHostileInputTest, AbsurdHeaderSizesFailWithoutAllocatingBeyondTheLimit)
{
    const AbsurdHeader cases[] = {
        {"crafted/2pow32-frames.wav", 30 * 48000},
        {"crafted/rf64-2pow40-bytes.wav", 30 * 48000},
        {"crafted/data-past-end.wav", 30 * 48000},
        {"cut/declares-2pow36-frames.flac", 30 * 44100},
        {"crafted/65535ch.wav", 0},
        {"crafted/rate-2pow31.wav", 0},
        {"cut/declares-rate-0.flac", 0},
    };
    for (const AbsurdHeader& absurd : cases) {
        SCOPED_TRACE(absurd.file);
        resetLargestAllocation();
        EXPECT_NE(decodeFailure(testAudio(absurd.file)), "");
        // One channel vector of the limit, plus small change for buffers and texts.
        EXPECT_LE(largestAllocation(), absurd.limitFrames * sizeof(double) + 1024 * 1024);
    }
}

TEST(DecodeHostileInputTest, LongFilesFillTheReservedChannelsWithoutGrowingThem)
{
    for (const char* file : {"facts/2ch-44100Hz-180s.flac", "cut/300s-cut-at-40s.wav", "facts/6ch-48000Hz-31s.flac"}) {
        SCOPED_TRACE(file);
        resetLargestAllocation();
        const orvel::DecodedAudio audio = decodeTestFile(file);
        const std::size_t frames = audio.channels.front().size();
        for (const auto& channel : audio.channels) {
            EXPECT_EQ(channel.size(), frames);
            EXPECT_EQ(channel.capacity(), frames); // reserved once, never reallocated
        }
        EXPECT_LE(largestAllocation(), frames * sizeof(double) + 1024 * 1024);
    }
}

TEST(DecodeCancellationTest, StopRequestedBeforeDecodingThrowsCancelledForEveryDecoder)
{
    const std::atomic<bool> stop{true};
    for (const char* file : {"ref/2ch-44100Hz-16bit.flac", "ref/2ch-44100Hz-16bit.wav", "ref/2ch-44100Hz-16bit.aiff",
                             "ref/2ch-48000Hz-24bit-alac.m4a", "ref/2ch-44100Hz-128k.mp3", "ext/noextension"}) {
        EXPECT_THROW((void)orvel::decodeAudio(testAudio(file), stop), orvel::Cancelled) << file;
    }
}

TEST(DecodeCancellationTest, EachDecoderChecksTheStopFlagBeforeReading)
{
    // Handed to the decoders directly, past the dispatcher's own check.
    const std::atomic<bool> stop{true};
    EXPECT_THROW((void)orvel::decodeFlac(testAudio("facts/2ch-44100Hz-180s.flac"), stop), orvel::Cancelled);
    EXPECT_THROW((void)orvel::decodeWavAiff(testAudio("ref/2ch-44100Hz-16bit.wav"), stop), orvel::Cancelled);
    EXPECT_THROW((void)orvel::decodeWavAiff(testAudio("ref/2ch-44100Hz-16bit.aiff"), stop), orvel::Cancelled);
#if KESTRONE_HAVE_FFMPEG
    EXPECT_THROW((void)orvel::decodeWithFfmpeg(testAudio("ref/2ch-44100Hz-aac.m4a"), stop), orvel::Cancelled);
#endif
}

TEST(DecodeCancellationTest, StopSetFromAnotherThreadEndsDecoding)
{
    std::atomic<bool> stop{false};
    auto decoding = std::async(std::launch::async, [&stop] {
        // As the window sets it for its worker; repeated so the stop lands
        // while a decode is running.
        for (int i = 0; i < 1000; ++i) {
            (void)orvel::decodeFlac(testAudio("facts/2ch-44100Hz-180s.flac"), stop);
        }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    stop = true;
    EXPECT_THROW(decoding.get(), orvel::Cancelled);
}

} // namespace
