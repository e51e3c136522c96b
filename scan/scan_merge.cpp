// SPDX-License-Identifier: MIT
// kestrone-scan --merge: the reports of one run rebuilt from the JSON Lines
// parts of its shards.
#include <cstdio>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "batch/output_target.h"
#include "report/jsonl_record.h"
#include "scan/report_outputs.h"
#include "scan/scan_printer.h"
#include "scan/scan_run.h"
#include "text/utf8.h"

namespace orvel {
namespace {

class MergeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One part, read a record at a time: parts are in input order, so the merge
// holds one record per part, whatever the number of files.
class PartReader {
public:
    explicit PartReader(const std::string& name) : m_name(name)
    {
        if (name == "-") {
            throw MergeError("a part cannot be standard input");
        }
        m_in.open(name, std::ios::binary);
        if (!m_in) {
            throw MergeError("cannot read the part " + displayBytes(name));
        }
        next();
    }

    [[nodiscard]] bool done() const { return !m_current.has_value(); }
    [[nodiscard]] JsonlRecord& current() { return *m_current; }

    void next()
    {
        const bool hadRecord = m_current.has_value();
        const std::size_t previous = hadRecord ? m_current->index : 0;
        m_current.reset();
        std::string line;
        while (std::getline(m_in, line)) {
            ++m_line;
            if (line.empty()) {
                continue;
            }
            try {
                m_current = parseJsonlRecord(line);
            } catch (const JsonlError& error) {
                throw MergeError(where() + error.what());
            }
            if (hadRecord && m_current->index <= previous) {
                throw MergeError(where() + "records are not in input order");
            }
            return;
        }
        if (m_in.bad()) {
            throw MergeError("cannot read the part " + displayBytes(m_name));
        }
    }

    [[nodiscard]] std::string where() const { return displayBytes(m_name) + ":" + std::to_string(m_line) + ": "; }

private:
    std::string m_name;
    std::ifstream m_in;
    std::optional<JsonlRecord> m_current;
    std::size_t m_line = 0;
};

} // namespace

int runMerge(const ScanOptions& options, const ScanTerminal& terminal)
{
    ReportOutputs outputs(options);
    // The parts are the inputs of a merge: no report may replace one.
    OutputGuard guard;
    guard.protect(std::vector<std::filesystem::path>(options.paths.begin(), options.paths.end()), "part");
    outputs.claimTargets(guard);
    ScanPrinter::Settings settings;
    settings.mode = ScanPrinter::Mode::Quiet;
    settings.stdoutIsTerminal = terminal.stdoutIsTerminal;
    ScanPrinter printer({}, settings);
    const auto complain = [](const std::string& message) {
        std::fprintf(stderr, "kestrone-scan: %s\n", message.c_str());
    };

    std::vector<std::unique_ptr<PartReader>> parts;
    bool anyFailed = false;
    try {
        for (const std::string& name : options.paths) {
            parts.push_back(std::make_unique<PartReader>(name));
        }
        outputs.open(printer);
        std::optional<std::size_t> lastIndex;
        for (;;) {
            PartReader* next = nullptr;
            for (auto& part : parts) {
                if (!part->done() && (next == nullptr || part->current().index < next->current().index)) {
                    next = part.get();
                }
            }
            if (next == nullptr) {
                break;
            }
            JsonlRecord& entry = next->current();
            if (lastIndex && entry.index == *lastIndex) {
                throw MergeError(next->where() + "input " + std::to_string(entry.index) +
                                 " is in two parts (were the shards given the same K?)");
            }
            if (outputs.wantsSpectrum() && !entry.hasSpectrum) {
                throw MergeError(next->where() +
                                 "the record has no spectrum; run the shards with --with-spectrum for this report");
            }
            lastIndex = entry.index;
            anyFailed = anyFailed || !entry.record.error.empty();
            outputs.add(entry.record, entry.index, printer);
            next->next();
        }
    } catch (const MergeError& error) {
        complain(error.what());
        // Nothing is put in place: each report file is replaced only when complete.
        return kScanExitBadInput;
    }
    if (!outputs.finish(printer, complain) || !printer.stdoutOk()) {
        return kScanExitReportFailed;
    }
    return anyFailed ? kScanExitFileFailed : kScanExitOk;
}

} // namespace orvel
