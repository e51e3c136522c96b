// SPDX-License-Identifier: MIT
#include "ui/analysis_queue.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <system_error>
#include <utility>

#include "analysis/conclusion.h"
#include "batch/input_walker.h"
#include "report/summary_text.h"
#include "text/format_number.h"
#include "text/utf8.h"

namespace orvel {

const char* const kIntroductionText =
    "Add files or drop a folder above, then choose Analyze queue.\r\n\r\n"
    "Upscaling \u00B7 sample precision\r\n"
    "Upsampling \u00B7 spectral boundaries\r\n"
    "AAC-SIN \u00B7 experimental transform fingerprint\r\n"
    "ORIGIN \u00B7 lowpass cutoff and codec frame grids\r\n\r\n"
    "Analyzes the first 30 seconds, with the actual duration shown per file. "
    "No evidence does not certify a lossless origin.\r\n\r\n"
    "Built in: FLAC / WAV / AIFF.\r\n"
    "FFmpeg decoder: M4A / ALAC / AAC / MP3 / WavPack / APE / TTA / TAK / Ogg / Opus / WMA / MKA / CAF.";

namespace {

constexpr std::string_view kDash = "\u2014";

bool hasSuccessfulResult(const QueueEntry& entry) { return entry.result && entry.result->error.empty(); }

// Pending: never analysed, or its last analysis failed.
bool isPending(const QueueEntry& entry) { return !hasSuccessfulResult(entry); }

} // namespace

std::string notQueuedText(const AddOutcome& outcome)
{
    std::string text;
    const auto append = [&text](const std::string& part) { text += (text.empty() ? "" : " \u00B7 ") + part; };
    if (outcome.refused > 0) {
        append(countText(outcome.refused, "item") + " not queued: analysis is running; add again when it has stopped");
    }
    if (outcome.overLimit > 0) {
        append(countText(outcome.overLimit, "file") + " not queued: limit " + std::to_string(AnalysisQueue::kMaxEntries));
    }
    if (!outcome.failed.empty()) {
        const auto& [path, why] = outcome.failed.front();
        std::string part = countText(outcome.failed.size(), "path") + " not queued: " + displayName(path) + ": " + why;
        if (outcome.failed.size() > 1) {
            part += " (and " + std::to_string(outcome.failed.size() - 1) + " more)";
        }
        append(part);
    }
    return text;
}

std::string_view entryStateText(EntryState state)
{
    switch (state) {
    case EntryState::Queued: return "Queued";
    case EntryState::Analyzing: return "Analyzing";
    case EntryState::Complete: return "Complete";
    case EntryState::Error: return "Error";
    case EntryState::Stopped: return "Stopped";
    }
    return {};
}

std::string fileNameOf(const std::filesystem::path& path) { return displayName(path.filename()); }

AnalysisQueue::AnalysisQueue(QueueView& view, WorkerEventSink& sink, AnalyzeFunction analyze)
    : m_view(view), m_sink(sink), m_analyze(std::move(analyze)), m_statusText("Ready")
{
    m_commands = CommandState{true, true, false, false, false, false, true};
}

AnalysisQueue::~AnalysisQueue()
{
    // Normally the run is over before the window goes; if not, do not wait for
    // the whole job list.
    if (m_worker.joinable()) {
        m_stopRequested.exchange(true);
        m_worker.join();
    }
}

void AnalysisQueue::addPaths(const std::vector<std::filesystem::path>& paths)
{
    m_lastAdd = AddOutcome{};
    if (m_busy) {
        // The run's job list is fixed; the user is told to add them again afterwards.
        m_lastAdd.refused = paths.size();
        m_noticeText = notQueuedText(m_lastAdd);
        m_view.repaintWindow();
        return;
    }
    const int first = static_cast<int>(m_entries.size());
    m_appending = true;
    for (const std::filesystem::path& path : paths) {
        try {
            walkInputs({path}, [this](BatchInput&& input) {
                if (input.error.empty()) {
                    addFileImpl(input.path);
                } else {
                    m_lastAdd.failed.emplace_back(input.shown, input.error);
                }
                return true;
            });
        } catch (const std::exception& e) {
            m_view.showAddPathError(sanitizeUtf8(e.what()));
        }
    }
    m_appending = false;
    const int count = static_cast<int>(m_entries.size()) - first;
    m_lastAdd.added = static_cast<std::size_t>(count);
    if (count > 0) {
        m_view.rowsAppended(first, count);
    }
    if (m_selectedIndex < 0 && !m_entries.empty()) {
        m_selectedIndex = 0;
        m_view.selectRow(0);
    }
    m_statusText = countText(m_entries.size(), "file") + " \u00B7 " +
                   (m_entries.size() < kMaxEntries ? "Ready to analyze" : "Queue limit reached");
    m_noticeText = notQueuedText(m_lastAdd);
    updateProgress();
    updateCommands();
    refreshDetails();
    m_view.repaintWindow();
}

void AnalysisQueue::addFile(const std::filesystem::path& path)
{
    const int before = static_cast<int>(m_entries.size());
    addFileImpl(path);
    if (!m_appending && static_cast<int>(m_entries.size()) > before) {
        m_view.rowsAppended(before, 1);
    }
}

void AnalysisQueue::addFileImpl(const std::filesystem::path& path)
{
    namespace fs = std::filesystem;
    if (path.empty()) {
        return;
    }
    std::error_code ec;
    const fs::path absolute = fs::absolute(path, ec);
    if (ec) {
        return;
    }
    fs::path normal = absolute.lexically_normal();
    if (!fs::is_regular_file(fs::status(normal, ec))) {
        return;
    }
    if (m_keys.count(normal.native()) != 0) {
        return;
    }
    if (m_entries.size() >= kMaxEntries) {
        ++m_lastAdd.overLimit;
        return;
    }
    m_keys.insert(normal.native());
    m_entries.push_back(QueueEntry{std::move(normal), nullptr, EntryState::Queued});
}

void AnalysisQueue::startAnalysis()
{
    if (m_busy) {
        return;
    }
    std::vector<int> indices;
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        if (isPending(m_entries[i])) {
            indices.push_back(static_cast<int>(i));
        }
    }
    startJobs(indices);
}

