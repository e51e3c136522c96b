// SPDX-License-Identifier: MIT
// The pictures a batch writes while each file's audio is in memory.
#include "picture/file_picture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

#include "analysis/analyze_file.h"
#include "batch/batch_runner.h"
#include "decode/cancellation.h"
#include "tests/support/files.h"
#include "tests/support/png.h"

namespace orvel {
namespace {

namespace fs = std::filesystem;
using testing::ScratchFolder;
using testing::readBytes;
using testing::readPngHeader;
using testing::testAudio;

constexpr PictureSize kSmall{480, 300};

class Collect : public BatchObserver {
public:
    void record(std::size_t index, FileReport&& record) override { records[index] = std::move(record); }
    std::map<std::size_t, FileReport> records;
};

struct PictureRun {
    std::vector<BatchInput> inputs;
    std::map<std::size_t, FileReport> records;
    std::map<std::string, std::string> folder; // name -> bytes of everything written
    std::vector<std::string> names;            // the picture name of each input
};

std::map<std::string, std::string> contents(const fs::path& folder)
{
    std::map<std::string, std::string> files;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        files[entry.path().filename().string()] = entry.is_regular_file() ? readBytes(entry.path()) : "<folder>";
    }
    return files;
}

PictureRun runWithPictures(const std::vector<fs::path>& given, const fs::path& folder, unsigned jobs,
                    PictureSize size = kSmall)
{
    PictureRun run;
    run.inputs = collectInputs(given);
    std::atomic<bool> stop{false};
    const BatchPictures pictures(folder, size, run.inputs, stop);
    BatchSettings settings;
    settings.jobs = jobs;
    settings.analysis.threads = 1;
    settings.withAudio = [&](std::size_t index, const DecodedAudio& audio, FileReport& record) {
        pictures.write(index, audio, record, settings.analysis);
    };
    Collect observer;
    runBatch(run.inputs, settings, stop, observer);
    run.records = std::move(observer.records);
    run.folder = contents(folder);
    for (std::size_t i = 0; i < run.inputs.size(); ++i) {
        run.names.push_back(pictures.nameFor(i));
    }
    return run;
}

TEST(BatchPicturesTest, OnePngPerAnalysedFileTheSameForOneAndTwoJobs)
{
    KESTRONE_SKIP_WITHOUT_FFMPEG();
    const ScratchFolder scratch;
    const PictureRun one = runWithPictures({testAudio("scan", "mixed")}, scratch / "one", 1);
    const PictureRun two = runWithPictures({testAudio("scan", "mixed")}, scratch / "two", 2);

    ASSERT_EQ(one.records.size(), one.inputs.size());
    ASSERT_EQ(one.records.size(), 7u);
    std::size_t failed = 0;
    for (const auto& [index, record] : one.records) {
        const std::string& name = one.names[index];
        EXPECT_EQ(name, one.inputs[index].path.filename().string() + ".png");
        if (!record.error.empty()) {
            // A file that could not be analysed gets no picture; its error says why.
            ++failed;
            EXPECT_EQ(record.pictureName, "");
            EXPECT_EQ(one.folder.count(name), 0u) << name;
            continue;
        }
        EXPECT_EQ(record.pictureName, name);
        EXPECT_EQ(record.pictureError, "");
        ASSERT_EQ(one.folder.count(name), 1u) << name;
        const auto header = readPngHeader(one.folder.at(name));
        ASSERT_TRUE(header.has_value()) << name;
        EXPECT_EQ(header->width, kSmall.width);
        EXPECT_EQ(header->height, kSmall.height);
        EXPECT_EQ(two.records.at(index).pictureName, name);
    }
    EXPECT_EQ(failed, 2u);
    EXPECT_EQ(one.folder.size(), one.records.size() - failed) << "nothing else, no temporary file left";
    EXPECT_EQ(one.folder, two.folder) << "the same bytes whatever the job count";
}

TEST(BatchPicturesTest, TheBatchWritesTheBytesOfTheOneFilePictureAndTheAudioIsDecodedOnce)
{
    const ScratchFolder scratch;
    const fs::path file = testAudio("scan", "mixed/Album/c-pink-2ch-44100Hz-16in24.flac");
    const PictureRun run = runWithPictures({file}, scratch.path(), 1, PictureSize{});

    const std::atomic<bool> noStop{false};
    std::vector<unsigned char> direct;
    int calls = 0;
    const FileReport record = analyzeFile(file, noStop, {}, {}, [&](const DecodedAudio& audio, FileReport& r) {
        ++calls;
        direct = filePicturePng(audio, r, PictureSize{}, {}, noStop);
    });
    EXPECT_EQ(calls, 1);
    const std::string written = run.folder.at("c-pink-2ch-44100Hz-16in24.flac.png");
    EXPECT_EQ(written, std::string(direct.begin(), direct.end()));
    const auto header = readPngHeader(written);
    ASSERT_TRUE(header.has_value());
    EXPECT_EQ(header->width, 1200);
    EXPECT_EQ(header->height, 700);

    const PictureLabels labels = pictureLabels(record);
    EXPECT_EQ(labels.fileName, "c-pink-2ch-44100Hz-16in24.flac");
    EXPECT_EQ(labels.codec, "FLAC");
    EXPECT_EQ(labels.sampleRate, 44100);
    EXPECT_EQ(labels.bits, 24);
    ASSERT_EQ(labels.verdicts.size(), 4u);
    EXPECT_EQ(labels.verdicts[0].check, "Upscaling");
    EXPECT_EQ(labels.verdicts[0].verdict, std::string(verdictText(record.upscaling.status)));
    EXPECT_EQ(labels.verdicts[2].check, "AAC-SIN");
    EXPECT_EQ(labels.verdicts[3].check, "Origin");
    EXPECT_EQ(labels.verdicts[3].verdict, std::string(verdictText(record.origin.status)));
}

TEST(BatchPicturesTest, AnMp3TranscodesPictureNamesItsOriginAndMarksTheCutoff)
{
    // lame at 128 kb/s, decoded and stored as FLAC: LAME's lowpass near 17 kHz.
    const fs::path file = testAudio("origin", "mp3-b128-band.flac");
    const std::atomic<bool> noStop{false};
    FilePicture picture;
    const FileReport record = analyzeFile(file, noStop, {}, {}, [&](const DecodedAudio& audio, FileReport& r) {
        picture = makeFilePicture(audio, r, PictureSize{}, {}, noStop);
    });
    ASSERT_TRUE(record.error.empty()) << record.error;
    ASSERT_TRUE(record.originFacts.cutoffKhz.has_value());
    const PictureLabels labels = pictureLabels(record);
    ASSERT_EQ(labels.verdicts.size(), 4u);
    EXPECT_EQ(labels.verdicts[3].check, "Origin");
    EXPECT_EQ(labels.verdicts[3].verdict, "Evidence found");
    EXPECT_EQ(labels.conclusion, "Likely MP3 source");
    // The conclusion, in the finding colour, on the title's first line beside the name.
    int answer = 0;
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < picture.image.width; ++x) {
            answer += picture.image.pixels[static_cast<std::size_t>(y * picture.image.width + x)] == 0xFFC0392Bu ? 1 : 0;
        }
    }
    EXPECT_GT(answer, 20) << "the first title line shows the conclusion";
    ASSERT_TRUE(labels.cutoffHz.has_value());
    EXPECT_NEAR(*labels.cutoffHz, 16900.0, 350.0);
    EXPECT_DOUBLE_EQ(*labels.cutoffHz, *record.originFacts.cutoffKhz * 1000.0);

    // The marked line lies on the cutoff's row of the picture, in the amber the window's spectrum gives a finding.
    const PlotArea area = plotArea(PictureSize{});
    const int row = static_cast<int>(std::round(area.top + area.height - *labels.cutoffHz / 22050.0 * area.height));
    int marker = 0;
    for (int x = area.left; x < area.left + area.width; ++x) {
        marker += picture.image.pixels[static_cast<std::size_t>(row * picture.image.width + x)] == 0xFFFFC570u ? 1 : 0;
    }
    EXPECT_GT(marker, area.width / 3) << "dashed across the plot";
}

