// SPDX-License-Identifier: MIT
// Streams that lie about themselves: an MP4 whose sample table was damaged,
// half-downloaded files padded with zeros to gigabytes (sparse, so they cost
// no disk), and a FLAC header before 20 GiB of zeros that must still stop at
// the first Ctrl-C.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/process.h"
#include "tests/support/reports.h"

namespace {

using namespace orvel::testing;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr const char* kTruncatedMp4 = "Truncated or corrupt M4A: fewer decoded samples than declared.";

void putBigEndian32(std::string& bytes, std::size_t at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<char>((value >> (24 - 8 * i)) & 0xFF);
    }
}

// A copy of an MP4 with one 32-bit field of a box changed.
fs::path damagedMp4(const ScratchFolder& scratch, const fs::path& source, const std::string& box,
                    std::size_t offsetInBox, std::uint32_t value, const std::string& name)
{
    std::string bytes = readBytes(source);
    const std::size_t at = bytes.find(box);
    EXPECT_NE(at, std::string::npos) << box;
    putBigEndian32(bytes, at + offsetInBox, value);
    writeBytes(scratch / name, bytes);
    return scratch / name;
}

// mdhd: "mdhd", version and flags, then created and modified (32 bits each
// in version 0), then the timescale.
constexpr std::size_t kMdhdTimescale = 4 + 4 + 8;
// stts: "stts", version and flags, entry count, then the first count and delta.
constexpr std::size_t kSttsFirstDelta = 4 + 4 + 4 + 4;

TEST(DamagedMp4Test, ADamagedSampleTableFailsAsTruncatedLikeFlacAndWav)
{
    KESTRONE_SKIP_WITHOUT_FFMPEG();
    const ScratchFolder scratch;
    const fs::path alac = testAudio("decode", "ref/2ch-44100Hz-16bit-alac.m4a");
    const fs::path aac = testAudio("analysis", "lossy-aac-44100Hz-2ch-5s.m4a");
    const std::vector<fs::path> damaged{
        damagedMp4(scratch, alac, "mdhd", kMdhdTimescale, 0, "alac-timescale-0.m4a"),
        damagedMp4(scratch, alac, "stts", kSttsFirstDelta, 0x7FFFFFFF, "alac-bad-delta.m4a"),
        damagedMp4(scratch, aac, "mdhd", kMdhdTimescale, 0, "aac-timescale-0.m4a"),
        damagedMp4(scratch, aac, "stts", kSttsFirstDelta, 1, "aac-bad-delta.m4a"),
    };
    std::vector<std::string> args{(scratch / "r.json").native(), alac.native(), aac.native()};
    for (const fs::path& file : damaged) {
        args.push_back(file.native());
    }
    const ProcessResult run = runAnalysis(args);
    EXPECT_EQ(run.exitCode, 1);
    const std::vector<JsonValue> records = reportFileRecords(scratch / "r.json");
    ASSERT_EQ(records.size(), 6u);
    // The intact files are analysed whole: encoder delay is no truncation.
    expectCompleteRecord(records[0], alac.native());
    expectCompleteRecord(records[1], aac.native());
    for (std::size_t i = 2; i < records.size(); ++i) {
        EXPECT_EQ(records[i]["Error"].optionalText(), kTruncatedMp4) << records[i]["File"].text;
    }
}

// The real start of a file, then zeros up to size, as download clients preallocate.
fs::path paddedCopy(const ScratchFolder& scratch, const fs::path& source, const std::string& name,
                    std::uint64_t size)
{
    const fs::path copy = scratch / name;
    writeBytes(copy, readBytes(source));
    EXPECT_EQ(::truncate(copy.c_str(), static_cast<off_t>(size)), 0);
    return copy;
}

constexpr std::uint64_t kGiB = 1ULL << 30;

