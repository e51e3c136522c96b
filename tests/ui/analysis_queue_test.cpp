// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "analysis/analyze_file.h"
#include "tests/ui/queue_test_support.h"
#include "tests/support/files.h"
#include "text/utf8.h"
#include "ui/analysis_queue.h"
#include "ui/queue_order.h"

namespace {

namespace fs = std::filesystem;
using kestrone_test::EventInbox;
using kestrone_test::RecordingView;
using orvel::testing::ScratchFolder;
using orvel::AnalysisQueue;
using orvel::Tone;
using orvel::CommandState;

// The real analysis, held at its first progress report until the test lets
// it go, so that a stop can be requested while a file is being analysed.
class GatedAnalysis {
public:
    // Where the first file is held: at its first progress report, or after
    // its analysis has returned (so a stop is next seen between files).
    enum class Hold { AtFirstStage, AfterFirstFile };

    explicit GatedAnalysis(Hold hold = Hold::AtFirstStage) : m_hold(hold) {}

    orvel::AnalyzeFunction function()
    {
        return [this](const fs::path& path, const std::atomic<bool>& stop, const orvel::ProgressCallback& progress) {
            bool first = true;
            const orvel::ProgressCallback gated = [&](const std::string& stage) {
                progress(stage);
                if (first && m_hold == Hold::AtFirstStage) {
                    first = false;
                    holdHere();
                }
            };
            orvel::FileReport report = orvel::analyzeFile(path, stop, gated);
            if (m_hold == Hold::AfterFirstFile) {
                holdHere();
            }
            return report;
        };
    }
    void waitUntilEntered()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return m_entered; });
    }
    void release()
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_released = true;
        m_changed.notify_all();
    }

private:
    void holdHere()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_entered = true;
        m_changed.notify_all();
        m_changed.wait(lock, [this] { return m_released; });
    }

    Hold m_hold;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_entered = false;
    bool m_released = false;
};

// The real analysis, remembering which paths it was given.
struct RecordingAnalysis {
    std::vector<fs::path> paths;
    orvel::AnalyzeFunction function()
    {
        return [this](const fs::path& path, const std::atomic<bool>& stop, const orvel::ProgressCallback& progress) {
            paths.push_back(path);
            return orvel::analyzeFile(path, stop, progress);
        };
    }
};

std::string numbered(const char* prefix, int i, const char* suffix)
{
    std::string name(prefix);
    name += std::to_string(i);
    name += suffix;
    return name;
}

class AnalysisQueueTest : public ::testing::Test {
protected:
    RecordingView view;
    EventInbox inbox;
    ScratchFolder temp;

    fs::path wide(const fs::path& p) const { return p; }

    void runToEnd(AnalysisQueue& queue)
    {
        ASSERT_TRUE(kestrone_test::pumpUntilFinished(inbox, queue));
        // The worker was joined when Finished was handled: anything it posted is here by now.
        EXPECT_EQ(inbox.pending(), 0u) << "the worker posted after its finished event";
    }
};

TEST_F(AnalysisQueueTest, QueuesAFileOnceWhateverFormOfItsPathIsGiven)
{
    const fs::path file = temp.touch("album/track.flac");
    const fs::path roundabout = temp.path() / "album" / "." / ".." / "album" / "track.flac";
    const fs::path doubled = fs::path(temp.path().string() + "//album//track.flac");
    AnalysisQueue queue(view, inbox);

    queue.addPaths({wide(file), wide(roundabout), wide(doubled)});
    queue.addPaths({wide(file)});

    ASSERT_EQ(queue.entries().size(), 1u);
    EXPECT_EQ(queue.entries()[0].path, wide(file.lexically_normal()));
    EXPECT_EQ(queue.entries()[0].state, orvel::EntryState::Queued);
    EXPECT_EQ(view.rows, 1);
    EXPECT_EQ(queue.statusText(), "1 file \u00B7 Ready to analyze");
}

TEST_F(AnalysisQueueTest, RelativePathsBecomeAbsoluteFromTheCurrentFolder)
{
    temp.touch("song.wav");
    const fs::path before = fs::current_path();
    fs::current_path(temp.path());
    AnalysisQueue queue(view, inbox);
    queue.addPaths({"song.wav", "./song.wav"});
    fs::current_path(before);

    ASSERT_EQ(queue.entries().size(), 1u);
    EXPECT_EQ(queue.entries()[0].path, wide(temp.path() / "song.wav"));
}

