// SPDX-License-Identifier: MIT
#include "scan/scan_run.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "analysis/analysis_version.h"
#include "batch/batch_runner.h"
#include "batch/compact_inputs.h"
#include "batch/input_selection.h"
#include "batch/input_walker.h"
#include "batch/output_target.h"
#include "batch/result_cache.h"
#include "decode/cancellation.h"
#include "picture/file_picture.h"
#include "platform/file_system.h"
#include "report/json_report.h"
#include "report/picture_names.h"
#include "scan/report_outputs.h"
#include "scan/scan_printer.h"
#include "text/utf8.h"

namespace orvel {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Records wait in memory at most this long, or this many, before the cache
// writes them in one transaction.
constexpr auto kCacheCommitInterval = std::chrono::seconds(1);
constexpr std::size_t kCacheCommitRecords = 256;
constexpr auto kProgressEventInterval = std::chrono::milliseconds(500);

// The inputs that are one of the files (same device and inode, links
// followed) the run may write: only these can make the guard refuse an output,
// so a long list is not copied for it.
std::vector<fs::path> inputsAmong(const CompactInputs& inputs, const std::vector<fs::path>& outputs)
{
    std::vector<FileStatus> written;
    int error = 0;
    for (const fs::path& output : outputs) {
        FileStatus status;
        if (statusOf(output, status, error) && status.regular()) {
            written.push_back(status);
        }
    }
    std::vector<fs::path> found;
    for (std::size_t index = 0; !written.empty() && index < inputs.size(); ++index) {
        BatchInput input = inputs.at(index);
        FileStatus status;
        if (statusOf(input.path, status, error) &&
            std::any_of(written.begin(), written.end(), [&](const FileStatus& output) { return output.sameFile(status); })) {
            found.push_back(std::move(input.path));
        }
    }
    return found;
}

// Before anything is written: no report and no cache may land on an input,
// on audio or on each other. The cache file is returned.
std::optional<fs::path> guardOutputs(const ScanOptions& options, const ReportOutputs& outputs,
                                     const CompactInputs& inputs)
{
    const std::optional<fs::path> cache =
        options.cache ? std::optional(options.cache->empty() ? defaultCacheFile() : pathFromBytes(*options.cache))
                      : std::nullopt;
    if (outputs.fileTargets().empty() && !cache) {
        return cache;
    }
    const std::vector<std::string> files = outputs.fileTargets();
    std::vector<fs::path> targets(files.begin(), files.end());
    if (cache) {
        targets.push_back(*cache);
    }
    const std::vector<fs::path> inputPaths = inputsAmong(inputs, targets);
    OutputGuard guard;
    guard.protect(inputPaths);
    if (options.filesFrom && *options.filesFrom != "-") {
        guard.protect({pathFromBytes(*options.filesFrom)}, "list");
    }
    outputs.claimTargets(guard);
    if (cache) {
        if (const std::string refused = guard.claim(*cache, OutputKind::Cache, "the cache"); !refused.empty()) {
            throw UsageError(refused);
        }
    }
    return cache;
}

void complain(ScanPrinter& printer, const std::string& message)
{
    printer.clearProgress();
    const std::string line = noticeLine(message, printer.noticesAsEvents());
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

std::string secondsText(double seconds)
{
    std::array<char, 32> buffer{};
    const auto result =
        std::to_chars(buffer.data(), buffer.data() + buffer.size(), seconds, std::chars_format::fixed, 3);
    return std::string(buffer.data(), result.ptr);
}

// Machine-readable progress on stderr, one JSON object per line.
class ProgressEvents {
public:
    ProgressEvents(bool enabled, std::size_t total) : m_enabled(enabled), m_total(total), m_start(Clock::now())
    {
        emit("{\"event\":\"start\",\"total\":" + std::to_string(total) + "}");
    }

    void progress(std::size_t done, std::size_t cached, std::size_t failed, bool force)
    {
        const auto now = Clock::now();
        if (!m_enabled || (!force && now - m_last < kProgressEventInterval)) {
            return;
        }
        m_last = now;
        emit("{\"event\":\"progress\"" + counts(done, cached, failed, now) + "}");
    }

    void end(std::size_t done, std::size_t cached, std::size_t failed, bool interrupted, int exitCode)
    {
        emit("{\"event\":\"end\"" + counts(done, cached, failed, Clock::now()) +
             ",\"interrupted\":" + (interrupted ? "true" : "false") + ",\"exit_code\":" + std::to_string(exitCode) +
             "}");
    }

private:
    std::string counts(std::size_t done, std::size_t cached, std::size_t failed, Clock::time_point now) const
    {
        const double elapsed = std::chrono::duration<double>(now - m_start).count();
        const double rate = elapsed > 0.0 ? static_cast<double>(done) / elapsed : 0.0;
        std::string text = ",\"done\":" + std::to_string(done) + ",\"total\":" + std::to_string(m_total) +
                           ",\"cached\":" + std::to_string(cached) + ",\"failed\":" + std::to_string(failed) +
                           ",\"elapsed_s\":" + secondsText(elapsed) + ",\"files_per_s\":" + secondsText(rate) +
                           ",\"remaining_s\":";
        text += done > 0 && rate > 0.0 ? secondsText(static_cast<double>(m_total - std::min(done, m_total)) / rate)
                                       : std::string("null");
        return text;
    }

    void emit(const std::string& line) const
    {
        if (!m_enabled) {
            return;
        }
        std::fputs((line + "\n").c_str(), stderr);
        std::fflush(stderr);
    }

    bool m_enabled;
    std::size_t m_total;
    Clock::time_point m_start;
    Clock::time_point m_last{};
};

// Prints each record as it arrives, hands it to the reports and the cache,
// and keeps the counts of the run.
class ScanObserver : public BatchObserver {
public:
    // inputIndex: each input's place in the whole list; empty when it is its index.
    ScanObserver(const CompactInputs& inputs, const std::vector<std::size_t>& inputIndex,
                 ScanPrinter& printer, ReportOutputs& outputs, std::atomic<bool>& stopRequested, ResultCache* cache,
                 const std::atomic<std::size_t>& cacheHits, ProgressEvents& events)
        : m_inputs(inputs), m_inputIndex(inputIndex), m_printer(printer), m_outputs(outputs),
          m_stopRequested(stopRequested), m_cache(cache), m_cacheHits(cacheHits), m_events(events),
          m_anyReportFile(outputs.anyToFile()), m_lastCommit(Clock::now())
    {
    }

    void record(std::size_t index, FileReport&& record) override
    {
        const BatchInput input = m_inputs.at(index);
        m_printer.printRecord(input, record);
        if (!record.pictureError.empty()) {
            complain(m_printer, displayName(input.shown) + ": no picture: " + record.pictureError);
        }
        m_failed += record.error.empty() && record.pictureError.empty() ? 0 : 1;
        ++m_complete;
        m_outputs.add(record, m_inputIndex.empty() ? index : m_inputIndex[index], m_printer);
    }

    void tick(const BatchProgress& progress, bool delivered) override
    {
        // When stdout is gone and no report goes to a file, nothing more can
        // be delivered: the run stops as if interrupted.
        if (!m_printer.stdoutOk() && !m_anyReportFile && !m_stdoutGone) {
            m_stdoutGone = true;
            m_stopRequested.store(true);
        }
        if (progress.finished < m_inputs.size()) {
            const fs::path current = m_inputs.size() == 0 ? fs::path() : m_inputs.at(progress.latestIndex).shown;
            m_printer.showProgress(progress.finished, current, progress.latestStage, delivered);
        }
        m_events.progress(m_complete, m_cacheHits.load(), m_failed, false);
        if (m_cache != nullptr &&
            (m_cache->queued() >= kCacheCommitRecords || Clock::now() - m_lastCommit >= kCacheCommitInterval)) {
            m_cache->commit();
            m_lastCommit = Clock::now();
        }
    }

    [[nodiscard]] bool anyFailed() const { return m_failed > 0; }
    [[nodiscard]] std::size_t failed() const { return m_failed; }
    [[nodiscard]] bool stdoutGone() const { return m_stdoutGone; }
    [[nodiscard]] std::size_t complete() const { return m_complete; }

private:
    const CompactInputs& m_inputs;
    const std::vector<std::size_t>& m_inputIndex;
    ScanPrinter& m_printer;
    ReportOutputs& m_outputs;
    std::atomic<bool>& m_stopRequested;
    ResultCache* m_cache;
    const std::atomic<std::size_t>& m_cacheHits;
    ProgressEvents& m_events;
    bool m_anyReportFile = false;
    bool m_stdoutGone = false; // set when the run stopped because nothing could be delivered
    std::size_t m_complete = 0;
    std::size_t m_failed = 0;
    Clock::time_point m_lastCommit;
};

// --cache-prune; false when the cache could not be pruned.
bool pruneCache(ResultCache& cache, ScanPrinter& printer)
{
    try {
        const std::size_t removed = cache.prune();
        complain(printer, "the cache " + displayName(cache.file()) + ": " + std::to_string(removed) +
                              (removed == 1 ? " record" : " records") + " of files gone or changed removed");
        return true;
    } catch (const CacheError& error) {
        complain(printer, error.what());
        return false;
    }
}

ScanPrinter::Settings printerSettings(const ScanOptions& options, const ScanTerminal& terminal, bool toStdout)
{
    ScanPrinter::Settings settings;
    settings.mode = toStdout ? ScanPrinter::Mode::Quiet : options.summary ? ScanPrinter::Mode::Summary
                                                                          : ScanPrinter::Mode::Table;
    settings.colour = terminal.colour;
    settings.stdoutIsTerminal = terminal.stdoutIsTerminal;
    settings.progress = terminal.progress && options.progress == ProgressMode::Auto;
    settings.noticesAsEvents = options.progress == ProgressMode::Jsonl;
    settings.checks = options.checks;
    settings.onlyFindings = options.onlyFindings;
    settings.columns = terminal.columns;
    return settings;
}

} // namespace

std::string noticeLine(const std::string& message, bool asEvent)
{
    if (asEvent) {
        return "{\"event\":\"notice\",\"message\":" + jsonQuote(sanitizeUtf8(message)) + "}\n";
    }
    return "kestrone-scan: " + message + "\n";
}

int runScan(const ScanOptions& options, std::atomic<bool>& stopRequested, const ScanTerminal& terminal)
{
    // A folder opens like a file and fails only on reading, where the reason is lost.
    if (std::error_code ignored; options.filesFrom && *options.filesFrom != "-" &&
                                 fs::is_directory(pathFromBytes(*options.filesFrom), ignored)) {
        std::fputs(noticeLine("cannot read the list " + displayName(pathFromBytes(*options.filesFrom)) + ": " +
                                  std::strerror(EISDIR),
                              options.progress == ProgressMode::Jsonl)
                       .c_str(),
                   stderr);
        return kScanExitBadInput;
    }

    // Every input is walked, so each keeps its place in the whole list; a
    // shard then keeps its own part. A listed path is walked as soon as it is
    // read: the list itself is never held.
    CompactInputs inputs;
    std::vector<std::size_t> inputIndex;
    const Shard shard{options.shardIndex, options.shardCount};
    std::size_t walked = 0;
    std::size_t nameNeed = 0;
    PictureNames pictureNames;
    InputWalker walker([&](BatchInput&& input) {
        if (options.spectrogramFolder) {
            pictureNames.count(input.shown);
        }
        if (inShard(input, shard)) {
            nameNeed = std::max(nameNeed, ScanPrinter::nameNeedOf(input));
            inputs.add(input);
            if (shard.count > 1) {
                inputIndex.push_back(walked);
            }
        }
        ++walked;
        return true;
    });
    bool anyGiven = !options.paths.empty();
    for (const std::string& path : options.paths) {
        walker.add(pathFromBytes(path));
    }
    if (options.filesFrom) {
        // A failure of the walk is no failure to read the list: it passes on as it is.
        std::exception_ptr walkFailure;
        struct WalkFailed {};
        try {
            readPathList(pathFromBytes(*options.filesFrom), options.nulSeparated, stopRequested, [&](fs::path&& listed) {
                anyGiven = true;
                try {
                    walker.add(listed);
                } catch (...) {
                    walkFailure = std::current_exception();
                    throw WalkFailed{};
                }
            });
        } catch (const WalkFailed&) {
            std::rethrow_exception(walkFailure);
        } catch (const Cancelled&) {
            std::fputs("kestrone-scan: interrupted while reading the list of files\n", stderr);
            return kScanExitInterrupted;
        } catch (const std::runtime_error& error) {
            std::fputs(noticeLine(error.what(), options.progress == ProgressMode::Jsonl).c_str(), stderr);
            return kScanExitBadInput;
        }
    }
    const bool pruneOnly = !anyGiven && options.cachePrune;
    const bool nothingFound = walked == 0 && !pruneOnly;

    ReportOutputs outputs(options);
    outputs.setJsonlSource(kAnalysisVersion, {shard.index, shard.count, inputs.size()});
    const std::optional<fs::path> cacheFile = guardOutputs(options, outputs, inputs);
    ScanPrinter printer(inputs.size(), nameNeed, printerSettings(options, terminal, outputs.anyToStdout()));

    std::unique_ptr<ResultCache> cache;
    std::atomic<std::size_t> cacheHits{0};
    if (cacheFile) {
        std::vector<std::string> notices;
        try {
            cache = ResultCache::open(*cacheFile, kAnalysisVersion, notices);
        } catch (const CacheRefused& error) {
            throw UsageError(error.what());
        } catch (const CacheError& error) {
            notices.push_back(std::string(error.what()) + "; scanning without it");
        }
        for (const std::string& notice : notices) {
            complain(printer, notice);
        }
    }
    if (pruneOnly) {
        // --cache-prune alone: only the pruning.
        return cache && pruneCache(*cache, printer) ? kScanExitOk : kScanExitReportFailed;
    }

    const InputAt inputAt = [&inputs](std::size_t index) { return inputs.at(index); };
    std::optional<BatchPictures> pictures;
    if (options.spectrogramFolder) {
        try {
            pictures.emplace(pathFromBytes(*options.spectrogramFolder), options.pictureSize, inputs.size(), inputAt,
                             std::move(pictureNames), stopRequested);
        } catch (const std::runtime_error& failure) {
            throw UsageError(failure.what());
        }
    }

    printer.printHeader();
    outputs.open(printer);
    ProgressEvents events(options.progress == ProgressMode::Jsonl, inputs.size());

    BatchSettings batch;
    const unsigned cores = std::max(1u, terminal.defaultJobs);
    batch.jobs = options.jobs != 0 ? options.jobs : cores;
    // --jobs N is a budget of N threads: each file then runs on one. Without
    // it, cores that no file would keep busy (fewer files than cores) help
    // inside a file. Results do not depend on either count.
    const auto busy = static_cast<unsigned>(std::clamp<std::size_t>(inputs.size(), 1, batch.jobs));
    batch.analysis.threads = options.jobs != 0 ? 1 : std::max(1u, cores / busy);
    batch.keepSpectrum = outputs.wantsSpectrum();
    // ORIGIN is measured unless nothing of the run shows or keeps it: the JSON
    // report on stdout (no table then) with no cache and no pictures.
    batch.analysis.origin = !(outputs.onlyJson() && outputs.anyToStdout() && !cache && !pictures);
    if (cache) {
        batch.analyzeInput = cachedAnalysis(*cache, cacheHits, outputs.wantsSpectrum());
    }
    if (pictures || options.htmlPictures) {
        batch.withAudio = [&pictures, &stopRequested, thumbnails = options.htmlPictures, analysis = batch.analysis](
                              std::size_t index, const DecodedAudio& audio, FileReport& record) {
            if (pictures) {
                pictures->write(index, audio, record, analysis);
            }
            if (thumbnails && record.pictureError.empty()) {
                addThumbnail(audio, record, analysis, stopRequested);
            }
        };
    }

    ScanObserver observer(inputs, inputIndex, printer, outputs, stopRequested, cache.get(), cacheHits, events);
    runBatch(inputs.size(), inputAt, batch, stopRequested, observer);
    printer.clearProgress();
    if (cache) {
        const bool written = cache->commit();
        if (const std::string notice = cache->setAsideIfDamaged(); !notice.empty()) {
            complain(printer, notice);
        } else if (!written) {
            complain(printer, "the cache " + displayName(cache->file()) + " could not be written");
        } else if (options.cachePrune && !stopRequested.load()) {
            pruneCache(*cache, printer);
        }
    }

    const bool interrupted = stopRequested.load() && !observer.stdoutGone();
    printer.printClosingLine();
    if (interrupted) {
        complain(printer, "interrupted; " + std::to_string(observer.complete()) + " of " +
                              std::to_string(inputs.size()) + " files complete");
    }

    const bool reportsOk = outputs.finish(printer, [&](const std::string& message) { complain(printer, message); });
    // Empty folders or an empty list are most often a wrong path, not a clean library.
    if (nothingFound) {
        complain(printer, "no audio files found in the paths given");
    }

    int code = kScanExitOk;
    if (interrupted) {
        code = kScanExitInterrupted;
    } else if (!reportsOk || !printer.stdoutOk()) {
        code = kScanExitReportFailed;
    } else if (observer.anyFailed() || nothingFound) {
        code = kScanExitFileFailed;
    }
    events.progress(observer.complete(), cacheHits.load(), observer.failed(), true);
    events.end(observer.complete(), cacheHits.load(), observer.failed(), interrupted, code);
    return code;
}

} // namespace orvel
