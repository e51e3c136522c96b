// SPDX-License-Identifier: MIT
#include "scan/report_outputs.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <iterator>

#include "analysis/analysis_version.h"
#include "batch/output_target.h"
#include "platform/file_system.h"
#include "report/json_report.h"
#include "report/report_format.h"
#include "scan/scan_printer.h"
#include "text/utf8.h"

namespace orvel {
namespace {

// The report files of the run and whether each is in place, for
// sayWhichReportsWereWritten() in a signal handler: fixed buffers, filled
// before the handler can read them, and lock-free states.
enum ReportState : int { kUnused = 0, kPending = 1, kWritten = 2 };
struct ReportSlot {
    char name[480]{}; // as the notice shows it, already escaped for a JSON event when needed
    std::atomic<int> state{kUnused};
};
static_assert(std::atomic<int>::is_always_lock_free, "the slots are read from a signal handler");
ReportSlot g_reportSlots[4]; // one per report kind
std::atomic<bool> g_reportsAsEvents{false};

void fillSlot(ReportSlot& slot, const std::string& shown)
{
    const std::size_t length = std::min(shown.size(), sizeof slot.name - 1);
    std::copy_n(shown.data(), length, slot.name);
    slot.name[length] = '\0';
    slot.state.store(kPending);
}

void writeText(int fd, const char* text) noexcept { (void)writeFully(fd, text, std::strlen(text)); }

} // namespace

void sayWhichReportsWereWritten(int fd) noexcept
{
    bool anyWritten = false;
    bool anyPending = false;
    for (const ReportSlot& slot : g_reportSlots) {
        anyWritten = anyWritten || slot.state.load() == kWritten;
        anyPending = anyPending || slot.state.load() == kPending;
    }
    if (!anyWritten && !anyPending) {
        return;
    }
    const bool asEvent = g_reportsAsEvents.load();
    writeText(fd, asEvent ? "{\"event\":\"notice\",\"message\":\"stopped at once; " : "kestrone-scan: stopped at once; ");
    for (const int state : {kWritten, kPending}) {
        bool first = true;
        for (const ReportSlot& slot : g_reportSlots) {
            if (slot.state.load() != state) {
                continue;
            }
            writeText(fd, first ? (state == kWritten ? "written: " : "not written: ") : ", ");
            writeText(fd, slot.name);
            first = false;
        }
        if (!first && state == kWritten && anyPending) {
            writeText(fd, "; ");
        }
    }
    writeText(fd, asEvent ? "\"}\n" : "\n");
}

ReportOutputs::ReportOutputs(const ScanOptions& options)
    : m_noticesAsEvents(options.progress == ProgressMode::Jsonl), m_withSpectrum(options.withSpectrum),
      m_analysisVersion(kAnalysisVersion)
{
    const std::pair<const std::optional<std::string>*, std::optional<ReportFormat>> wanted[] = {
        {&options.jsonTarget, ReportFormat::Json},
        {&options.textTarget, ReportFormat::Text},
        {&options.csvTarget, options.spectrogramFolder ? ReportFormat::CsvWithPictures : ReportFormat::Csv},
        {&options.jsonlTarget, std::nullopt},
        {&options.htmlTarget, options.htmlPictures ? ReportFormat::HtmlWithPictures : ReportFormat::Html},
    };
    for (const auto& [target, format] : wanted) {
        if (*target) {
            Output output;
            output.format = format;
            output.target = **target;
            m_outputs.push_back(std::move(output));
        }
    }
}

bool ReportOutputs::anyToStdout() const
{
    return std::any_of(m_outputs.begin(), m_outputs.end(), [](const Output& output) { return output.target == "-"; });
}

bool ReportOutputs::anyToFile() const
{
    return std::any_of(m_outputs.begin(), m_outputs.end(), [](const Output& output) { return output.target != "-"; });
}

bool ReportOutputs::onlyJson() const
{
    return !m_outputs.empty() && std::all_of(m_outputs.begin(), m_outputs.end(), [](const Output& output) {
        return output.format == ReportFormat::Json;
    });
}

bool ReportOutputs::wantsSpectrum() const
{
    return m_withSpectrum || std::any_of(m_outputs.begin(), m_outputs.end(), [](const Output& output) {
               return output.format == ReportFormat::Json;
           });
}

std::vector<std::string> ReportOutputs::fileTargets() const
{
    std::vector<std::string> targets;
    for (const Output& output : m_outputs) {
        if (output.target != "-") {
            targets.push_back(output.target);
        }
    }
    return targets;
}

void ReportOutputs::claimTargets(OutputGuard& guard) const
{
    for (const Output& output : m_outputs) {
        if (output.target == "-") {
            continue;
        }
        const char* option = !output.format                        ? "--jsonl"
                             : *output.format == ReportFormat::Json ? "--json"
                             : *output.format == ReportFormat::Text ? "--text"
                             : *output.format >= ReportFormat::Html  ? "--html"
                                                                    : "--csv";
        const std::string refused =
            guard.claim(pathFromBytes(output.target), OutputKind::Report, std::string("the ") + option + " report");
        if (!refused.empty()) {
            throw UsageError(refused);
        }
    }
}

void ReportOutputs::setJsonlSource(int analysisVersion, JsonlShard shard)
{
    m_analysisVersion = analysisVersion;
    m_shard = shard;
}

void ReportOutputs::open(ScanPrinter& printer)
{
    g_reportsAsEvents.store(m_noticesAsEvents);
    std::size_t slot = 0;
    for (const Output& output : m_outputs) {
        if (output.target != "-" && slot < std::size(g_reportSlots)) {
            // JSON Lines go to their file as they are done: it is never missing.
            const std::string shown = displayName(pathFromBytes(output.target)) +
                                      (output.format ? "" : " (the records done so far)");
            std::string quoted = jsonQuote(shown);
            ReportSlot& filled = g_reportSlots[slot++];
            fillSlot(filled, m_noticesAsEvents ? quoted.substr(1, quoted.size() - 2) : shown);
            if (!output.format) {
                filled.state.store(kWritten);
            }
        }
    }
    for (Output& output : m_outputs) {
        const std::filesystem::path target = pathFromBytes(output.target);
        if (!output.format) {
            if (output.target != "-") {
                output.jsonl = std::make_unique<JsonlFile>(target, m_withSpectrum, m_analysisVersion, m_shard);
            }
        } else if (output.target == "-") {
            output.document.emplace(*output.format);
            printer.writeStdout(output.document->opening());
        } else {
            output.file = std::make_unique<ReportFile>(target, *output.format);
        }
    }
}

void ReportOutputs::add(const FileReport& record, std::size_t index, ScanPrinter& printer)
{
    for (Output& output : m_outputs) {
        if (output.file) {
            output.file->add(record);
        } else if (output.jsonl) {
            output.jsonl->add(record, index);
        } else {
            m_buffer.clear();
            if (output.document) {
                output.document->append(m_buffer, record);
            } else {
                appendJsonlRecord(m_buffer, record, index, m_withSpectrum, m_analysisVersion, m_shard);
            }
            printer.writeStdout(m_buffer);
        }
    }
}

bool ReportOutputs::finish(ScanPrinter& printer, const std::function<void(const std::string&)>& complain)
{
    bool ok = true;
    std::size_t slot = 0;
    for (Output& output : m_outputs) {
        ReportSlot* reportSlot =
            output.target != "-" && slot < std::size(g_reportSlots) ? &g_reportSlots[slot++] : nullptr;
        std::string failure;
        if (output.file) {
            failure = output.file->finish();
        } else if (output.jsonl) {
            failure = output.jsonl->finish();
        } else if (output.document) {
            printer.writeStdout(output.document->closing());
        }
        if (!failure.empty()) {
            complain(failure); // it names the report file and the reason
            ok = false;
        } else if (reportSlot != nullptr) {
            reportSlot->state.store(kWritten);
        }
    }
    return ok;
}

} // namespace orvel