TEST_F(AnalysisQueueTest, PathsDifferingOnlyInCaseAreDifferentFilesHere)
{
    const fs::path lower = temp.touch("take.flac");
    const fs::path upper = temp.touch("TAKE.flac");
    AnalysisQueue queue(view, inbox);

    queue.addPaths({wide(lower), wide(upper), wide(temp.path() / "Take.flac")});

    ASSERT_EQ(queue.entries().size(), 2u);
    EXPECT_EQ(orvel::fileNameOf(queue.entries()[0].path), "take.flac");
    EXPECT_EQ(orvel::fileNameOf(queue.entries()[1].path), "TAKE.flac");
}

TEST_F(AnalysisQueueTest, StopsAtFiveThousandEntriesFromAFolderOfSixThousand)
{
    const fs::path folder = temp.path() / "many";
    fs::create_directories(folder);
    for (int i = 0; i < 6000; ++i) {
        temp.touch(fs::path("many") / numbered("f", i, ".flac"), "");
    }
    AnalysisQueue queue(view, inbox);

    queue.addPaths({wide(folder)});

    EXPECT_EQ(queue.entries().size(), 5000u);
    EXPECT_EQ(view.rows, 5000);
    EXPECT_EQ(queue.statusText(), "5000 files \u00B7 Queue limit reached");
    EXPECT_TRUE(view.errors.empty());
    EXPECT_EQ(queue.lastAdd().overLimit, 1000u);
    EXPECT_EQ(queue.noticeText(), "1000 files not queued: limit 5000");

    // Full is full: an explicit file is left out too, and said so.
    queue.addPaths({wide(temp.touch("extra.flac"))});
    EXPECT_EQ(queue.entries().size(), 5000u);
    EXPECT_EQ(queue.statusText(), "5000 files \u00B7 Queue limit reached");
    EXPECT_EQ(queue.noticeText(), "1 file not queued: limit 5000");
    // A file already queued is no loss.
    queue.addPaths({wide(folder / numbered("f", 0, ".flac"))});
    EXPECT_EQ(queue.noticeText(), "");
}

TEST_F(AnalysisQueueTest, FolderWalksDoNotFollowLinksButLinksGivenDirectlyAreFollowed)
{
    const fs::path outside = temp.path() / "outside";
    const fs::path outsideFile = temp.touch("outside/elsewhere.flac");
    temp.touch("outside/deep/more.mp3");
    const fs::path scanned = temp.path() / "scanned";
    const fs::path real = temp.touch("scanned/real.flac");
    fs::create_directory_symlink(outside, scanned / "linked-folder");
    fs::create_symlink(outsideFile, scanned / "linked-file.flac");

    AnalysisQueue queue(view, inbox);
    queue.addPaths({wide(scanned)});
    ASSERT_EQ(queue.entries().size(), 1u);
    EXPECT_EQ(queue.entries()[0].path, wide(real));

    // Given directly: a link to a folder is scanned, a link to a file is queued
    // under the link's own path.
    queue.addPaths({wide(scanned / "linked-folder"), wide(scanned / "linked-file.flac")});
    std::vector<fs::path> paths;
    for (const auto& entry : queue.entries()) {
        paths.push_back(entry.path);
    }
    EXPECT_EQ(paths, (std::vector<fs::path>{wide(real), wide(scanned / "linked-folder" / "deep" / "more.mp3"),
                                                wide(scanned / "linked-folder" / "elsewhere.flac"),
                                                wide(scanned / "linked-file.flac")}));
}

TEST_F(AnalysisQueueTest, WalkOrderIsNotAssumedButEveryNestedSupportedFileIsFound)
{
    temp.touch("tree/a.flac");
    temp.touch("tree/sub/b.WAV");
    temp.touch("tree/sub/deeper/c.aiff");
    temp.touch("tree/sub/deeper/d.m4a");
    temp.touch("tree/notes.txt");
    temp.touch("tree/.flac");
    temp.touch("tree/cover.jpg");
    AnalysisQueue queue(view, inbox);

    queue.addPaths({wide(temp.path() / "tree")});

    std::vector<std::string> names;
    for (const auto& entry : queue.entries()) {
        names.push_back(orvel::fileNameOf(entry.path));
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"a.flac", "b.WAV", "c.aiff", "d.m4a"}));
}

TEST_F(AnalysisQueueTest, UnsupportedFilesAreQueuedWhenChosenButSkippedInFolders)
{
    const fs::path notes = temp.touch("mixed/notes.txt");
    temp.touch("mixed/song.mp3");
    AnalysisQueue queue(view, inbox);

    queue.addPaths({wide(temp.path() / "mixed")});
    ASSERT_EQ(queue.entries().size(), 1u);
    EXPECT_EQ(orvel::fileNameOf(queue.entries()[0].path), "song.mp3");

    queue.addPaths({wide(notes)});
    ASSERT_EQ(queue.entries().size(), 2u);
    EXPECT_EQ(queue.entries()[1].path, wide(notes));
}

