// SPDX-License-Identifier: MIT
#include "batch/report_file.h"

#include "report/jsonl_record.h"
#include "report/replacing_file_writer.h"
#include "text/utf8.h"

namespace orvel {

namespace {


// Bytes gathered before a write: few system calls, little memory.
constexpr std::size_t kWriteChunk = 1 << 20;

} // namespace

ReportFile::ReportFile(const std::filesystem::path& target, ReportFormat format)
    : m_out(std::make_unique<ReplacingFileWriter>(target)), m_target(target), m_document(format), m_pending(m_document.opening())
{
}

ReportFile::~ReportFile() = default;

void ReportFile::add(const FileReport& record)
{
    m_document.append(m_pending, record);
    flush(false);
}

void ReportFile::flush(bool always)
{
    if (!m_out->isOpen()) {
        m_pending.clear(); // the report fails anyway; keep no bytes for it
        return;
    }
    if (always || m_pending.size() >= kWriteChunk) {
        m_out->write(m_pending);
        m_pending.clear();
    }
}

std::string ReportFile::finish()
{
    if (!m_out->isOpen()) {
        return "Cannot create the report file " + displayName(m_target) + ": " + m_out->failure() + ".";
    }
    m_pending += m_document.closing();
    flush(true);
    if (m_out->commit()) {
        return {};
    }
    return "Writing the report file " + displayName(m_target) + " failed: " + m_out->failure() + ".";
}

std::string writeReportFile(const std::filesystem::path& target, ReportFormat format,
                            const std::vector<FileReport>& records)
{
    ReportFile report(target, format);
    for (const FileReport& record : records) {
        report.add(record);
    }
    return report.finish();
}

std::string writeJsonlReportFile(const std::filesystem::path& target, const std::vector<FileReport>& records,
                                 int analysisVersion)
{
    ReplacingFileWriter out(target);
    if (!out.isOpen()) {
        return "Cannot create the report file " + displayName(target) + ": " + out.failure() + ".";
    }
    const JsonlShard whole{1, 1, records.size()};
    std::string pending;
    for (std::size_t index = 0; index < records.size(); ++index) {
        appendJsonlRecord(pending, records[index], index, false, analysisVersion, whole);
        if (pending.size() >= kWriteChunk) {
            out.write(pending);
            pending.clear();
        }
    }
    out.write(pending);
    if (out.commit()) {
        return {};
    }
    return "Writing the report file " + displayName(target) + " failed: " + out.failure() + ".";
}

} // namespace orvel
