// SPDX-License-Identifier: MIT
#include "scan/scan_run.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <utility>
#include <string>
#include <vector>

#include "batch/batch_runner.h"
#include "batch/input_walker.h"
#include "batch/output_target.h"
#include "batch/report_file.h"
#include "picture/file_picture.h"
#include "report/report_format.h"
#include "scan/scan_printer.h"
#include "text/utf8.h"

namespace orvel {
namespace {

namespace fs = std::filesystem;

// One report of the run: a file written while records arrive, or standard output.
struct ReportOutput {
    ReportFormat format;
    std::string target;
    std::unique_ptr<ReportFile> file; // null for "-"
    std::size_t count = 0;
};

std::vector<ReportOutput> reportOutputs(const ScanOptions& options)
{
    std::vector<ReportOutput> outputs;
    const std::pair<const std::optional<std::string>*, ReportFormat> wanted[] = {
        {&options.jsonTarget, ReportFormat::Json},
        {&options.textTarget, ReportFormat::Text},
        {&options.csvTarget, options.spectrogramFolder ? ReportFormat::CsvWithPictures : ReportFormat::Csv},
    };
    for (const auto& [target, format] : wanted) {
        if (*target) {
            outputs.push_back({format, **target, nullptr, 0});
        }
    }
    return outputs;
}

// Before anything is written: no report may land on an input or on audio.
void refuseInputsAsTargets(const std::vector<ReportOutput>& outputs, const std::vector<BatchInput>& inputs)
{
    std::vector<fs::path> inputPaths;
    inputPaths.reserve(inputs.size());
    for (const BatchInput& input : inputs) {
        inputPaths.push_back(input.path);
    }
    for (const ReportOutput& output : outputs) {
        if (output.target == "-") {
            continue;
        }
        const std::string refused = refusedOutputReason(fs::path(output.target), inputPaths);
        if (!refused.empty()) {
            throw UsageError(refused);
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

// Prints each record as it arrives, hands it to the reports and keeps the
// counts of the run.
class ScanObserver : public BatchObserver {
public:
    ScanObserver(const std::vector<BatchInput>& inputs, ScanPrinter& printer, std::vector<ReportOutput>& outputs,
                 std::atomic<bool>& stopRequested)
        : m_inputs(inputs), m_printer(printer), m_outputs(outputs), m_stopRequested(stopRequested)
    {
        m_anyReportFile = std::any_of(outputs.begin(), outputs.end(),
                                      [](const ReportOutput& output) { return output.target != "-"; });
    }

    void record(std::size_t index, FileReport&& record) override
    {
        m_printer.printRecord(m_inputs[index], record);
        if (!record.pictureError.empty()) {
            complain(m_printer, displayName(m_inputs[index].shown) + ": no picture: " + record.pictureError);
        }
        m_anyFailed = m_anyFailed || !record.error.empty() || !record.pictureError.empty();
        ++m_complete;
        for (ReportOutput& output : m_outputs) {
            if (output.file) {
                output.file->add(record);
            } else {
                std::string bytes;
                appendReportRecord(bytes, output.format, record, output.count);
                m_printer.writeStdout(bytes);
            }
            ++output.count;
        }
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
            const fs::path current = m_inputs.empty() ? fs::path() : m_inputs[progress.latestIndex].shown;
            m_printer.showProgress(progress.finished, current, progress.latestStage, delivered);
        }
    }

    [[nodiscard]] bool anyFailed() const { return m_anyFailed; }
    [[nodiscard]] bool stdoutGone() const { return m_stdoutGone; }
    [[nodiscard]] std::size_t complete() const { return m_complete; }

private:
    const std::vector<BatchInput>& m_inputs;
    ScanPrinter& m_printer;
    std::vector<ReportOutput>& m_outputs;
    std::atomic<bool>& m_stopRequested;
    bool m_anyReportFile = false;
    bool m_anyFailed = false;
    bool m_stdoutGone = false; // set when the run stopped because nothing could be delivered
    std::size_t m_complete = 0;
};

// Starts each report: a file beside its target, or the opening on stdout.
void startOutputs(std::vector<ReportOutput>& outputs, ScanPrinter& printer)
{
    for (ReportOutput& output : outputs) {
        if (output.target == "-") {
            printer.writeStdout(reportOpening(output.format));
        } else {
            output.file = std::make_unique<ReportFile>(fs::path(output.target), output.format);
        }
    }
}

// Completes each report; false when a report file could not be written.
bool finishOutputs(std::vector<ReportOutput>& outputs, ScanPrinter& printer)
{
    bool allWritten = true;
    for (ReportOutput& output : outputs) {
        if (!output.file) {
            printer.writeStdout(reportClosing(output.format));
            continue;
        }
        const std::string failure = output.file->finish();
        if (!failure.empty()) {
            complain(printer, failure); // it names the report file and the reason
            allWritten = false;
        }
    }
    return allWritten;
}

} // namespace

int runScan(const ScanOptions& options, std::atomic<bool>& stopRequested, const ScanTerminal& terminal)
{
    std::vector<fs::path> given(options.paths.begin(), options.paths.end());
    const std::vector<BatchInput> inputs = collectInputs(given);
    std::vector<ReportOutput> outputs = reportOutputs(options);
    refuseInputsAsTargets(outputs, inputs);
    std::optional<BatchPictures> pictures;
    if (options.spectrogramFolder) {
        try {
            pictures.emplace(fs::path(*options.spectrogramFolder), options.pictureSize, inputs, stopRequested);
        } catch (const std::runtime_error& failure) {
            throw UsageError(failure.what());
        }
    }

    const bool toStdout =
        std::any_of(outputs.begin(), outputs.end(), [](const ReportOutput& output) { return output.target == "-"; });
    ScanPrinter::Settings settings;
    settings.mode = toStdout ? ScanPrinter::Mode::Quiet : options.summary ? ScanPrinter::Mode::Summary
                                                                          : ScanPrinter::Mode::Table;
    settings.colour = terminal.colour;
    settings.stdoutIsTerminal = terminal.stdoutIsTerminal;
    settings.progress = terminal.progress;
    ScanPrinter printer(inputs, settings);
    printer.printHeader();

    startOutputs(outputs, printer);

    BatchSettings batch;
    const unsigned cores = std::max(1u, terminal.defaultJobs);
    batch.jobs = options.jobs != 0 ? options.jobs : cores;
    // --jobs N is a budget of N threads: each file then runs on one. Without
    // it, cores that no file would keep busy (fewer files than cores) help
    // inside a file. Results do not depend on either count.
    const auto busy = static_cast<unsigned>(std::clamp<std::size_t>(inputs.size(), 1, batch.jobs));
    batch.analysis.threads = options.jobs != 0 ? 1 : std::max(1u, cores / busy);
    batch.keepSpectrum = options.jsonTarget.has_value();

    if (pictures) {
        batch.withAudio = [&pictures, analysis = batch.analysis](std::size_t index, const DecodedAudio& audio,
                                                                 FileReport& record) {
            pictures->write(index, audio, record, analysis);
        };
    }

    ScanObserver observer(inputs, printer, outputs, stopRequested);
    runBatch(inputs, batch, stopRequested, observer);
    printer.clearProgress();

    const bool interrupted = stopRequested.load() && !observer.stdoutGone();
    printer.printClosingLine();
    if (interrupted) {
        complain(printer, "interrupted; " + std::to_string(observer.complete()) + " of " +
                              std::to_string(inputs.size()) + " files complete");
    }

    const bool reportFailed = !finishOutputs(outputs, printer);

    if (interrupted) {
        return kScanExitInterrupted;
    }
    if (reportFailed || !printer.stdoutOk()) {
        return kScanExitReportFailed;
    }
    return observer.anyFailed() ? kScanExitFileFailed : kScanExitOk;
}

} // namespace orvel