TEST_F(AnalysisQueueTest, SkipsMissingPathsAndNonRegularFilesSilently)
{
    AnalysisQueue queue(view, inbox);
    queue.addFile(wide(temp.path()));
    queue.addFile(wide(temp.path() / "missing.flac"));
    queue.addFile("/dev/null");
    queue.addPaths({wide(temp.path() / "missing.flac"), ""});

    EXPECT_TRUE(queue.entries().empty());
    EXPECT_TRUE(view.errors.empty());
    EXPECT_EQ(queue.statusText(), "0 files \u00B7 Ready to analyze");
    EXPECT_EQ(queue.selectedIndex(), -1);
}

TEST_F(AnalysisQueueTest, SelectsTheFirstRowOnceSomethingIsQueued)
{
    AnalysisQueue queue(view, inbox);
    queue.addPaths({wide(temp.touch("one.flac"))});
    EXPECT_EQ(queue.selectedIndex(), 0);
    EXPECT_EQ(view.selectedRow, 0);

    queue.setSelectedIndex(-1);
    view.selectedRow = -1;
    queue.addPaths({wide(temp.touch("two.flac"))});
    EXPECT_EQ(queue.selectedIndex(), 0) << "no row was selected, so the first one is";
    queue.setSelectedIndex(1);
    queue.addPaths({wide(temp.touch("three.flac"))});
    EXPECT_EQ(queue.selectedIndex(), 1) << "an existing selection stays";
}

TEST_F(AnalysisQueueTest, DetailsShowTheIntroductionThePathAndStateOrTheSummary)
{
    AnalysisQueue queue(view, inbox);
    const std::string intro = queue.detailsText();
    EXPECT_EQ(intro.substr(0, 61), "Add files or drop a folder above, then choose Analyze queue.\r");
    EXPECT_NE(intro.find("\r\nORIGIN \u00B7 lowpass cutoff and codec frame grids\r\n"), std::string::npos);
    EXPECT_NE(intro.find("\r\n\r\nBuilt in: FLAC / WAV / AIFF.\r\nFFmpeg decoder: M4A / ALAC / AAC / MP3 / WavPack"),
              std::string::npos);
    EXPECT_EQ(intro.find("Windows"), std::string::npos);
    EXPECT_EQ(intro.find('\n', 0), intro.find('\r', 0) + 1) << "CR LF line ends";

    const std::string flac = orvel::testing::testAudio("ui", "2ch-44100Hz-16bit-noise.flac");
    queue.addPaths({flac});
    EXPECT_EQ(queue.detailsText(), flac + "\r\n\r\nQueued");

    queue.startAnalysis();
    runToEnd(queue);
    const std::string summary = queue.detailsText();
    // The conclusion and why open the panel; the facts and the blocks follow.
    EXPECT_EQ(summary.rfind("CONCLUSION / No trace found\r\nNone of the checks found", 0), 0u) << summary;
    EXPECT_EQ(summary.substr(summary.find("\r\n\r\n") + 4).rfind("FLAC  \u00B7  44.100 kHz  \u00B7  16 bit  \u00B7  2 ch\r\nAnalyzed 3.00 s of 3.00 s\r\n\r\n"
                            "UPSCALING / No evidence\r\n",
                            0),
              0u)
        << summary;

    queue.setSelectedIndex(-1);
    EXPECT_EQ(queue.detailsText(), intro);
}

