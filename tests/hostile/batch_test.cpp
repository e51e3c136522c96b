// SPDX-License-Identifier: MIT
// One headless run over 200 files, a quarter of them damaged in different
// ways: every file gets its record in the order given, the damaged ones with
// their messages, the others complete, and the run says some failed.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "tests/support/files.h"
#include "tests/support/messages.h"
#include "tests/support/process.h"
#include "tests/support/reports.h"

namespace {

using namespace orvel::testing;
using orvel::testing::ScratchFolder;
namespace fs = std::filesystem;

TEST(HostileBatchTest, TwoHundredFilesFiftyDamagedGiveTwoHundredRecordsInOrder)
{
    ScratchFolder scratch;
    // Damage the suite's files cannot carry: made here, beside the report.
    fs::create_directory(scratch / "folder.flac");
    fs::create_directory(scratch / "folder.aiff");
    ASSERT_EQ(::mkfifo((scratch / "pipe.wav").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", scratch / "zero-device.wav");
    std::vector<fs::path> damaged;
    for (const char* name : {"folder.flac", "folder.aiff", "pipe.wav", "zero-device.wav", "missing.flac", "missing.mp3"}) {
        damaged.push_back(scratch / name);
    }
    for (const fs::path& file : filesIn(testAudio("hostile", "bad"))) {
        damaged.push_back(file);
    }
    ASSERT_GE(damaged.size(), 50U) << "tools/test-audio/hostile.sh makes too few damaged files";
    damaged.resize(50);
    const std::vector<fs::path> good = filesIn(testAudio("hostile", "good"));
    ASSERT_EQ(good.size(), 150U);

    // Every fourth input is damaged, so failures sit between complete files.
    std::vector<std::string> inputs;
    std::vector<bool> isDamaged;
    for (std::size_t g = 0, d = 0; inputs.size() < 200;) {
        const bool takeDamaged = inputs.size() % 4 == 3;
        inputs.push_back((takeDamaged ? damaged[d++] : good[g++]).native());
        isDamaged.push_back(takeDamaged);
    }

    std::vector<std::string> args{(scratch / "report.json").native()};
    args.insert(args.end(), inputs.begin(), inputs.end());
    const ProcessResult run = runAnalysis(args, ProcessOptions{.timeoutSeconds = 600});
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out + run.err, "");

    const std::vector<JsonValue> records = reportFileRecords(scratch / "report.json");
    ASSERT_EQ(records.size(), 200U);
    std::size_t complete = 0;
    std::size_t failed = 0;
    for (std::size_t i = 0; i < records.size(); ++i) {
        SCOPED_TRACE(i);
        if (isDamaged[i]) {
            expectFailedRecord(records[i], inputs[i]);
            failed += records[i]["Error"].isNull() ? 0 : 1;
        } else {
            expectCompleteRecord(records[i], inputs[i]);
            EXPECT_EQ(records[i]["SampleRate"].number, 8000);
            EXPECT_EQ(records[i]["Channels"].number, 1);
            EXPECT_EQ(records[i]["StoredBits"].number, 16);
            EXPECT_NEAR(records[i]["AnalyzedSeconds"].number, 2.5, 1e-9);
            complete += records[i]["Error"].isNull() ? 1 : 0;
        }
    }
    EXPECT_EQ(complete, 150U);
    EXPECT_EQ(failed, 50U);
}

} // namespace