void AnalysisQueue::reanalyze(const std::vector<int>& indices)
{
    if (m_busy) {
        return;
    }
    std::vector<int> valid;
    for (const int index : indices) {
        if (index >= 0 && static_cast<std::size_t>(index) < m_entries.size()) {
            QueueEntry& entry = m_entries[static_cast<std::size_t>(index)];
            entry.result.reset();
            entry.state = EntryState::Queued;
            m_view.rowChanged(index);
            valid.push_back(index);
        }
    }
    if (!valid.empty()) {
        refreshDetails();
        startJobs(valid);
    }
}

void AnalysisQueue::startJobs(const std::vector<int>& indices)
{
    if (m_worker.joinable()) {
        m_worker.join();
    }
    std::vector<AnalysisJob> jobs;
    for (const int index : indices) {
        jobs.push_back(AnalysisJob{index, m_entries[static_cast<std::size_t>(index)].path});
    }
    if (jobs.empty()) {
        return;
    }
    m_busy = true;
    m_runTotal = jobs.size();
    m_runDone = 0;
    m_runStart = std::chrono::steady_clock::now();
    m_stopRequested.store(false);
    m_noticeText.clear();
    updateCommands();
    m_progress = 0;
    m_view.progressChanged(m_progress);
    m_worker = std::thread(runAnalysisJobs, std::move(jobs), std::cref(m_stopRequested), std::ref(m_sink),
                           m_analyze);
}

void AnalysisQueue::requestStop()
{
    if (!m_busy) {
        return;
    }
    m_stopRequested.exchange(true);
    m_statusText = "Stopping analysis\u2026";
    m_view.repaintWindow();
}

void AnalysisQueue::clear()
{
    if (m_busy) {
        return;
    }
    m_selectedIndex = -1;
    m_view.rowsCleared();
    m_entries.clear();
    m_keys.clear();
    m_progress = 0;
    m_view.progressChanged(m_progress);
    m_statusText = "Ready";
    m_noticeText.clear();
    refreshDetails();
    updateCommands();
    m_view.repaintWindow();
}