TEST_F(AnalysisQueueTest, RunOverRealFilesGivesCompleteAndErrorRows)
{
    AnalysisQueue queue(view, inbox);
    queue.addPaths({orvel::testing::testAudio("ui", "2ch-44100Hz-16bit-noise.flac"), orvel::testing::testAudio("ui", "2ch-48000Hz-16in24-padded.flac"),
                    orvel::testing::testAudio("ui", "not-audio.txt")});
    ASSERT_EQ(queue.entries().size(), 3u);
    EXPECT_EQ(queue.cellText(0, 1), "\u2014");
    EXPECT_EQ(queue.cellText(0, orvel::kStateColumn), "Queued");

    queue.startAnalysis();
    EXPECT_TRUE(queue.busy());
    EXPECT_EQ(view.progress, 0);
    runToEnd(queue);

    EXPECT_FALSE(queue.busy());
    const auto& entries = queue.entries();
    EXPECT_EQ(entries[0].state, orvel::EntryState::Complete);
    EXPECT_EQ(entries[1].state, orvel::EntryState::Complete);
    EXPECT_EQ(entries[2].state, orvel::EntryState::Error);
    EXPECT_EQ(queue.cellText(0, 2), "No evidence");
    EXPECT_EQ(queue.cellTone(0, 2), Tone::Accent);
    EXPECT_EQ(queue.cellText(1, 2), "Evidence found");
    EXPECT_EQ(queue.cellTone(1, 2), Tone::Evidence);
    // The conclusion comes first and takes its level's tone.
    EXPECT_EQ(queue.cellText(1, orvel::kConclusionColumn), "Padded from 16-bit, possibly resampled from 44.1 kHz");
    EXPECT_EQ(queue.cellTone(1, orvel::kConclusionColumn), Tone::Evidence);
    EXPECT_EQ(entries[1].result->upscaling.summary, "24-bit storage / 16-bit grid");
    EXPECT_EQ(entries[0].result->spectrumDb.size(), 2049u);

    // A failed file: its message, empty check cells, the error colour in STATE.
    const auto& failed = *entries[2].result;
    EXPECT_EQ(failed.file, orvel::testing::testAudio("ui", "not-audio.txt"));
    EXPECT_EQ(failed.error.rfind("Unsupported format", 0), 0u);
    EXPECT_TRUE(failed.spectrumDb.empty());
    EXPECT_EQ(queue.cellText(2, orvel::kConclusionColumn).rfind("Not analyzed: Unsupported format", 0), 0u);
    EXPECT_EQ(queue.cellTone(2, orvel::kConclusionColumn), Tone::Error);
    for (int column = orvel::kConclusionColumn + 1; column < orvel::kStateColumn; ++column) {
        EXPECT_EQ(queue.cellText(2, column), "");
        EXPECT_EQ(queue.cellTone(2, column), Tone::Secondary);
    }
    EXPECT_EQ(queue.cellText(2, orvel::kStateColumn), "Error");
    EXPECT_EQ(queue.cellTone(2, orvel::kStateColumn), Tone::Error);
    EXPECT_EQ(queue.cellTone(0, orvel::kStateColumn), Tone::Primary);
    EXPECT_EQ(queue.cellTone(0, 0), Tone::Primary);

    EXPECT_EQ(view.progress, 100);
    EXPECT_EQ(queue.statusText(), "3 files: 1 no trace \u00B7 1 padded from 16-bit \u00B7 1 not analyzed \u00B7 AAC-SIN is experimental");
}

TEST_F(AnalysisQueueTest, ProgressCountsEntriesWithAResultOverAllEntries)
{
    AnalysisQueue queue(view, inbox);
    for (int i = 0; i < 3; ++i) {
        queue.addFile(wide(temp.touch(numbered("p", i, ".flac"))));
    }
    auto record = std::make_unique<orvel::FileReport>();
    record->error = "broken";
    queue.onResult(1, std::move(record));
    EXPECT_EQ(view.progress, 33);
    EXPECT_EQ(queue.progressPercent(), 33);
    queue.onResult(0, std::make_unique<orvel::FileReport>());
    EXPECT_EQ(view.progress, 66);
    // Out-of-range indices change nothing.
    queue.onResult(7, std::make_unique<orvel::FileReport>());
    queue.onProgress(-1, "Decoding audio");
    EXPECT_EQ(view.progress, 66);
}

TEST_F(AnalysisQueueTest, ProgressMarksTheEntryAnalyzingAndNamesTheStage)
{
    AnalysisQueue queue(view, inbox);
    queue.addFile(wide(temp.touch("sub/stage.flac")));
    queue.onProgress(0, "Measuring frequency content");
    EXPECT_EQ(queue.entries()[0].state, orvel::EntryState::Analyzing);
    EXPECT_EQ(queue.cellText(0, orvel::kStateColumn), "Analyzing");
    EXPECT_EQ(queue.statusText(), "stage.flac \u00B7 Measuring frequency content");
    EXPECT_EQ(view.changedRows, std::vector<int>{0});
}

TEST_F(AnalysisQueueTest, VerdictColoursFollowTheStatusWords)
{
    AnalysisQueue queue(view, inbox);
    queue.addFile(wide(temp.touch("tones.flac")));
    const std::vector<std::pair<orvel::Verdict, orvel::Tone>> cases{
        {orvel::Verdict::EvidenceFound, orvel::Tone::Evidence}, {orvel::Verdict::Possible, orvel::Tone::Evidence},
        {orvel::Verdict::NoEvidence, orvel::Tone::Accent},      {orvel::Verdict::Inconclusive, orvel::Tone::Secondary},
        {orvel::Verdict::NotApplicable, orvel::Tone::Secondary}, {orvel::Verdict::None, orvel::Tone::Secondary}};
    for (const auto& [status, tone] : cases) {
        auto record = std::make_unique<orvel::FileReport>();
        record->upscaling.status = status;
        record->upsampling.status = status;
        record->aacSin.status = status;
        record->origin.status = status;
        queue.onResult(0, std::move(record));
        for (int column = orvel::kConclusionColumn + 1; column < orvel::kStateColumn; ++column) {
            EXPECT_EQ(queue.cellTone(0, column), tone) << status;
            EXPECT_EQ(queue.cellText(0, column), orvel::verdictText(status));
        }
        EXPECT_EQ(queue.cellTone(0, orvel::kStateColumn), Tone::Primary);
    }
}