TEST(BatchPicturesTest, SameFileNamesInTwoFoldersGetNamesFromTheirPathsInAnyOrder)
{
    const ScratchFolder scratch;
    const std::string bytes = readBytes(testAudio("scan", "mixed/a-pink-2ch-44100Hz-16bit.flac"));
    scratch.touch("in/b/Song.flac", bytes);
    scratch.touch("in/a/song.FLAC", bytes);
    const std::regex named("Song\\.flac \\([0-9a-f]{8}\\)\\.png", std::regex::icase);
    std::string first;
    std::string second;
    for (const unsigned jobs : {1u, 2u}) {
        const fs::path out = scratch / ("out" + std::to_string(jobs));
        // Given in the other order the second time: a file's name stays its own.
        const std::vector<fs::path> files = {scratch / "in/b/Song.flac", scratch / "in/a/song.FLAC"};
        const PictureRun run = runWithPictures(jobs == 1 ? files : std::vector<fs::path>{files[1], files[0]}, out, jobs);
        const std::size_t b = jobs == 1 ? 0 : 1;
        EXPECT_TRUE(std::regex_match(run.records.at(b).pictureName, named)) << run.records.at(b).pictureName;
        EXPECT_TRUE(std::regex_match(run.records.at(1 - b).pictureName, named)) << run.records.at(1 - b).pictureName;
        EXPECT_EQ(run.folder.size(), 2u);
        EXPECT_NE(run.folder.at(run.records.at(0).pictureName), run.folder.at(run.records.at(1).pictureName))
            << "each names its own file";
        if (jobs == 1) {
            first = run.records.at(b).pictureName;
            second = run.records.at(1 - b).pictureName;
        } else {
            EXPECT_EQ(run.records.at(b).pictureName, first);
            EXPECT_EQ(run.records.at(1 - b).pictureName, second);
        }
    }
}