TEST(PaddedDownloadTest, AnMp3PaddedToGigabytesIsReadOnlyToItsPadding)
{
    KESTRONE_SKIP_WITHOUT_FFMPEG();
    const ScratchFolder scratch;
    const fs::path mp3 = testAudio("decode", "ref/2ch-44100Hz-128k.mp3");
    const fs::path one = paddedCopy(scratch, mp3, "one-gib.mp3", kGiB);
    const fs::path twenty = paddedCopy(scratch, mp3, "twenty-gib.mp3", 20 * kGiB);
    const ProcessResult run = runProcess(
        {scanProgram(), "--jobs", "2", "--json", (scratch / "r.json").native(), one.native(), twenty.native()},
        ProcessOptions{.timeoutSeconds = 60});
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const std::vector<JsonValue> records = reportFileRecords(scratch / "r.json");
    ASSERT_EQ(records.size(), 2u);
    for (const JsonValue& record : records) {
        expectCompleteRecord(record, record["File"].text);
        EXPECT_NEAR(record["AnalyzedSeconds"].number, 1.0, 0.1) << record["File"].text;
    }
    // Gathering the padding took 2 GB per file; the budget of the frame limit
    // (24 million samples as doubles) is 192 MB for everything.
    EXPECT_LT(run.maxRssKiB, 600 * 1024) << run.maxRssKiB << " KiB";
}

// A FLAC header whose metadata goes on as padding blocks of zeros for 20 GiB:
// libFLAC reads through all of them inside one call, which must still see the
// stop. (A header followed by bare zeros is given up after 16 MB: see
// DamagedFileTest.)
TEST(PaddedDownloadTest, TheFirstCtrlCStopsAFlacReadingTwentyGibOfMetadataPadding)
{
    const ScratchFolder scratch;
    const fs::path good = scratch / "good.flac";
    fs::copy_file(testAudio("hostile", "good/001-tone.flac"), good);
    std::string header = readBytes(good);
    std::size_t end = 4; // "fLaC", then metadata blocks until the one marked last
    std::size_t lastBlock = end;
    for (bool last = false; !last && end + 4 <= header.size();) {
        lastBlock = end;
        last = (static_cast<unsigned char>(header[end]) & 0x80) != 0;
        const std::size_t length = (static_cast<unsigned char>(header[end + 1]) << 16) |
                                   (static_cast<unsigned char>(header[end + 2]) << 8) |
                                   static_cast<unsigned char>(header[end + 3]);
        end += 4 + length;
    }
    header.resize(end);
    header[lastBlock] = static_cast<char>(header[lastBlock] & 0x7F);
    writeBytes(scratch / "header.flac", header);
    // PADDING blocks of 16 MiB - 1, the last one marked last, over sparse zeros.
    constexpr std::uint64_t kBlock = 4 + 0xFFFFFF;
    const int fd = ::open((scratch / "header.flac").c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    for (std::uint64_t at = end; at + kBlock <= 20 * kGiB; at += kBlock) {
        const bool last = at + 2 * kBlock > 20 * kGiB;
        const char block[4] = {static_cast<char>(last ? 0x81 : 0x01), '\xFF', '\xFF', '\xFF'};
        ASSERT_EQ(::pwrite(fd, block, 4, static_cast<off_t>(at)), 4);
    }
    ASSERT_EQ(::close(fd), 0);
    ASSERT_EQ(::truncate((scratch / "header.flac").c_str(), static_cast<off_t>(20 * kGiB)), 0);

    RunningProgram run({scanProgram(), "--jobs", "1", "--json", (scratch / "r.json").native(), good.native(),
                        (scratch / "header.flac").native()});
    ASSERT_TRUE(run.readLine(60s).value_or("").starts_with("FILE "));
    ASSERT_TRUE(run.readLine(60s).has_value()); // good.flac is complete; the hunt has begun
    std::this_thread::sleep_for(200ms);
    run.signal(SIGINT);
    const auto signalled = std::chrono::steady_clock::now();
    const ProcessResult result = run.finish();
    const auto stopping = std::chrono::steady_clock::now() - signalled;
    EXPECT_EQ(result.exitCode, 130) << result.err;
    // Reading the zeros takes most of a minute; a stop seen on every read
    // ends at once. The bound only tells the two apart.
    EXPECT_LT(stopping, 15s);
    const std::vector<JsonValue> records = reportFileRecords(scratch / "r.json");
    ASSERT_EQ(records.size(), 1u);
    expectCompleteRecord(records[0], good.native());
}

} // namespace
