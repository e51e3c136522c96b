// SPDX-License-Identifier: MIT
#include "scan/report_outputs.h"

#include <algorithm>
#include <filesystem>

#include "report/report_format.h"
#include "scan/scan_printer.h"

namespace orvel {

ReportOutputs::ReportOutputs(const ScanOptions& options) : m_withSpectrum(options.withSpectrum)
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

void ReportOutputs::open(ScanPrinter& printer)
{
    for (Output& output : m_outputs) {
        const std::filesystem::path target(output.target);
        if (!output.format) {
            if (output.target != "-") {
                output.jsonl = std::make_unique<JsonlFile>(target, m_withSpectrum);
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
                appendJsonlLine(m_buffer, record, index, m_withSpectrum);
            }
            printer.writeStdout(m_buffer);
        }
    }
}

bool ReportOutputs::finish(ScanPrinter& printer, const std::function<void(const std::string&)>& complain)
{
    bool ok = true;
    for (Output& output : m_outputs) {
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
        }
    }
    return ok;
}

} // namespace orvel
