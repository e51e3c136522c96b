// SPDX-License-Identifier: MIT
// kestrone-scan maps FFmpeg's libraries only once a file needs them, and
// cairo's and libpng's only once a picture is drawn: the loader's own log
// (LD_DEBUG=files) of a FLAC/WAV run names none of them, that of an M4A/MP3
// run names all three of FFmpeg's as loaded on demand, that of a picture run
// cairo and libpng. Where libavcodec
// cannot be loaded, every file that needs FFmpeg carries the same message and
// the FLAC files of the same run are analysed.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/process.h"
#include "tests/support/reports.h"
#if KESTRONE_HAVE_FFMPEG
#include "tests/scan/absent_ffmpeg/absent_ffmpeg_sonames.h"
#endif

namespace {

namespace fs = std::filesystem;
using namespace orvel::testing;

std::string mixed(const std::string& relative)
{
    return (testAudio("scan") / "mixed" / relative).string();
}

// The dynamic loader's log of the files it maps in one run, with the run's exit code.
struct LoaderLog {
    int exitCode = -1;
    std::string log;
};

LoaderLog runLogged(const std::string& program, std::vector<std::string> args)
{
    const ScratchFolder folder;
    args.insert(args.begin(), program);
    const ProcessResult run = runProcess(
        args, {.env = {{"LD_DEBUG", "files"}, {"LD_DEBUG_OUTPUT", (folder / "loader").string()}}});
    LoaderLog result{run.exitCode, {}};
    for (const fs::path& file : filesIn(folder.path())) {
        result.log += readBytes(file);
    }
    return result;
}

// The loader's lines that record a library being mapped ("needed by" the
// program at start-up, or "dynamically loaded" by it later).
std::vector<std::string> loadedLines(const std::string& log, const std::string& library)
{
    std::vector<std::string> found;
    for (const std::string& line : lines(log)) {
        if (line.find("file=" + library) != std::string::npos) {
            found.push_back(line);
        }
    }
    return found;
}

TEST(FfmpegLoading, AFlacAndWavRunNeverMapsAnyFfmpegOrPictureLibrary)
{
    const ScratchFolder out;
    const LoaderLog run = runLogged(scanProgram(), {"--json", (out / "r.json").string(),
                                                    mixed("a-pink-2ch-44100Hz-16bit.flac"),
                                                    mixed("b-white-2ch-48000Hz-24bit.wav")});
    ASSERT_EQ(run.exitCode, 0);
    // The log is there: the decoders' own libraries are in it.
    EXPECT_FALSE(loadedLines(run.log, "libFLAC.so").empty()) << run.log.substr(0, 2000);
    EXPECT_FALSE(loadedLines(run.log, "libsndfile.so").empty());
    EXPECT_EQ(run.log.find("libav"), std::string::npos);
    EXPECT_EQ(run.log.find("libswresample"), std::string::npos);
    EXPECT_EQ(run.log.find("libcairo"), std::string::npos);
    EXPECT_EQ(run.log.find("libpng"), std::string::npos);
    for (const JsonValue& record : reportFileRecords(out / "r.json")) {
        EXPECT_TRUE(record["Error"].isNull()) << record["Error"].text;
    }
}

TEST(FfmpegLoading, APictureRunLoadsCairoAndLibpngOnDemand)
{
    const ScratchFolder out;
    const LoaderLog run = runLogged(scanProgram(), {"--spectrogram", out.path().string(), "--json",
                                                    (out / "r.json").string(), mixed("a-pink-2ch-44100Hz-16bit.flac")});
    ASSERT_EQ(run.exitCode, 0);
    // libpng may come in as cairo's own dependency; neither is the program's.
    for (const char* library : {"libcairo.so", "libpng16.so"}) {
        const std::vector<std::string> found = loadedLines(run.log, library);
        ASSERT_FALSE(found.empty()) << library;
        for (const std::string& line : found) {
            EXPECT_EQ(line.find("needed by " + scanProgram()), std::string::npos) << line;
        }
    }
    EXPECT_NE(loadedLines(run.log, "libcairo.so").front().find("dynamically loaded"), std::string::npos);
    EXPECT_TRUE(fs::is_regular_file(out / "a-pink-2ch-44100Hz-16bit.flac.png"));
}

#if KESTRONE_HAVE_FFMPEG
TEST(FfmpegLoading, AnM4aAndMp3RunLoadsFfmpegOnDemand)
{
    const ScratchFolder out;
    const LoaderLog run = runLogged(scanProgram(), {"--json", (out / "r.json").string(),
                                                    (testAudio("decode") / "ref/2ch-44100Hz-16bit-alac.m4a").string(),
                                                    mixed("Album/Disc 2/e-pink-2ch-44100Hz-192k.mp3")});
    ASSERT_EQ(run.exitCode, 0);
    for (const char* library : {"libavutil.so", "libavcodec.so", "libavformat.so"}) {
        const std::vector<std::string> found = loadedLines(run.log, library);
        ASSERT_FALSE(found.empty()) << library;
        // Opened by the program itself at run time, not needed at start-up.
        EXPECT_NE(found.front().find("dynamically loaded"), std::string::npos) << found.front();
    }
    const std::vector<JsonValue> records = reportFileRecords(out / "r.json");
    ASSERT_EQ(records.size(), 2U);
    EXPECT_EQ(records[0]["Codec"].text, "ALAC");
    EXPECT_EQ(records[1]["Codec"].text, "MP3");
}

TEST(FfmpegLoading, WithoutLibavcodecEveryFileThatNeedsItSaysSoAndTheFlacFilesAreAnalysed)
{
    const ScratchFolder out;
    const std::vector<std::string> files = {
        mixed("a-pink-2ch-44100Hz-16bit.flac"),
        (testAudio("decode") / "ref/2ch-44100Hz-16bit-alac.m4a").string(),
        mixed("Album/Disc 2/e-pink-2ch-44100Hz-192k.mp3"),
        mixed("Album/c-pink-2ch-44100Hz-16in24.flac"),
    };
    std::vector<std::string> args = {KESTRONE_SCAN_ABSENT_FFMPEG_EXECUTABLE, "--json", (out / "r.json").string()};
    args.insert(args.end(), files.begin(), files.end());
    const ProcessResult run = runProcess(args);
    EXPECT_EQ(run.exitCode, 1) << run.err;

    const std::vector<JsonValue> records = reportFileRecords(out / "r.json");
    ASSERT_EQ(records.size(), 4U);
    expectCompleteRecord(records[0], files[0]);
    expectCompleteRecord(records[3], files[3]);
    const std::string expected = std::string("This format requires FFmpeg, but its library ") + kAbsentAvcodecSoname +
                                 " cannot be loaded (" + kAbsentAvcodecSoname +
                                 ": cannot open shared object file: No such file or directory). "
                                 "FLAC/WAV/AIFF work without it.";
    for (const std::size_t i : {1U, 2U}) {
        expectFailedRecord(records[i], files[i]);
        EXPECT_EQ(records[i]["Error"].text, expected);
    }
}
#endif

} // namespace