TEST_F(AnalysisQueueTest, AnalyzeAgainRunsOnlyFailedAndStoppedEntries)
{
    RecordingAnalysis analysis;
    AnalysisQueue queue(view, inbox, analysis.function());
    const fs::path good = orvel::testing::testAudio("ui", "2ch-44100Hz-16bit-noise.flac");
    const fs::path bad = orvel::testing::testAudio("ui", "not-audio.txt");
    queue.addPaths({good, bad});
    queue.startAnalysis();
    runToEnd(queue);
    ASSERT_EQ(analysis.paths, (std::vector<fs::path>{good, bad}));
    const orvel::FileReport* kept = queue.entries()[0].result.get();
    const orvel::FileReport* replaced = queue.entries()[1].result.get();

    const std::string added = orvel::testing::testAudio("ui", "2ch-44100Hz-128k.mp3");
    queue.addPaths({added});
    analysis.paths.clear();
    queue.startAnalysis();
    runToEnd(queue);

    EXPECT_EQ(analysis.paths, (std::vector<fs::path>{bad, added}));
    EXPECT_EQ(queue.entries()[0].result.get(), kept) << "a complete entry keeps its result";
    EXPECT_NE(queue.entries()[1].result.get(), replaced);
    EXPECT_EQ(queue.entries()[2].state, orvel::EntryState::Complete);
    EXPECT_EQ(queue.statusText(), "3 files: 1 no trace \u00B7 1 lossy file (1 MP3) \u00B7 1 not analyzed \u00B7 AAC-SIN is experimental");

    // Nothing pending: Analyze does nothing at all.
    queue.clear();
    queue.addPaths({good});
    queue.startAnalysis();
    runToEnd(queue);
    analysis.paths.clear();
    queue.startAnalysis();
    EXPECT_FALSE(queue.busy());
    EXPECT_TRUE(analysis.paths.empty());
}

TEST_F(AnalysisQueueTest, CommandsFollowTheStateOfTheQueue)
{
    GatedAnalysis gate;
    AnalysisQueue queue(view, inbox, gate.function());
    const CommandState empty{true, true, false, false, false, false, true};
    queue.updateCommands();
    EXPECT_EQ(view.commands, empty);

    queue.addPaths({orvel::testing::testAudio("ui", "2ch-44100Hz-16bit-noise.flac"), orvel::testing::testAudio("ui", "not-audio.txt")});
    EXPECT_EQ(view.commands, (CommandState{true, true, true, false, true, false, true}));

    queue.startAnalysis();
    EXPECT_EQ(view.commands, (CommandState{false, false, false, true, false, false, true}));
    gate.waitUntilEntered();
    gate.release();
    runToEnd(queue);
    // One failed entry stays pending; both have results to export.
    EXPECT_EQ(view.commands, (CommandState{true, true, true, false, true, true, true}));

    queue.clear();
    EXPECT_EQ(view.commands, empty);
    queue.addPaths({orvel::testing::testAudio("ui", "2ch-44100Hz-16bit-noise.flac")});
    queue.startAnalysis();
    runToEnd(queue);
    EXPECT_EQ(view.commands, (CommandState{true, true, false, false, true, true, true}))
        << "all complete: nothing to analyze";
}