TEST(BatchPicturesTest, AStopWhileTheAudioIsInMemoryWritesNothing)
{
    const ScratchFolder scratch;
    const std::vector<BatchInput> inputs = collectInputs({testAudio("scan", "mixed/a-pink-2ch-44100Hz-16bit.flac")});
    std::atomic<bool> stop{false};
    const BatchPictures pictures(scratch.path(), kSmall, inputs, stop);
    BatchSettings settings;
    settings.withAudio = [&](std::size_t index, const DecodedAudio& audio, FileReport& record) {
        stop.store(true); // Ctrl-C arrives while the picture is drawn
        pictures.write(index, audio, record, {});
    };
    Collect observer;
    runBatch(inputs, settings, stop, observer);
    EXPECT_TRUE(observer.records.empty()) << "a stopped file has no record";
    EXPECT_TRUE(scratch.entries().empty()) << "and leaves no picture or temporary file";
}

TEST(BatchPicturesTest, APictureThatCannotBeWrittenIsSaidInTheRecordWhichKeepsItsResults)
{
    const ScratchFolder scratch;
    fs::create_directories(scratch / "a-pink-2ch-44100Hz-16bit.flac.png"); // a folder where the picture goes
    const PictureRun run = runWithPictures({testAudio("scan", "mixed/a-pink-2ch-44100Hz-16bit.flac")}, scratch.path(), 1);
    const FileReport& record = run.records.at(0);
    EXPECT_EQ(record.error, "");
    EXPECT_EQ(record.codec, "FLAC");
    EXPECT_EQ(record.pictureName, "");
    EXPECT_NE(record.pictureError.find("a-pink-2ch-44100Hz-16bit.flac.png"), std::string::npos) << record.pictureError;
}

TEST(BatchPicturesTest, AMissingFolderIsMadeAndAFileInItsPlaceIsRefused)
{
    const ScratchFolder scratch;
    const std::atomic<bool> stop{false};
    EXPECT_NO_THROW(BatchPictures(scratch / "new/deeper", kSmall, {}, stop));
    EXPECT_TRUE(fs::is_directory(scratch / "new/deeper"));
    const fs::path file = scratch.touch("taken");
    EXPECT_THROW(BatchPictures(file, kSmall, {}, stop), std::runtime_error);
}

TEST(PngHeaderTest, ACutPngIsNotOne)
{
    const ScratchFolder scratch;
    const PictureRun run = runWithPictures({testAudio("scan", "mixed/a-pink-2ch-44100Hz-16bit.flac")}, scratch.path(), 1);
    const std::string whole = run.folder.at("a-pink-2ch-44100Hz-16bit.flac.png");
    ASSERT_TRUE(readPngHeader(whole).has_value());
    EXPECT_FALSE(readPngHeader(whole.substr(0, whole.size() - 1)).has_value());
    EXPECT_FALSE(readPngHeader(whole.substr(0, whole.size() / 2)).has_value());
    EXPECT_FALSE(readPngHeader(whole + "x").has_value());
}

} // namespace
} // namespace orvel