void AnalysisQueue::removeEntries(std::vector<int> indices)
{
    if (m_busy) {
        return;
    }
    std::sort(indices.begin(), indices.end());
    indices.erase(std::unique(indices.begin(), indices.end()), indices.end());
    std::erase_if(indices, [this](int i) { return i < 0 || static_cast<std::size_t>(i) >= m_entries.size(); });
    if (indices.empty()) {
        return;
    }
    m_selectedIndex = -1;
    m_view.rowsCleared();
    for (auto it = indices.rbegin(); it != indices.rend(); ++it) {
        const auto at = m_entries.begin() + *it;
        m_keys.erase(at->path.native());
        m_entries.erase(at);
    }
    if (!m_entries.empty()) {
        m_view.rowsAppended(0, static_cast<int>(m_entries.size()));
        m_selectedIndex = std::min(indices.front(), static_cast<int>(m_entries.size()) - 1);
        m_view.selectRow(m_selectedIndex);
    }
    m_statusText = m_entries.empty() ? std::string("Ready") : countText(m_entries.size(), "file") + " \u00B7 " +
                                                                  countText(indices.size(), "file") + " removed";
    m_noticeText.clear();
    updateProgress();
    updateCommands();
    refreshDetails();
    m_view.repaintWindow();
}

bool AnalysisQueue::requestClose()
{
    if (!m_busy) {
        return true;
    }
    m_stopRequested.exchange(true);
    m_closeWhenStopped = true;
    m_statusText = "Stopping safely\u2026 The window closes when analysis has stopped.";
    m_view.repaintWindow();
    return false;
}

void AnalysisQueue::updateCommands()
{
    bool anyPending = false;
    bool anyResult = false;
    for (const QueueEntry& entry : m_entries) {
        anyPending = anyPending || isPending(entry);
        anyResult = anyResult || entry.result != nullptr;
    }
    m_commands.addFiles = !m_busy;
    m_commands.addFolder = !m_busy;
    m_commands.analyze = !m_busy && anyPending;
    m_commands.stop = m_busy;
    m_commands.clear = !m_busy && !m_entries.empty();
    m_commands.exportReport = !m_busy && anyResult;
    m_commands.about = true;
    m_view.commandsChanged(m_commands);
}

void AnalysisQueue::handle(std::unique_ptr<WorkerEvent> event)
{
    if (!event) {
        return;
    }
    switch (event->kind) {
    case WorkerEvent::Kind::ResultReady:
        onResult(event->index, std::move(event->record));
        break;
    case WorkerEvent::Kind::Progress:
        onProgress(event->index, event->stage);
        break;
    case WorkerEvent::Kind::Finished:
        onFinished();
        break;
    }
}

void AnalysisQueue::onProgress(int index, const std::string& stage)
{
    if (index < 0 || static_cast<std::size_t>(index) >= m_entries.size()) {
        return;
    }
    QueueEntry& entry = m_entries[static_cast<std::size_t>(index)];
    if (entry.state != EntryState::Analyzing) {
        entry.state = EntryState::Analyzing;
        m_view.rowChanged(index);
        if (index == m_selectedIndex) {
            refreshDetails();
        }
    }
    // While stopping, the stop's own text stays up.
    if (!m_stopRequested.load()) {
        m_statusText = fileNameOf(entry.path) + " \u00B7 " + stage;
        if (m_busy && m_runTotal > 0) {
            // Which file of the run this is and the time left at the pace so far, as kestrone-scan shows them.
            std::string left = "--:--";
            if (m_runDone > 0) {
                const auto elapsed = std::chrono::steady_clock::now() - m_runStart;
                left = clockText(std::chrono::duration_cast<std::chrono::seconds>(
                    elapsed * static_cast<double>(m_runTotal - std::min(m_runDone, m_runTotal)) /
                    static_cast<double>(m_runDone)));
            }
            m_statusText = std::to_string(std::min(m_runDone + 1, m_runTotal)) + " of " + std::to_string(m_runTotal) +
                           " \u00B7 " + left + " left \u00B7 " + m_statusText;
        }
    }
    m_view.repaintWindow();
}

void AnalysisQueue::onResult(int index, std::unique_ptr<FileReport> record)
{
    if (!record || index < 0 || static_cast<std::size_t>(index) >= m_entries.size()) {
        return;
    }
    QueueEntry& entry = m_entries[static_cast<std::size_t>(index)];
    entry.state = record->error.empty() ? EntryState::Complete : EntryState::Error;
    entry.result = std::move(record);
    m_runDone += m_busy ? 1 : 0;
    m_view.rowChanged(index);
    updateProgress();
    refreshDetails();
}

