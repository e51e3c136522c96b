// SPDX-License-Identifier: MIT
#include "scan/scan_run.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "analysis/analysis_settings.h"
#include "report/json_report.h"
#include "report/replacing_file_writer.h"
#include "report/text_report.h"
#include "report/utf8.h"
#include "scan/csv_report.h"
#include "scan/scan_inputs.h"
#include "scan/scan_pool.h"
#include "scan/scan_printer.h"

namespace orvel {
namespace {

namespace fs = std::filesystem;

struct ReportTarget {
    const std::optional<std::wstring>& target;
    std::function<std::string(const std::vector<FileReport>&)> build;
};

bool goesToStdout(const ScanOptions& options)
{
    for (const auto* target : {&options.jsonTarget, &options.textTarget, &options.csvTarget}) {
        if (*target && **target == L"-") {
            return true;
        }
    }
    return false;
}

fs::path normalAbsolute(const std::wstring& path)
{
    std::error_code ec;
    const fs::path absolute = fs::absolute(toFsPath(path), ec);
    return (ec ? toFsPath(path) : absolute).lexically_normal();
}

void refuseInputsAsTargets(const ScanOptions& options, const std::vector<ScanInput>& inputs)
{
    for (const auto* target : {&options.jsonTarget, &options.textTarget, &options.csvTarget}) {
        if (!*target || **target == L"-") {
            continue;
        }
        const std::wstring targetPath = fromFsPath(normalAbsolute(**target));
        for (const ScanInput& input : inputs) {
            if (input.path == targetPath) {
                throw UsageError("refusing to write a report over an input file: " + toUtf8(**target));
            }
        }
    }
}

void complain(ScanPrinter& printer, const std::string& message)
{
    printer.clearProgress();
    const std::string line = "kestrone-scan: " + message + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

// Every report file goes through ReplacingFileWriter, so a report that
// cannot be written leaves an existing file as it was.
bool writeReport(ScanPrinter& printer, const std::wstring& target, const std::string& bytes)
{
    if (target == L"-") {
        printer.writeStdout(bytes);
        return printer.stdoutOk();
    }
    ReplacingFileWriter out(toFsPath(target));
    if (!out.isOpen()) {
        complain(printer, toUtf8(target) + ": Cannot create the report file.");
        return false;
    }
    out.write(bytes);
    if (!out.commit()) {
        complain(printer, toUtf8(target) + ": Writing the report failed.");
        return false;
    }
    return true;
}

} // namespace

int runScan(const ScanOptions& options, std::atomic<bool>& stopRequested, const ScanTerminal& terminal)
{
    const std::vector<ScanInput> inputs = collectScanInputs(options.paths);
    refuseInputsAsTargets(options, inputs);

    ScanPrinter::Settings settings;
    settings.mode = goesToStdout(options) ? ScanPrinter::Mode::Quiet
                    : options.summary    ? ScanPrinter::Mode::Summary
                                         : ScanPrinter::Mode::Table;
    settings.colour = terminal.colour;
    settings.stdoutIsTerminal = terminal.stdoutIsTerminal;
    settings.progress = terminal.progress;
    ScanPrinter printer(inputs, settings);
    printer.printHeader();

    const ReportTarget reports[] = {
        {options.jsonTarget, [](const auto& records) { return buildJsonReport(records); }},
        {options.textTarget, [](const auto& records) { return buildTextReport(records); }},
        {options.csvTarget, [](const auto& records) { return buildCsvReport(records); }},
    };
    const unsigned cores = std::max(1u, terminal.defaultJobs);
    const unsigned jobs = options.jobs != 0 ? options.jobs : cores;
    // --jobs N is a budget of N threads: each file then runs on one. Without
    // it, cores that no file would keep busy (fewer files than cores) help
    // inside a file. Results do not depend on either count.
    const auto busy = static_cast<unsigned>(std::clamp<std::size_t>(inputs.size(), 1, jobs));
    setAnalysisThreads(options.jobs != 0 ? 1 : std::max(1u, cores / busy));
    std::vector<FileReport> complete;
    bool anyFailed = false;
    bool stdoutGone = false; // set when the run stopped because nothing could be delivered
    {
        // When stdout is gone and no report goes to a file, nothing more can
        // be delivered: the run stops as if interrupted.
        const bool anyReportFile = std::any_of(std::begin(reports), std::end(reports), [](const ReportTarget& report) {
            return report.target && *report.target != L"-";
        });
        ScanPool pool(inputs, jobs, stopRequested, options.jsonTarget.has_value());
        std::size_t nextToPrint = 0;
        std::vector<bool> taken(inputs.size(), false);
        const auto takeRecord = [&](std::size_t index) {
            FileReport& record = pool.record(index);
            printer.printRecord(inputs[index], record);
            anyFailed = anyFailed || !record.error.empty();
            taken[index] = true;
        };
        bool running = true;
        while (running) {
            if (!printer.stdoutOk() && !anyReportFile && !stdoutGone) {
                stdoutGone = true;
                stopRequested.store(true);
            }
            running = pool.waitForChange(std::chrono::milliseconds(100));
            bool printed = false;
            while (nextToPrint < inputs.size() && pool.hasRecord(nextToPrint)) {
                takeRecord(nextToPrint++);
                printed = true;
            }
            if (running) {
                const ScanPool::Progress progress = pool.progress();
                const std::wstring& current = inputs.empty() ? std::wstring() : inputs[progress.latestIndex].displayName;
                printer.showProgress(progress.finished, current, progress.latestStage, printed);
            }
        }
        // After a stop, files behind one that was cancelled may still be complete.
        for (std::size_t i = nextToPrint; i < inputs.size(); ++i) {
            if (pool.hasRecord(i)) {
                takeRecord(i);
            }
        }
        printer.clearProgress();
        for (std::size_t i = 0; i < inputs.size(); ++i) {
            if (taken[i]) {
                complete.push_back(std::move(pool.record(i)));
            }
        }
    }
    const bool interrupted = stopRequested.load() && !stdoutGone;
    printer.printClosingLine();
    if (interrupted) {
        complain(printer, "interrupted; " + std::to_string(complete.size()) + " of " + std::to_string(inputs.size()) +
                              " files complete");
    }

    bool reportFailed = false;
    for (const ReportTarget& report : reports) {
        if (report.target && !writeReport(printer, *report.target, report.build(complete))) {
            reportFailed = true;
        }
    }

    if (interrupted) {
        return kScanExitInterrupted;
    }
    if (reportFailed || !printer.stdoutOk()) {
        return kScanExitReportFailed;
    }
    return anyFailed ? kScanExitFileFailed : kScanExitOk;
}

} // namespace orvel