TEST_F(AnalysisQueueTest, StopDuringARunLeavesTheFileStoppedAndTheRestQueued)
{
    GatedAnalysis gate;
    AnalysisQueue queue(view, inbox, gate.function());
    queue.addPaths({orvel::testing::testAudio("ui", "2ch-44100Hz-16bit-noise.flac"), orvel::testing::testAudio("ui", "2ch-44100Hz-128k.mp3")});
    queue.startAnalysis();
    gate.waitUntilEntered();

    queue.requestStop();
    EXPECT_TRUE(queue.stopRequested());
    EXPECT_EQ(queue.statusText(), "Stopping analysis\u2026");
    gate.release();
    runToEnd(queue);

    EXPECT_FALSE(queue.busy());
    EXPECT_EQ(queue.entries()[0].state, orvel::EntryState::Stopped);
    EXPECT_EQ(queue.entries()[0].result, nullptr);
    EXPECT_EQ(queue.entries()[1].state, orvel::EntryState::Queued);
    EXPECT_EQ(queue.cellText(0, orvel::kStateColumn), "Stopped");
    EXPECT_EQ(queue.statusText(), "2 files: 2 not analyzed \u00B7 Stopped");
    EXPECT_EQ(view.commands, (CommandState{true, true, true, false, true, false, true}));

    // The next run picks up both, and a fresh run clears the stop.
    queue.startAnalysis();
    runToEnd(queue);
    EXPECT_EQ(queue.entries()[0].state, orvel::EntryState::Complete);
    EXPECT_EQ(queue.entries()[1].state, orvel::EntryState::Complete);
    EXPECT_EQ(queue.statusText(), "2 files: 1 no trace \u00B7 1 lossy file (1 MP3) \u00B7 AAC-SIN is experimental");
}

TEST_F(AnalysisQueueTest, CloseDuringARunIsRefusedUntilTheRunHasEnded)
{
    GatedAnalysis gate;
    AnalysisQueue queue(view, inbox, gate.function());
    queue.addPaths({orvel::testing::testAudio("ui", "2ch-44100Hz-16bit-noise.flac")});
    EXPECT_TRUE(queue.requestClose()) << "nothing running";
    queue.startAnalysis();
    gate.waitUntilEntered();

    EXPECT_FALSE(queue.requestClose());
    EXPECT_TRUE(queue.stopRequested());
    EXPECT_EQ(queue.statusText(), "Stopping safely\u2026 The window closes when analysis has stopped.");
    EXPECT_FALSE(queue.requestClose()) << "still running";
    EXPECT_EQ(view.closes, 0);
    gate.release();
    runToEnd(queue);

    EXPECT_EQ(view.closes, 1) << "the window is told to close once the run has stopped";
    EXPECT_TRUE(queue.requestClose());
    EXPECT_EQ(queue.statusText(), "1 file: 1 not analyzed \u00B7 Stopped");
}

TEST_F(AnalysisQueueTest, AStopSeenBetweenFilesEndsTheRunWithOneFinishedEvent)
{
    GatedAnalysis gate(GatedAnalysis::Hold::AfterFirstFile);
    AnalysisQueue queue(view, inbox, gate.function());
    queue.addPaths({orvel::testing::testAudio("ui", "2ch-44100Hz-16bit-noise.flac"), orvel::testing::testAudio("ui", "2ch-44100Hz-128k.mp3")});
    queue.startAnalysis();
    gate.waitUntilEntered();
    queue.requestStop();
    gate.release();
    runToEnd(queue);

    EXPECT_EQ(queue.entries()[0].state, orvel::EntryState::Complete) << "the file finished before the stop keeps its result";
    EXPECT_EQ(queue.entries()[1].state, orvel::EntryState::Queued);
    EXPECT_EQ(queue.statusText(), "2 files: 1 no trace \u00B7 1 not analyzed \u00B7 Stopped");
    // A second finished event would find no joinable worker and a queue no longer busy.
    EXPECT_FALSE(queue.busy());
}

TEST_F(AnalysisQueueTest, StopBeforeTheWorkerStartsStillFinishesExactlyOnce)
{
    AnalysisQueue queue(view, inbox);
    queue.addPaths({orvel::testing::testAudio("ui", "2ch-44100Hz-16bit-noise.flac"), orvel::testing::testAudio("ui", "2ch-48000Hz-16in24-padded.flac")});
    queue.startAnalysis();
    queue.requestStop();
    runToEnd(queue);
    EXPECT_FALSE(queue.busy());
    EXPECT_NE(queue.statusText().find(" not analyzed \u00B7 Stopped"), std::string::npos);
}

TEST_F(AnalysisQueueTest, ClearEmptiesTheQueueButNotDuringARun)
{
    GatedAnalysis gate;
    AnalysisQueue queue(view, inbox, gate.function());
    queue.addPaths({orvel::testing::testAudio("ui", "2ch-44100Hz-16bit-noise.flac")});
    queue.startAnalysis();
    gate.waitUntilEntered();
    queue.clear();
    queue.addPaths({orvel::testing::testAudio("ui", "2ch-44100Hz-128k.mp3")});
    EXPECT_EQ(queue.entries().size(), 1u) << "clear and add are ignored while busy";
    gate.release();
    runToEnd(queue);

    queue.clear();
    EXPECT_TRUE(queue.entries().empty());
    EXPECT_EQ(view.rows, 0);
    EXPECT_EQ(queue.selectedIndex(), -1);
    EXPECT_EQ(view.progress, 0);
    EXPECT_EQ(queue.statusText(), "Ready");
    EXPECT_EQ(queue.detailsText(), orvel::kIntroductionText);

    // Cleared keys: the same file can be queued again.
    queue.addPaths({orvel::testing::testAudio("ui", "2ch-44100Hz-16bit-noise.flac")});
    EXPECT_EQ(queue.entries().size(), 1u);
}

