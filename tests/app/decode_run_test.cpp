// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "tests/support/files.h"
#include "tests/support/process.h"

namespace orvel {
namespace {

using testing::readBytes;
using testing::runKestrone;
using testing::ScratchFolder;
using testing::testAudio;
using testing::writeBytes;

// What the ffmpeg tool decodes from the same file, as little-endian doubles.
std::string ffmpegDoubles(const std::filesystem::path& input)
{
    const std::string command = "ffmpeg -nostdin -v error -i '" + input.native() + "' -f f64le -";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return {};
    }
    std::string bytes;
    char buffer[65536];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        bytes.append(buffer, got);
    }
    ::pclose(pipe);
    return bytes;
}

double sampleAt(const std::string& bytes, std::size_t index)
{
    double value = 0.0;
    std::memcpy(&value, bytes.data() + index * 8, 8); // the test host is little-endian x86-64
    return value;
}

class DecodeRunTest : public ::testing::Test {
protected:
    ScratchFolder m_folder;
    const std::filesystem::path m_wav = testAudio("app", "2ch-48000Hz-16bit-1s.wav");
};

TEST_F(DecodeRunTest, OneSecondOf48kHzStereoIsInterleavedDoublesIdenticalToFfmpeg)
{
    const std::filesystem::path out = m_folder / "samples.f64";
    const auto run = runKestrone({"--decode-test", m_wav.native(), out.native()});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out + run.err, "");
    const std::string bytes = readBytes(out);
    ASSERT_EQ(bytes.size(), 768000U);
    EXPECT_EQ(bytes, ffmpegDoubles(m_wav));
    // Left is a 440 Hz tone starting at zero, right is noise: the channels interleave.
    EXPECT_EQ(sampleAt(bytes, 0), 0.0);
    EXPECT_NE(sampleAt(bytes, 1), 0.0);
    for (std::size_t i = 0; i < bytes.size() / 8; ++i) {
        const double v = sampleAt(bytes, i);
        ASSERT_TRUE(v >= -1.0 && v < 1.0 && v * 32768.0 == static_cast<double>(static_cast<int>(v * 32768.0)))
            << "sample " << i << " is not on the 16-bit grid: " << v;
    }
    EXPECT_EQ(m_folder.entries(), std::vector<std::string>{"samples.f64"});
}

TEST_F(DecodeRunTest, TwentyFourBitFlacMatchesFfmpeg)
{
    const std::filesystem::path flac = testAudio("app", "1ch-44100Hz-24bit-1s.flac");
    const std::filesystem::path out = m_folder / "samples.f64";
    EXPECT_EQ(runKestrone({"--decode-test", flac.native(), out.native()}).exitCode, 0);
    const std::string bytes = readBytes(out);
    EXPECT_EQ(bytes.size(), 44100U * 8U);
    EXPECT_EQ(bytes, ffmpegDoubles(flac));
}

TEST_F(DecodeRunTest, AFailedDecodeGivesOneAndCreatesOrTouchesNothing)
{
    const std::filesystem::path out = m_folder / "samples.f64";
    const auto missing = runKestrone({"--decode-test", (m_folder / "missing.wav").native(), out.native()});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.out + missing.err, "");
    EXPECT_TRUE(m_folder.entries().empty());

    writeBytes(out, "keep");
    EXPECT_EQ(runKestrone({"--decode-test", testAudio("app", "b.txt").native(), out.native()}).exitCode, 1);
    EXPECT_EQ(readBytes(out), "keep");
    EXPECT_EQ(m_folder.entries(), std::vector<std::string>{"samples.f64"});
}

TEST_F(DecodeRunTest, AnOutputThatCannotBeCreatedGivesTwo)
{
    const auto run = runKestrone({"--decode-test", m_wav.native(), (m_folder / "missing" / "out.f64").native()});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.out + run.err, "");
    EXPECT_EQ(runKestrone({"--decode-test", m_wav.native(), m_folder.path().native()}).exitCode, 2);
    EXPECT_TRUE(m_folder.entries().empty());
}

TEST_F(DecodeRunTest, AReadOnlyOutputIsNotReplaced)
{
    // The tests run as root, whom access() lets write anything: the permission bits decide.
    const std::filesystem::path out = m_folder / "samples.f64";
    writeBytes(out, "kept");
    std::filesystem::permissions(out, std::filesystem::perms::owner_read | std::filesystem::perms::group_read);
    const auto run = runKestrone({"--decode-test", m_wav.native(), out.native()});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.out + run.err, "");
    EXPECT_EQ(readBytes(out), "kept");
    EXPECT_EQ(m_folder.entries(), std::vector<std::string>{"samples.f64"});
}

TEST_F(DecodeRunTest, AnInputNamedWithAnotherExtensionIsDecodedByItsContent)
{
    const std::filesystem::path renamed = m_folder / "capture.bin";
    writeBytes(renamed, readBytes(m_wav));
    EXPECT_EQ(runKestrone({"--decode-test", renamed.native(), (m_folder / "a.f64").native()}).exitCode, 0);
    EXPECT_EQ(runKestrone({"--decode-test", m_wav.native(), (m_folder / "b.f64").native()}).exitCode, 0);
    EXPECT_EQ(readBytes(m_folder / "a.f64"), readBytes(m_folder / "b.f64"));
    EXPECT_EQ(readBytes(m_folder / "a.f64").size(), 48000u * 2 * 8);
}

TEST_F(DecodeRunTest, AWriteThatFailsPartWayGivesTwoAndKeepsTheOldOutput)
{
    const std::filesystem::path out = m_folder / "samples.f64";
    writeBytes(out, "complete earlier output");
    testing::ProcessOptions limited;
    limited.fileSizeLimit = 100000; // the decode needs 768,000 bytes
    const auto run = runKestrone({"--decode-test", m_wav.native(), out.native()}, limited);
    EXPECT_EQ(run.exitCode, 2) << "the file size limit must fail the write, not kill the program";
    EXPECT_EQ(run.out + run.err, "");
    EXPECT_EQ(readBytes(out), "complete earlier output");
    EXPECT_EQ(m_folder.entries(), std::vector<std::string>{"samples.f64"});
}

} // namespace
} // namespace orvel