void AnalysisQueue::updateProgress()
{
    std::size_t withResult = 0;
    for (const QueueEntry& e : m_entries) {
        withResult += e.result ? 1 : 0;
    }
    const std::size_t total = m_entries.empty() ? 1 : m_entries.size();
    m_progress = static_cast<int>(withResult * 100 / total);
    m_view.progressChanged(m_progress);
}

void AnalysisQueue::onFinished()
{
    if (m_worker.joinable()) {
        m_worker.join();
    }
    m_busy = false;
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        QueueEntry& entry = m_entries[i];
        if (entry.state == EntryState::Analyzing) {
            entry.state = EntryState::Stopped;
            m_view.rowChanged(static_cast<int>(i));
        }
    }
    // The conclusions counted, not verdict words per check.
    const std::string counts = conclusionCountsText(m_entries);
    m_statusText = countText(m_entries.size(), "file") + (counts.empty() ? "" : ": " + counts) + " \u00B7 " +
                   (m_stopRequested.load() ? "Stopped" : "AAC-SIN is experimental");
    updateCommands();
    refreshDetails();
    m_view.repaintWindow();
    if (m_closeWhenStopped) {
        m_closeWhenStopped = false;
        m_view.closeWindow();
    }
}

void AnalysisQueue::setSelectedIndex(int index)
{
    if (index < 0 || static_cast<std::size_t>(index) >= m_entries.size()) {
        index = -1;
    }
    if (index == m_selectedIndex) {
        return;
    }
    m_selectedIndex = index;
    refreshDetails();
}

const QueueEntry* AnalysisQueue::selectedEntry() const
{
    if (m_selectedIndex < 0 || static_cast<std::size_t>(m_selectedIndex) >= m_entries.size()) {
        return nullptr;
    }
    return &m_entries[static_cast<std::size_t>(m_selectedIndex)];
}

void AnalysisQueue::setStatusText(std::string text)
{
    m_statusText = std::move(text);
    m_view.repaintWindow();
}

std::string AnalysisQueue::detailsText() const
{
    const QueueEntry* entry = selectedEntry();
    if (!entry) {
        return kIntroductionText;
    }
    if (entry->result) {
        return buildSummaryText(*entry->result, true);
    }
    return displayName(entry->path) + "\r\n\r\n" + std::string(entryStateText(entry->state));
}

std::string AnalysisQueue::cellText(int row, int column) const
{
    if (row < 0 || static_cast<std::size_t>(row) >= m_entries.size()) {
        return {};
    }
    const QueueEntry& entry = m_entries[static_cast<std::size_t>(row)];
    if (column == kFileColumn) {
        return fileNameOf(entry.path);
    }
    if (column == kStateColumn) {
        return std::string(entryStateText(entry.state));
    }
    if (column == kConclusionColumn) {
        return entry.result ? conclusionText(concludeFile(*entry.result)) : std::string(kDash);
    }
    if (const CheckColumn* check = checkColumnAt(column)) {
        return std::string(entry.result ? verdictText(((*entry.result).*(check->check)).status) : kDash);
    }
    return {};
}

Tone AnalysisQueue::cellTone(int row, int column) const
{
    if (row < 0 || static_cast<std::size_t>(row) >= m_entries.size()) {
        return Tone::Primary;
    }
    const QueueEntry& entry = m_entries[static_cast<std::size_t>(row)];
    if (!entry.result) {
        return Tone::Primary;
    }
    const FileReport& result = *entry.result;
    if (column == kConclusionColumn) {
        return conclusionTone(concludeFile(result).level);
    }
    if (const CheckColumn* check = checkColumnAt(column)) {
        return verdictTone((result.*(check->check)).status);
    }
    if (column == kStateColumn && !result.error.empty()) {
        return Tone::Error;
    }
    return Tone::Primary;
}

std::vector<FileReport> AnalysisQueue::exportRecords() const
{
    std::vector<FileReport> records;
    for (const QueueEntry& entry : m_entries) {
        if (entry.result) {
            records.push_back(*entry.result);
        }
    }
    return records;
}

void AnalysisQueue::refreshDetails() { m_view.detailsChanged(); }

} // namespace orvel