TEST_F(AnalysisQueueTest, ExportRecordsAreCopiesOfResultsInQueueOrder)
{
    AnalysisQueue queue(view, inbox);
    std::vector<fs::path> files;
    for (const char* name : {"a.flac", "b.flac", "c.flac", "d.flac", "e.flac"}) {
        files.push_back(temp.touch(name));
        queue.addFile(wide(files.back()));
    }
    auto complete = [](const std::string& file) {
        auto r = std::make_unique<orvel::FileReport>();
        r->file = file;
        r->codec = "FLAC";
        return r;
    };
    queue.onResult(3, complete("d"));
    auto failed = std::make_unique<orvel::FileReport>();
    failed->file = "b";
    failed->error = "broken";
    queue.onResult(1, std::move(failed));
    queue.onResult(0, complete("a"));

    const std::vector<orvel::FileReport> records = queue.exportRecords();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].file, "a");
    EXPECT_EQ(records[1].file, "b");
    EXPECT_EQ(records[1].error, "broken");
    EXPECT_EQ(records[2].file, "d");
}

TEST_F(AnalysisQueueTest, PathsThatCannotBeQueuedAreNamedInTheNotice)
{
    const fs::path good = temp.touch("good.flac");
    const fs::path missing = temp.path() / "gone.flac";
    AnalysisQueue queue(view, inbox);

    queue.addPaths({missing, good});
    ASSERT_EQ(queue.entries().size(), 1u);
    ASSERT_EQ(queue.lastAdd().failed.size(), 1u);
    EXPECT_EQ(queue.lastAdd().failed[0].first, missing);
    EXPECT_EQ(queue.noticeText(),
              "1 path not queued: " + missing.string() + ": Cannot read this path: No such file or directory.");
    EXPECT_EQ(queue.statusText(), "1 file \u00B7 Ready to analyze");

    queue.addPaths({missing, temp.path() / "also-gone"});
    EXPECT_EQ(queue.noticeText(), "2 paths not queued: " + missing.string() +
                                      ": Cannot read this path: No such file or directory. (and 1 more)");
    queue.addPaths({temp.touch("fine.flac")});
    EXPECT_EQ(queue.noticeText(), "") << "a clean add clears the notice";
}

TEST_F(AnalysisQueueTest, PathsGivenDuringARunAreRefusedAndSaidSo)
{
    GatedAnalysis gate;
    AnalysisQueue queue(view, inbox, gate.function());
    queue.addPaths({orvel::testing::testAudio("ui", "2ch-44100Hz-16bit-noise.flac")});
    queue.startAnalysis();
    gate.waitUntilEntered();

    queue.addPaths({orvel::testing::testAudio("ui", "2ch-44100Hz-128k.mp3"), orvel::testing::testAudio("ui", "not-audio.txt")});
    EXPECT_EQ(queue.entries().size(), 1u);
    EXPECT_EQ(queue.lastAdd().refused, 2u);
    EXPECT_EQ(queue.noticeText(), "2 items not queued: analysis is running; add again when it has stopped");

    // A stop's text is not overwritten by the stages still reported.
    queue.requestStop();
    queue.onProgress(0, "Measuring");
    EXPECT_EQ(queue.statusText(), "Stopping analysis\u2026");
    gate.release();
    runToEnd(queue);

    queue.addPaths({orvel::testing::testAudio("ui", "2ch-44100Hz-128k.mp3")});
    EXPECT_EQ(queue.entries().size(), 2u) << "after the run the same add goes through";
    EXPECT_EQ(queue.noticeText(), "");
}

TEST_F(AnalysisQueueTest, RemovedEntriesLeaveTheQueueAndTheSelectionMovesOn)
{
    const fs::path a = temp.touch("a.flac");
    const fs::path b = temp.touch("b.flac");
    const fs::path c = temp.touch("c.flac");
    AnalysisQueue queue(view, inbox);
    queue.addPaths({a, b, c});
    queue.setSelectedIndex(1);

    queue.removeEntries({1, 7});
    ASSERT_EQ(queue.entries().size(), 2u);
    EXPECT_EQ(queue.entries()[0].path, a);
    EXPECT_EQ(queue.entries()[1].path, c);
    EXPECT_EQ(view.rows, 2) << "the rows were announced again";
    EXPECT_EQ(queue.selectedIndex(), 1);
    EXPECT_EQ(view.selectedRow, 1);
    EXPECT_EQ(queue.statusText(), "2 files \u00B7 1 file removed");

    queue.removeEntries({1});
    EXPECT_EQ(queue.selectedIndex(), 0) << "the last row gone: the one before it";
    queue.addPaths({b, c});
    EXPECT_EQ(queue.entries().size(), 3u) << "removed files can be queued again";
    queue.removeEntries({0, 1, 2});
    EXPECT_TRUE(queue.entries().empty());
    EXPECT_EQ(queue.selectedIndex(), -1);
    EXPECT_EQ(queue.statusText(), "Ready");
}

