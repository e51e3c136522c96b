// SPDX-License-Identifier: MIT
// kestrone-scan --merge: the reports of one run rebuilt from the JSON Lines
// parts of its shards.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "batch/output_target.h"
#include "analysis/analysis_version.h"
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

std::string shardText(const JsonlShard& shard)
{
    return std::to_string(shard.index) + "/" + std::to_string(shard.count);
}

// One part, read a record at a time: parts are in input order, so the merge
// holds one record per part, whatever the number of files. Every record of a
// part must name the same shard and analysis version as its first.
class PartReader {
public:
    explicit PartReader(const std::string& name) : m_name(name)
    {
        if (name == "-") {
            throw MergeError("a part cannot be standard input");
        }
        m_in.open(pathFromBytes(name), std::ios::binary);
        if (!m_in) {
            throw MergeError("cannot read the part " + displayBytes(name));
        }
        next();
        if (m_current) {
            if (!m_current->shard) {
                throw MergeError(where() +
                                 "the record does not name its shard (\"Shard\"); run this part's scan again with "
                                 "this kestrone-scan");
            }
            m_shard = *m_current->shard;
            m_analysisVersion = m_current->analysisVersion;
        }
    }

    [[nodiscard]] bool done() const { return !m_current.has_value(); }
    [[nodiscard]] bool empty() const { return !m_shard.has_value(); }
    [[nodiscard]] JsonlRecord& current() { return *m_current; }
    [[nodiscard]] const std::optional<JsonlShard>& shard() const { return m_shard; }
    [[nodiscard]] int analysisVersion() const { return m_analysisVersion; }
    [[nodiscard]] const std::string& name() const { return m_name; }

    void next()
    {
        const bool hadRecord = m_current.has_value();
        const std::size_t previous = hadRecord ? m_current->index : 0;
        m_current.reset();
        while (readLine()) {
            ++m_line;
            if (m_text.empty()) {
                continue;
            }
            try {
                m_current = parseJsonlRecord(m_text);
            } catch (const JsonlError& error) {
                throw MergeError(where() + error.what());
            }
            if (hadRecord && m_current->index <= previous) {
                throw MergeError(where() + "records are not in input order");
            }
            if (m_shard && m_current->shard != m_shard) {
                throw MergeError(where() + "the record is of another shard than the part's first record");
            }
            if (m_shard && m_current->analysisVersion != m_analysisVersion) {
                throw MergeError(where() + "the record is of analysis version " +
                                 std::to_string(m_current->analysisVersion) + ", the part's first record of " +
                                 std::to_string(m_analysisVersion));
            }
            ++m_records;
            return;
        }
        if (m_in.bad()) {
            throw MergeError("cannot read the part " + displayBytes(m_name));
        }
        if (m_shard && m_records != m_shard->files) {
            throw MergeError(displayBytes(m_name) + ": the part holds " + std::to_string(m_records) +
                             " records of the " + std::to_string(m_shard->files) + " files of shard " +
                             shardText(*m_shard) + " (was its scan stopped?)");
        }
    }

    [[nodiscard]] std::string where() const { return displayBytes(m_name) + ":" + std::to_string(m_line) + ": "; }

private:
    // The next line into m_text, at most a record's longest: a line of
    // gigabytes is refused after kMaxJsonlLineBytes, not held in memory.
    bool readLine()
    {
        m_text.clear();
        std::streambuf* in = m_in.rdbuf();
        for (;;) {
            const int c = in->sbumpc();
            if (c == std::char_traits<char>::eof()) {
                m_in.setstate(std::ios::eofbit);
                return !m_text.empty();
            }
            if (c == '\n') {
                return true;
            }
            if (m_text.size() == kMaxJsonlLineBytes) {
                throw MergeError(displayBytes(m_name) + ":" + std::to_string(m_line + 1) +
                                 ": the line is longer than any record (" + std::to_string(kMaxJsonlLineBytes) +
                                 " bytes)");
            }
            m_text += static_cast<char>(c);
        }
    }

