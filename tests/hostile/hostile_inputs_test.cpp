// SPDX-License-Identifier: MIT
// Damaged and hostile inputs given to the headless analysis end as one clear
// message each, in their own record, without a hang and without holding
// memory an honest file could not make it hold.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <map>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "tests/support/files.h"
#include "tests/support/messages.h"
#include "tests/support/process.h"
#include "tests/support/reports.h"

namespace {

using namespace orvel::testing;
using orvel::testing::ScratchFolder;
namespace fs = std::filesystem;

// Beyond this the analysis held far more than the frame limit of any file
// here allows (the limit of the largest, 30 s at 48 kHz, is 11 MiB a channel).
constexpr long kMemoryCeilingKiB = 600 * 1024;

struct Expected {
    const char* file;
    const char* message; // the exact message, or nullptr when any clear message will do
};

TEST(HostileInputTest, EveryDamagedFileGetsItsOwnMessageAndTheRunGoesOn)
{
    KESTRONE_SKIP_WITHOUT_FFMPEG();
    const Expected exact[] = {
        {"0ch.wav", kRangeMessage},
        {"65535ch.wav", kRangeMessage},
        {"rate-0.wav", kRangeMessage},
        {"rate-2pow31.wav", kRangeMessage},
        {"declares-rate-0.flac", kRangeMessage},
        {"float32-nan.wav", "Audio contains non-finite samples."},
        {"ima-adpcm.wav", "Compressed WAV/AIFF is not supported. Use PCM WAV, floating-point WAV, or FLAC."},
        {"4bit.wav", "Unsupported WAV/AIFF sample precision."},
        {"zero.flac", "Cannot decode FLAC header. The file may be corrupt or unsupported."},
        {"zero.wav", "Cannot decode WAV/AIFF header. The file may be corrupt or unsupported."},
        {"zero.aiff", "Cannot decode WAV/AIFF header. The file may be corrupt or unsupported."},
        {"mp3-start.wav", "Cannot decode WAV/AIFF header. The file may be corrupt or unsupported."},
        {"mp3.aiff", "Cannot decode WAV/AIFF header. The file may be corrupt or unsupported."},
        {"flac.wav", "Cannot decode WAV/AIFF header. The file may be corrupt or unsupported."},
    };
    const ScratchFolder scratch;
    const std::vector<fs::path> bad = filesIn(testAudio("hostile", "bad"));
    ASSERT_GE(bad.size(), 60U);
    // A good file first and last: what fails in between must not end the run.
    std::vector<std::string> args{(scratch / "report.json").native(), filesIn(testAudio("hostile", "good")).front().native()};
    for (const fs::path& file : bad) {
        args.push_back(file.native());
    }
    args.push_back(filesIn(testAudio("hostile", "good")).back().native());

    const ProcessResult run = runAnalysis(args);
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out + run.err, "") << "the headless analysis prints nothing, nor do the libraries it uses";
    EXPECT_LT(run.maxRssKiB, kMemoryCeilingKiB);

    const std::vector<JsonValue> records = reportFileRecords(scratch / "report.json");
    ASSERT_EQ(records.size(), bad.size() + 2);
    std::size_t ffmpegOnly = 0;
    expectCompleteRecord(records.front(), args[1]);
    expectCompleteRecord(records.back(), args.back());
    const std::string kFfmpegOnly[] = {".wv", ".ape", ".tta", ".tak", ".ogg", ".oga", ".opus", ".wma", ".mka", ".caf"};
    // Sound audio under a name outside the supported set, named directly, or
    // under another format's name: its content decides (libsndfile for the
    // WAV, libFLAC for the FLAC).
    const std::map<std::string, std::string> renamed = {
        {"tone.mpc", "WAV"}, {"tone.dsf", "FLAC"}, {"tone.ogg", "WAV"}, {"tone.wv", "WAV"}};
    std::size_t renamedSeen = 0;
    for (std::size_t i = 0; i < bad.size(); ++i) {
        if (const auto it = renamed.find(bad[i].filename().native()); it != renamed.end()) {
            ++renamedSeen;
            expectCompleteRecord(records[i + 1], bad[i].native());
            EXPECT_EQ(records[i + 1]["Codec"].text, it->second) << it->first;
            continue;
        }
        expectFailedRecord(records[i + 1], bad[i].native());
        for (const Expected& expected : exact) {
            if (bad[i].filename() == expected.file) {
                EXPECT_EQ(records[i + 1]["Error"].text, expected.message) << expected.file;
            }
        }
        // Nothing, or text, under the name of a format only FFmpeg reads.
        const std::string name = bad[i].filename().native();
        const std::string ext = bad[i].extension().native();
        if ((name.starts_with("zero.") || name.starts_with("text.")) &&
            std::find(std::begin(kFfmpegOnly), std::end(kFfmpegOnly), ext) != std::end(kFfmpegOnly)) {
            ++ffmpegOnly;
            EXPECT_TRUE(records[i + 1]["Error"].text.starts_with("FFmpeg cannot open this audio format (") ||
                        records[i + 1]["Error"].text.starts_with("FFmpeg cannot read the audio stream parameters ("))
                << name << ": " << records[i + 1]["Error"].text;
        }
    }
    EXPECT_EQ(ffmpegOnly, 2 * std::size(kFfmpegOnly)) << "a zero-length and a text file for each";
    EXPECT_EQ(renamedSeen, renamed.size());
}

