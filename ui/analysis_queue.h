// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_set>
#include <utility>
#include <vector>

#include "analysis/file_report.h"
#include "ui/analysis_worker.h"
#include "ui/queue_order.h"
#include "ui/queue_view.h"
#include "ui/worker_event.h"

namespace orvel {

// Where an entry stands; the list shows entryStateText.
enum class EntryState { Queued, Analyzing, Complete, Error, Stopped };

// "Queued", "Analyzing", "Complete", "Error", "Stopped".
[[nodiscard]] std::string_view entryStateText(EntryState state);

// What one addPaths call did with the paths it was given.
struct AddOutcome {
    std::size_t added = 0;
    std::size_t overLimit = 0;  // files left out because the queue was full
    std::size_t refused = 0;    // paths given during a run, none of them queued
    std::vector<std::pair<std::filesystem::path, std::string>> failed; // path, why
};

// "100 files not queued: limit 5000 · 1 path not queued: /x: Cannot read…";
// empty when everything given was queued.
[[nodiscard]] std::string notQueuedText(const AddOutcome& outcome);

struct QueueEntry {
    std::filesystem::path path;         // absolute, lexically normal
    std::unique_ptr<FileReport> result; // null until analysed
    EntryState state = EntryState::Queued;
};

// The analysis queue: its entries, the rules by which paths enter it, one
// background worker per run, and the status line. Platform-neutral: the window
// forwards user actions here and shows what the QueueView calls tell it.
// Everything except the worker runs on the thread that created the queue;
// worker events reach it through the sink and come back in through handle().
class AnalysisQueue {
public:
    static constexpr std::size_t kMaxEntries = 5000;

    // view and sink must outlive the queue; the destructor stops and joins the worker.
    // An empty analyze runs analyzePath; tests put their own.
    AnalysisQueue(QueueView& view, WorkerEventSink& sink, AnalyzeFunction analyze = {});
    ~AnalysisQueue();
    AnalysisQueue(const AnalysisQueue&) = delete;
    AnalysisQueue& operator=(const AnalysisQueue&) = delete;

    // Files are added as given (any extension), folders are walked for
    // supported files without following links inside them. Refused while
    // busy. What was not queued is told in noticeText and lastAdd.
    void addPaths(const std::vector<std::filesystem::path>& paths);
    // One regular file (or a link to one), under its own absolute path.
    void addFile(const std::filesystem::path& path);
    void startAnalysis();
    void requestStop();
    void clear();
    // Takes entries out of the queue (not during a run); the selection moves
    // to the entry that took the first removed one's place.
    void removeEntries(std::vector<int> indices);
    // Forgets the results of these entries and runs the analysis on them alone.
    void reanalyze(const std::vector<int>& indices);
    // True when the window may close now; during a run it asks the worker to
    // stop, and the view's closeWindow follows once it has.
    [[nodiscard]] bool requestClose();
    void updateCommands();

    // Dispatches a worker event to onResult, onProgress or onFinished.
    void handle(std::unique_ptr<WorkerEvent> event);
    void onResult(int index, std::unique_ptr<FileReport> record);
    void onProgress(int index, const std::string& stage);
    void onFinished();

    // The selection follows the list; -1 for none.
    void setSelectedIndex(int index);
    [[nodiscard]] int selectedIndex() const { return m_selectedIndex; }
    // The selected entry, or null.
    [[nodiscard]] const QueueEntry* selectedEntry() const;

    [[nodiscard]] const std::vector<QueueEntry>& entries() const { return m_entries; }
    [[nodiscard]] bool busy() const { return m_busy; }
    [[nodiscard]] bool stopRequested() const { return m_stopRequested.load(); }
    [[nodiscard]] const std::string& statusText() const { return m_statusText; }
    // What the last add or drop left out, shown beside the status; empty when nothing.
    [[nodiscard]] const std::string& noticeText() const { return m_noticeText; }
    [[nodiscard]] const AddOutcome& lastAdd() const { return m_lastAdd; }
    void setStatusText(std::string text);
    [[nodiscard]] int progressPercent() const { return m_progress; }
    [[nodiscard]] const CommandState& commands() const { return m_commands; }

    // What the details text shows: the summary of the selected result, the
    // path and state of an entry without one, or the introduction.
    [[nodiscard]] std::string detailsText() const;
    // Text and colour of a cell; columns FILE, CONCLUSION, one per kCheckColumns entry, STATE.
    [[nodiscard]] std::string cellText(int row, int column) const;
    [[nodiscard]] Tone cellTone(int row, int column) const;
    // Copies of every result, in queue order, for a report.
    [[nodiscard]] std::vector<FileReport> exportRecords() const;

private:
    // Adds a file, or counts it in m_lastAdd when the queue is full.
    void addFileImpl(const std::filesystem::path& path);
    void startJobs(const std::vector<int>& indices);
    void updateProgress();
    void refreshDetails();

    QueueView& m_view;
    WorkerEventSink& m_sink;
    AnalyzeFunction m_analyze;
    std::vector<QueueEntry> m_entries;
    std::unordered_set<std::string> m_keys; // native bytes of the entries' paths
    bool m_busy = false;
    bool m_appending = false; // inside addPaths: rows are announced once at its end
    std::atomic<bool> m_stopRequested{false};
    std::string m_statusText;
    std::string m_noticeText;
    AddOutcome m_lastAdd;
    bool m_closeWhenStopped = false;
    int m_selectedIndex = -1;
    int m_progress = 0;
    // The current run: its files, those done and when it began, for "n of N · time left".
    std::size_t m_runTotal = 0;
    std::size_t m_runDone = 0;
    std::chrono::steady_clock::time_point m_runStart;
    CommandState m_commands;
    std::thread m_worker; // the current or last run's; joined on finish and on destruction
};

// The introduction shown when no row is selected.
extern const char* const kIntroductionText;

// Final path component, as the list and the panel title show it.
[[nodiscard]] std::string fileNameOf(const std::filesystem::path& path);

} // namespace orvel
