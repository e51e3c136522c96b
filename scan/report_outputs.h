// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "analysis/file_report.h"
#include "batch/jsonl_file.h"
#include "batch/report_file.h"
#include "scan/scan_options.h"

namespace orvel {

class OutputGuard;
class ScanPrinter;

// The reports one kestrone-scan command line asks for, each written while
// records arrive: to a file (replaced only when complete) or to stdout.
class ReportOutputs {
public:
    explicit ReportOutputs(const ScanOptions& options);

    [[nodiscard]] bool anyToStdout() const;
    [[nodiscard]] bool anyToFile() const;
    [[nodiscard]] bool wantsSpectrum() const; // a JSON report, or JSON Lines with the spectrum
    [[nodiscard]] bool jsonlWantsSpectrum() const { return m_withSpectrum; }
    [[nodiscard]] bool onlyJson() const; // every report asked for is the JSON report
    [[nodiscard]] std::vector<std::string> fileTargets() const;
    // Makes every report file one of guard's outputs, before anything is
    // written; throws UsageError saying why when one may not be written.
    void claimTargets(OutputGuard& guard) const;

    // What JSON Lines records are stamped with: this build's analysis and the
    // whole run unless said otherwise before open().
    void setJsonlSource(int analysisVersion, JsonlShard shard);

    // Opens the files and writes the openings of the stdout reports.
    void open(ScanPrinter& printer);
    // index: the record's place in the whole input list (JSON Lines carry it).
    void add(const FileReport& record, std::size_t index, ScanPrinter& printer);
    // Closes every report; complain receives the message of each failure,
    // naming the report file and the system's reason.
    // False when a report failed.
    bool finish(ScanPrinter& printer, const std::function<void(const std::string&)>& complain);

private:
    struct Output {
        std::optional<ReportFormat> format; // empty: JSON Lines
        std::optional<ReportDocument> document; // a report on stdout
        std::string target;
        std::unique_ptr<ReportFile> file;
        std::unique_ptr<JsonlFile> jsonl;
    };
    std::vector<Output> m_outputs;
    bool m_noticesAsEvents = false;
    bool m_withSpectrum = false;
    int m_analysisVersion;
    JsonlShard m_shard;
    std::string m_buffer;
};

// For a signal handler that ends the process at once: says on fd which report
// files of the run were already put in place and which not, as a notice
// (a JSON event with --progress=jsonl). Async-signal-safe; says nothing when
// the run writes no report file.
void sayWhichReportsWereWritten(int fd) noexcept;

} // namespace orvel