TEST(HostileInputTest, AbsurdDeclaredSizesDoNotMakeTheAnalysisHoldMemory)
{
    // Each alone, so the peak belongs to that file.
    for (const char* name : {"2pow32-frames.wav", "rf64-2pow40-bytes.wav", "data-past-end.wav",
                             "declares-2pow36-frames.flac", "65535ch.wav", "rate-2pow31.wav"}) {
        SCOPED_TRACE(name);
        const ScratchFolder scratch;
        const ProcessResult run = runAnalysis({(scratch / "r.json").native(), testAudio("hostile", std::string("bad/") + name)});
        ASSERT_FALSE(run.timedOut);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_LT(run.maxRssKiB, kMemoryCeilingKiB);
        const std::vector<JsonValue> records = reportFileRecords(scratch / "r.json");
        ASSERT_EQ(records.size(), 1U);
        expectFailedRecord(records[0], testAudio("hostile", std::string("bad/") + name).native());
    }
}

// Paths that are no regular file: folders named like audio, FIFOs without a
// writer (reading would block for ever), devices that never end (reading
// would fill memory to the frame limit with junk, or spin), and a name that
// is gone. Each is refused by name, before anything opens it.
TEST(HostileInputTest, PathsThatAreNoRegularFileAreRefusedWithoutBeingRead)
{
    ScratchFolder scratch;
    fs::create_directory(scratch / "folder.flac");
    fs::create_directory(scratch / "folder.wav");
    ASSERT_EQ(::mkfifo((scratch / "pipe.wav").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo((scratch / "pipe.mp3").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", scratch / "zero.wav");
    fs::create_symlink("/dev/urandom", scratch / "urandom.mp3");
    fs::create_symlink("/dev/zero", scratch / "zero.flac");
    std::vector<std::string> refused{"folder.flac", "folder.wav", "pipe.wav", "pipe.mp3",
                                     "zero.wav",    "urandom.mp3", "zero.flac"};
    // A device node under an audio name, where the system lets us make one.
    if (::mknod((scratch / "null.aiff").c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0) {
        refused.push_back("null.aiff");
    }

    std::vector<std::string> args{(scratch / "report.json").native()};
    for (const std::string& name : refused) {
        args.push_back((scratch / name).native());
    }
    args.push_back((scratch / "gone.flac").native());
    const ProcessResult run = runAnalysis(args, ProcessOptions{.timeoutSeconds = 60});
    ASSERT_FALSE(run.timedOut) << "a non-regular file was opened for reading";
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_LT(run.maxRssKiB, kMemoryCeilingKiB);

    const std::vector<JsonValue> records = reportFileRecords(scratch / "report.json");
    ASSERT_EQ(records.size(), refused.size() + 1);
    for (std::size_t i = 0; i < refused.size(); ++i) {
        expectFailedRecord(records[i], (scratch / refused[i]).native());
        EXPECT_EQ(records[i]["Error"].text, kNotRegularMessage) << refused[i];
    }
    expectFailedRecord(records.back(), (scratch / "gone.flac").native());

    // kestrone-scan takes explicit paths the same way.
    const ProcessResult scan = runProcess({scanProgram(), "--json", (scratch / "scan.json").native(),
                                                    (scratch / "pipe.wav").native(), (scratch / "zero.wav").native()},
                                   ProcessOptions{.timeoutSeconds = 60});
    ASSERT_FALSE(scan.timedOut);
    EXPECT_EQ(scan.exitCode, 1);
    const std::vector<JsonValue> scanned = reportFileRecords(scratch / "scan.json");
    ASSERT_EQ(scanned.size(), 2U);
    EXPECT_EQ(scanned[0]["Error"].text, kNotRegularMessage);
    EXPECT_EQ(scanned[1]["Error"].text, kNotRegularMessage);
}

TEST(HostileInputTest, AFileWithoutReadPermissionGetsAMessage)
{
    // Root reads whatever the mode says; the child then runs as nobody.
    ScratchFolder scratch;
    ::chmod(scratch.path().c_str(), 0777);
    const fs::path locked = scratch / "locked.flac";
    const fs::path lockedWav = scratch / "locked.wav";
    fs::copy_file(filesIn(testAudio("hostile", "good")).at(1), locked);
    fs::copy_file(filesIn(testAudio("hostile", "good")).at(0), lockedWav);
    fs::permissions(locked, fs::perms::none);
    fs::permissions(lockedWav, fs::perms::none);
    const fs::path readable = filesIn(testAudio("hostile", "good")).at(2);

    const ProcessResult run = runAnalysis({(scratch / "report.json").native(), locked.native(),
                                               lockedWav.native(), readable.native()},
                                  ProcessOptions{.dropRoot = true});
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 1);
    const std::vector<JsonValue> records = reportFileRecords(scratch / "report.json");
    ASSERT_EQ(records.size(), 3U);
    expectFailedRecord(records[0], locked.native());
    expectFailedRecord(records[1], lockedWav.native());
    expectCompleteRecord(records[2], readable.native());
}

// File names are bytes. A name that is no UTF-8 is still analysed, and the
// report shows each stray byte as U+FFFD and stays valid UTF-8 JSON.
TEST(HostileInputTest, NamesThatAreNotUtf8AreAnalysedAndShownAsValidUtf8)
{
    const ScratchFolder scratch;
    const fs::path folder = scratch / "bad\xFF" "folder";
    fs::create_directory(folder);
    const fs::path file = folder / "over\xC0\xAF" "long-\xED\xA0\x80-cut\xE2\x82.flac";
    fs::copy_file(filesIn(testAudio("hostile", "good")).at(1), file);
    const std::string replacement = "\xEF\xBF\xBD";
    const std::string shown = (scratch / ("bad" + replacement + "folder")).native() + "/over" + replacement +
                              replacement + "long-" + replacement + replacement + replacement + "-cut" + replacement +
                              replacement + ".flac";

    const ProcessResult run = runAnalysis({(scratch / "report.json").native(), file.native()});
    EXPECT_EQ(run.exitCode, 0);
    std::vector<JsonValue> records = reportFileRecords(scratch / "report.json");
    ASSERT_EQ(records.size(), 1U);
    expectCompleteRecord(records[0], shown);

    // The same through kestrone-scan, given the folder to walk.
    const ProcessResult scan = runProcess({scanProgram(), "--json", (scratch / "scan.json").native(), folder.native()});
    EXPECT_EQ(scan.exitCode, 0) << scan.err;
    records = reportFileRecords(scratch / "scan.json");
    ASSERT_EQ(records.size(), 1U);
    expectCompleteRecord(records[0], shown);
}

TEST(HostileInputTest, NoiseAfterAnMp3HeaderEndsWithoutAHang)
{
    // A decoder may find frames in noise: a message or a record are both
    // acceptable outcomes, a hang or a crash is not.
    const ScratchFolder scratch;
    std::vector<std::string> args{(scratch / "report.json").native()};
    for (const fs::path& file : filesIn(testAudio("hostile", "odd"))) {
        args.push_back(file.native());
    }
    ASSERT_GE(args.size(), 3U);
    const ProcessResult run = runAnalysis(args, ProcessOptions{.timeoutSeconds = 60});
    ASSERT_FALSE(run.timedOut);
    EXPECT_TRUE(run.exitCode == 0 || run.exitCode == 1) << run.exitCode;
    const std::vector<JsonValue> records = reportFileRecords(scratch / "report.json");
    ASSERT_EQ(records.size(), args.size() - 1);
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (records[i]["Error"].isNull()) {
            expectCompleteRecord(records[i], args[i + 1]);
        } else {
            expectFailedRecord(records[i], args[i + 1]);
        }
    }
}

} // namespace