TEST_F(AnalysisQueueTest, ReanalysingRunsTheChosenEntriesAloneAndNotDuringARun)
{
    RecordingAnalysis analysis;
    AnalysisQueue queue(view, inbox, analysis.function());
    const fs::path first = orvel::testing::testAudio("ui", "2ch-44100Hz-16bit-noise.flac");
    const fs::path second = orvel::testing::testAudio("ui", "2ch-44100Hz-128k.mp3");
    queue.addPaths({first, second});
    queue.startAnalysis();
    runToEnd(queue);
    const orvel::FileReport* kept = queue.entries()[0].result.get();
    analysis.paths.clear();

    queue.reanalyze({1});
    EXPECT_TRUE(queue.busy());
    EXPECT_EQ(queue.entries()[1].result, nullptr) << "the old result is gone at once";
    EXPECT_EQ(queue.entries()[1].state, orvel::EntryState::Queued);
    queue.reanalyze({0});
    queue.removeEntries({0});
    EXPECT_EQ(queue.entries().size(), 2u) << "no removal during a run";
    runToEnd(queue);
    EXPECT_EQ(analysis.paths, std::vector<fs::path>{second});
    EXPECT_EQ(queue.entries()[0].result.get(), kept);
    ASSERT_NE(queue.entries()[1].result, nullptr);
    EXPECT_EQ(queue.entries()[1].state, orvel::EntryState::Complete);
}

TEST_F(AnalysisQueueTest, DetailsAndProgressFollowTheRowState)
{
    AnalysisQueue queue(view, inbox);
    const fs::path file = temp.touch("one.flac");
    queue.addPaths({file, temp.touch("two.flac")});
    ASSERT_EQ(queue.selectedIndex(), 0);
    const int refreshes = view.detailsRefreshes;
    queue.onProgress(0, "Decoding audio");
    EXPECT_EQ(queue.detailsText(), file.string() + "\r\n\r\nAnalyzing");
    EXPECT_GT(view.detailsRefreshes, refreshes);

    queue.onResult(0, std::make_unique<orvel::FileReport>());
    queue.onResult(1, std::make_unique<orvel::FileReport>());
    EXPECT_EQ(view.progress, 100);
    queue.addPaths({temp.touch("three.flac"), temp.touch("four.flac")});
    EXPECT_EQ(view.progress, 50) << "new files count against the bar";
}

TEST_F(AnalysisQueueTest, DuringARunTheStatusCountsTheFilesAndTheTimeLeft)
{
    AnalysisQueue queue(view, inbox);
    queue.addPaths({orvel::testing::testAudio("ui", "2ch-44100Hz-16bit-noise.flac"),
                    orvel::testing::testAudio("ui", "2ch-48000Hz-16in24-padded.flac")});
    queue.startAnalysis();
    std::vector<std::string> seen;
    while (std::unique_ptr<orvel::WorkerEvent> event = inbox.take(std::chrono::seconds(120))) {
        const bool finished = event->kind == orvel::WorkerEvent::Kind::Finished;
        queue.handle(std::move(event));
        if (finished) {
            break;
        }
        seen.push_back(queue.statusText());
    }
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front().rfind("1 of 2 \u00B7 --:-- left \u00B7 2ch-44100Hz-16bit-noise.flac \u00B7 ", 0), 0u)
        << seen.front();
    const auto second = std::find_if(seen.begin(), seen.end(), [](const std::string& text) {
        return text.rfind("2 of 2 \u00B7 ", 0) == 0;
    });
    ASSERT_NE(second, seen.end());
    EXPECT_NE(second->find(" left \u00B7 2ch-48000Hz-16in24-padded.flac \u00B7 "), std::string::npos) << *second;
    EXPECT_EQ(second->find("--:--"), std::string::npos) << "the pace of the first file gives the time left";
    EXPECT_FALSE(queue.busy());
    EXPECT_EQ(queue.statusText().find(" of 2 \u00B7 "), std::string::npos) << "after the run, the counts";
}

} // namespace
