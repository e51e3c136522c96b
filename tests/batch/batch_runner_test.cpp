// SPDX-License-Identifier: MIT
#include "batch/batch_runner.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "decode/cancellation.h"

namespace orvel {
namespace {

namespace fs = std::filesystem;

// Everything a batch told its observer, in the order it was told.
struct Recorder : BatchObserver {
    std::vector<std::string> calls;
    std::vector<FileReport> records;
    std::thread::id thread;
    bool wrongThread = false;

    void stage(std::size_t index, const std::string& text) override
    {
        note();
        calls.push_back("stage " + std::to_string(index) + " " + text);
    }
    void record(std::size_t index, FileReport&& record) override
    {
        note();
        calls.push_back("record " + std::to_string(index));
        records.push_back(std::move(record));
    }
    void note()
    {
        wrongThread = wrongThread || std::this_thread::get_id() != thread;
    }
};

std::vector<BatchInput> inputs(int count)
{
    std::vector<BatchInput> list;
    for (int i = 0; i < count; ++i) {
        const fs::path path = "/music/" + std::to_string(i) + ".flac";
        list.push_back({path, path, {}});
    }
    return list;
}

int numberOf(const fs::path& path) { return std::stoi(path.stem().native()); }

// Reports two stages, then finishes; later files are quicker, so with several
// jobs they end before earlier ones.
FileReport fakeAnalysis(const fs::path& path, const std::atomic<bool>&, const ProgressCallback& progress)
{
    progress("first");
    std::this_thread::sleep_for(std::chrono::milliseconds(2 * (8 - numberOf(path) % 8)));
    progress("second");
    FileReport record;
    record.codec = "FLAC";
    record.spectrumDb.assign(3, -1.0);
    return record;
}

TEST(BatchRunnerTest, RecordsComeInInputOrderOnTheCallingThreadForAnyJobCount)
{
    for (const unsigned jobs : {1u, 2u, 5u}) {
        Recorder recorder;
        recorder.thread = std::this_thread::get_id();
        BatchSettings settings;
        settings.jobs = jobs;
        settings.analyze = fakeAnalysis;
        const std::atomic<bool> stop{false};
        runBatch(inputs(12), settings, stop, recorder);
        ASSERT_EQ(recorder.records.size(), 12u) << jobs;
        for (std::size_t i = 0; i < 12; ++i) {
            EXPECT_EQ(recorder.records[i].file, "/music/" + std::to_string(i) + ".flac") << jobs;
            EXPECT_EQ(recorder.records[i].codec, "FLAC");
        }
        EXPECT_FALSE(recorder.wrongThread) << "observer called from an analysing thread, jobs " << jobs;
        // Each file's stages come before its record.
        for (std::size_t i = 0; i < 12; ++i) {
            const std::string index = std::to_string(i);
            const auto first = std::find(recorder.calls.begin(), recorder.calls.end(), "stage " + index + " first");
            const auto second = std::find(recorder.calls.begin(), recorder.calls.end(), "stage " + index + " second");
            const auto record = std::find(recorder.calls.begin(), recorder.calls.end(), "record " + index);
            EXPECT_TRUE(first < second && second < record) << "file " << i << ", jobs " << jobs;
        }
    }
}

TEST(BatchRunnerTest, NoFileStartsFurtherThanTheLookAheadPastTheFirstRecordNotHandedOver)
{
    const std::size_t count = 3 * kBatchLookAhead;
    std::atomic<std::size_t> started{0};
    std::size_t startedWhileFirstRan = 0;
    BatchSettings settings;
    settings.jobs = 2;
    settings.tick = std::chrono::milliseconds(1);
    settings.analyze = [&](const fs::path& path, const std::atomic<bool>&, const ProgressCallback&) {
        ++started;
        if (numberOf(path) == 0) {
            // The other thread takes every file it may meanwhile; quick ones
            // would run through the whole list.
            while (started.load() < kBatchLookAhead) {
                std::this_thread::yield();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            startedWhileFirstRan = started.load();
        }
        return FileReport{};
    };
    Recorder recorder;
    recorder.thread = std::this_thread::get_id();
    const std::atomic<bool> stop{false};
    runBatch(inputs(static_cast<int>(count)), settings, stop, recorder);
    EXPECT_EQ(startedWhileFirstRan, kBatchLookAhead);
    ASSERT_EQ(recorder.records.size(), count);
    for (std::size_t i = 0; i < count; ++i) {
        ASSERT_EQ(recorder.records[i].file, "/music/" + std::to_string(i) + ".flac");
    }
}

TEST(BatchRunnerTest, OneJobInterleavesStagesAndRecordsFileByFile)
{
    Recorder recorder;
    recorder.thread = std::this_thread::get_id();
    BatchSettings settings;
    settings.analyze = fakeAnalysis;
    const std::atomic<bool> stop{false};
    runBatch(inputs(3), settings, stop, recorder);
    const std::vector<std::string> expected{"stage 0 first", "stage 0 second", "record 0",
                                            "stage 1 first", "stage 1 second", "record 1",
                                            "stage 2 first", "stage 2 second", "record 2"};
    EXPECT_EQ(recorder.calls, expected);
}

TEST(BatchRunnerTest, AnInputWithAnErrorFailsWithoutBeingOpenedAndSpectraCanBeDropped)
{
    std::vector<BatchInput> list = inputs(3);
    list[1].error = "Cannot read this path: No such file or directory.";
    std::mutex mutex;
    std::vector<fs::path> analysed;
    BatchSettings settings;
    settings.jobs = 2;
    settings.keepSpectrum = false;
    settings.analyze = [&](const fs::path& path, const std::atomic<bool>& stop, const ProgressCallback& progress) {
        const std::lock_guard lock(mutex);
        analysed.push_back(path);
        return fakeAnalysis(path, stop, progress);
    };
    Recorder recorder;
    recorder.thread = std::this_thread::get_id();
    const std::atomic<bool> stop{false};
    runBatch(list, settings, stop, recorder);
    ASSERT_EQ(recorder.records.size(), 3u);
    EXPECT_EQ(recorder.records[1].error, list[1].error);
    EXPECT_EQ(recorder.records[1].file, list[1].path);
    EXPECT_TRUE(recorder.records[1].codec.empty());
    EXPECT_EQ(std::count(analysed.begin(), analysed.end(), list[1].path), 0);
    EXPECT_TRUE(recorder.records[0].spectrumDb.empty());
    EXPECT_TRUE(recorder.records[2].spectrumDb.empty());
}

TEST(BatchRunnerTest, AStopEndsTheRunAndKeepsTheRecordsCompleteBeforeIt)
{
    for (const unsigned jobs : {1u, 3u}) {
        std::atomic<bool> stop{false};
        std::atomic<int> started{0};
        std::atomic<int> finishedBeforeTheStop{0};
        BatchSettings settings;
        settings.jobs = jobs;
        settings.analyze = [&](const fs::path& path, const std::atomic<bool>& flag, const ProgressCallback&) {
            ++started;
            // Files 0-3 were handed out before file 4; a worker still busy with one of them would
            // see the stop and rightly end it, so the stop waits until they are done, and the
            // files after it wait for the stop.
            if (numberOf(path) == 4) {
                while (finishedBeforeTheStop.load() < 4) {
                    std::this_thread::yield();
                }
                stop = true;
            }
            while (numberOf(path) > 4 && !stop.load()) {
                std::this_thread::yield();
            }
            throwIfStopRequested(flag);
            FileReport record;
            record.codec = "FLAC";
            if (numberOf(path) < 4) {
                ++finishedBeforeTheStop;
            }
            return record;
        };
        Recorder recorder;
        recorder.thread = std::this_thread::get_id();
        runBatch(inputs(40), settings, stop, recorder);
        ASSERT_GE(recorder.records.size(), 4u) << jobs;
        // Files before the stop are all there, in order; the stopped one is not.
        for (std::size_t i = 0; i < 4; ++i) {
            EXPECT_EQ(recorder.records[i].file, "/music/" + std::to_string(i) + ".flac");
        }
        for (const FileReport& record : recorder.records) {
            EXPECT_NE(record.file, "/music/4.flac");
            EXPECT_TRUE(record.error.empty());
        }
        EXPECT_LE(started.load(), 4 + static_cast<int>(jobs)) << "files kept starting after the stop";
    }
}

TEST(BatchRunnerTest, FailuresBecomeRecordsWithTheirMessageAndOnlyAStopEscapes)
{
    const std::atomic<bool> stop{false};
    const auto failing = [](auto thrower) {
        return [thrower](const fs::path&, const std::atomic<bool>&, const ProgressCallback&) -> FileReport {
            thrower();
            return {};
        };
    };
    const fs::path path = "/music/a.flac";
    const FileReport plain =
        analyzePathWith(failing([] { throw std::runtime_error("Truncated FLAC."); }), path, stop, {});
    EXPECT_EQ(plain.error, "Truncated FLAC.");
    EXPECT_EQ(plain.file, path);
    EXPECT_EQ(plain.upscaling.status, Verdict::None);
    EXPECT_EQ(analyzePathWith(failing([] { throw std::runtime_error(""); }), path, stop, {}).error,
              "Analysis failed.");
    EXPECT_EQ(analyzePathWith(failing([] { throw 42; }), path, stop, {}).error,
              "The analysis failed for an unknown reason.");
    // A library's message that is not UTF-8 cannot spoil a report.
    EXPECT_EQ(analyzePathWith(failing([] { throw std::runtime_error("bad \xFF byte"); }), path, stop, {}).error,
              "bad \xEF\xBF\xBD byte");
    EXPECT_THROW((void)analyzePathWith(failing([] { throw Cancelled(); }), path, stop, {}), Cancelled);
}

} // namespace
} // namespace orvel
