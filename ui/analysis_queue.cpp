// SPDX-License-Identifier: MIT
#include "ui/analysis_queue.h"

#include <exception>
#include <filesystem>
#include <system_error>
#include <utility>

#include "batch/input_walker.h"
#include "report/summary_text.h"
#include "text/utf8.h"

namespace orvel {

const char* const kIntroductionText =
    "Add files or drop a folder above, then choose Analyze queue.\r\n\r\n"
    "Upscaling \u00B7 sample precision\r\n"
    "Upsampling \u00B7 spectral boundaries\r\n"
    "AAC-SIN \u00B7 experimental transform fingerprint\r\n\r\n"
    "Analyzes the first 30 seconds, with the actual duration shown per file. "
    "No evidence does not certify a lossless origin.\r\n\r\n"
    "Built in: FLAC / WAV / AIFF.\r\n"
    "FFmpeg decoder: M4A / ALAC / AAC / MP3.";

namespace {

constexpr std::string_view kDash = "\u2014";

bool hasSuccessfulResult(const QueueEntry& entry) { return entry.result && entry.result->error.empty(); }

// Pending: never analysed, or its last analysis failed.
bool isPending(const QueueEntry& entry) { return !hasSuccessfulResult(entry); }

} // namespace

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
    if (m_busy) {
        return;
    }
    const int first = static_cast<int>(m_entries.size());
    m_appending = true;
    for (const std::filesystem::path& path : paths) {
        try {
            // Paths that cannot be queued (missing, no regular file) are left out.
            walkInputs({path}, [this](BatchInput&& input) { return !input.error.empty() || addFileImpl(input.path); });
        } catch (const std::exception& e) {
            m_view.showAddPathError(sanitizeUtf8(e.what()));
        }
    }
    m_appending = false;
    const int count = static_cast<int>(m_entries.size()) - first;
    if (count > 0) {
        m_view.rowsAppended(first, count);
    }
    if (m_selectedIndex < 0 && !m_entries.empty()) {
        m_selectedIndex = 0;
        m_view.selectRow(0);
    }
    m_statusText = std::to_string(m_entries.size()) + " files \u00B7 " +
                   (m_entries.size() < kMaxEntries ? "Ready to analyze" : "Queue limit reached");
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

bool AnalysisQueue::addFileImpl(const std::filesystem::path& path)
{
    namespace fs = std::filesystem;
    if (m_entries.size() >= kMaxEntries) {
        return false;
    }
    if (path.empty()) {
        return true;
    }
    std::error_code ec;
    const fs::path absolute = fs::absolute(path, ec);
    if (ec) {
        return true;
    }
    fs::path normal = absolute.lexically_normal();
    if (!fs::is_regular_file(fs::status(normal, ec))) {
        return true;
    }
    if (m_keys.insert(normal.native()).second) {
        m_entries.push_back(QueueEntry{std::move(normal), nullptr, EntryState::Queued});
    }
    return m_entries.size() < kMaxEntries;
}

void AnalysisQueue::startAnalysis()
{
    if (m_busy) {
        return;
    }
    if (m_worker.joinable()) {
        m_worker.join();
    }
    std::vector<AnalysisJob> jobs;
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        if (isPending(m_entries[i])) {
            jobs.push_back(AnalysisJob{static_cast<int>(i), m_entries[i].path});
        }
    }
    if (jobs.empty()) {
        return;
    }
    m_busy = true;
    m_stopRequested.store(false);
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
    refreshDetails();
    updateCommands();
    m_view.repaintWindow();
}

bool AnalysisQueue::requestClose()
{
    if (!m_busy) {
        return true;
    }
    m_stopRequested.exchange(true);
    m_statusText = "Stopping safely\u2026 Close again when analysis has stopped.";
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
    entry.state = EntryState::Analyzing;
    m_view.rowChanged(index);
    m_statusText = fileNameOf(entry.path) + " \u00B7 " + stage;
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
    m_view.rowChanged(index);
    std::size_t withResult = 0;
    for (const QueueEntry& e : m_entries) {
        withResult += e.result ? 1 : 0;
    }
    const std::size_t total = m_entries.empty() ? 1 : m_entries.size();
    m_progress = static_cast<int>(withResult * 100 / total);
    m_view.progressChanged(m_progress);
    refreshDetails();
}

void AnalysisQueue::onFinished()
{
    if (m_worker.joinable()) {
        m_worker.join();
    }
    m_busy = false;
    std::size_t analyzed = 0;
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        QueueEntry& entry = m_entries[i];
        if (entry.state == EntryState::Analyzing) {
            entry.state = EntryState::Stopped;
            m_view.rowChanged(static_cast<int>(i));
        }
        analyzed += hasSuccessfulResult(entry) ? 1 : 0;
    }
    m_statusText = std::to_string(m_entries.size()) + " files \u00B7 " + std::to_string(analyzed) +
                   " analyzed \u00B7 " + (m_stopRequested.load() ? "Stopped" : "AAC-SIN is experimental");
    updateCommands();
    refreshDetails();
    m_view.repaintWindow();
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
        return buildSummaryText(*entry->result);
    }
    return displayName(entry->path) + "\r\n\r\n" + std::string(entryStateText(entry->state));
}

std::string AnalysisQueue::cellText(int row, int column) const
{
    if (row < 0 || static_cast<std::size_t>(row) >= m_entries.size()) {
        return {};
    }
    const QueueEntry& entry = m_entries[static_cast<std::size_t>(row)];
    switch (column) {
    case 0:
        return fileNameOf(entry.path);
    case 1:
        return std::string(entry.result ? verdictText(entry.result->upscaling.status) : kDash);
    case 2:
        return std::string(entry.result ? verdictText(entry.result->upsampling.status) : kDash);
    case 3:
        return std::string(entry.result ? verdictText(entry.result->aacSin.status) : kDash);
    case 4:
        return std::string(entryStateText(entry.state));
    default:
        return {};
    }
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
    const CheckResult* check = column == 1 ? &result.upscaling
                               : column == 2 ? &result.upsampling
                               : column == 3 ? &result.aacSin
                                             : nullptr;
    if (check) {
        return verdictTone(check->status);
    }
    if (column == 4 && !result.error.empty()) {
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