    std::string m_name;
    std::ifstream m_in;
    std::string m_text;
    std::optional<JsonlRecord> m_current;
    std::optional<JsonlShard> m_shard;
    int m_analysisVersion = 0;
    std::size_t m_line = 0;
    std::size_t m_records = 0;
};

// The parts must be one run's shards, each once, all of one analysis
// version. An empty part (a shard that had no files) stands for one shard
// that no other part names.
JsonlShard checkParts(const std::vector<std::unique_ptr<PartReader>>& parts)
{
    const PartReader* first = nullptr;
    std::map<unsigned, const PartReader*> byShard;
    std::size_t emptyParts = 0;
    JsonlShard whole{1, 1, 0};
    for (const auto& part : parts) {
        if (part->empty()) {
            ++emptyParts;
            continue;
        }
        const JsonlShard& shard = *part->shard();
        if (first == nullptr) {
            first = part.get();
        } else if (shard.count != first->shard()->count) {
            throw MergeError(displayBytes(part->name()) + ":1: the part is shard " + shardText(shard) + ", " +
                             displayBytes(first->name()) + " is shard " + shardText(*first->shard()) +
                             ": they are not of one run");
        } else if (part->analysisVersion() != first->analysisVersion()) {
            throw MergeError(displayBytes(part->name()) + ":1: the records are of analysis version " +
                             std::to_string(part->analysisVersion()) + ", those of " + displayBytes(first->name()) +
                             " of version " + std::to_string(first->analysisVersion()) +
                             "; scan every shard with one kestrone-scan");
        }
        if (const auto [at, added] = byShard.emplace(shard.index, part.get()); !added) {
            throw MergeError(displayBytes(part->name()) + ":1: shard " + shardText(shard) + " is in two parts, this and " +
                             displayBytes(at->second->name()) + " (were the shards given the same K?)");
        }
        whole.files += shard.files;
    }
    if (first != nullptr) {
        std::string missing;
        std::size_t missingCount = 0;
        for (unsigned k = 1; k <= first->shard()->count; ++k) {
            if (byShard.count(k) == 0) {
                missing += (missing.empty() ? "" : ", ") + shardText({k, first->shard()->count, 0});
                ++missingCount;
            }
        }
        if (missingCount > emptyParts) {
            throw MergeError("no part holds the records of shard " + missing + "; give every shard's part");
        }
    }
    return whole;
}

} // namespace

int runMerge(const ScanOptions& options, const ScanTerminal& terminal)
{
    ReportOutputs outputs(options);
    // The parts are the inputs of a merge: no report may replace one.
    OutputGuard guard;
    std::vector<std::filesystem::path> partPaths;
    for (const std::string& name : options.paths) {
        partPaths.push_back(pathFromBytes(name));
    }
    guard.protect(partPaths, "part");
    outputs.claimTargets(guard);
    ScanPrinter::Settings settings;
    settings.mode = ScanPrinter::Mode::Quiet;
    settings.stdoutIsTerminal = terminal.stdoutIsTerminal;
    settings.noticesAsEvents = options.progress == ProgressMode::Jsonl;
    ScanPrinter printer(0, 0, settings);
    const auto complain = [&printer](const std::string& message) {
        std::fputs(noticeLine(message, printer.noticesAsEvents()).c_str(), stderr);
    };

    std::vector<std::unique_ptr<PartReader>> parts;
    bool anyFailed = false;
    try {
        for (const std::string& name : options.paths) {
            parts.push_back(std::make_unique<PartReader>(name));
        }
        const JsonlShard whole = checkParts(parts);
        const auto firstFull = std::find_if(parts.begin(), parts.end(), [](const auto& part) { return !part->empty(); });
        outputs.setJsonlSource(firstFull != parts.end() ? (*firstFull)->analysisVersion() : kAnalysisVersion, whole);
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
