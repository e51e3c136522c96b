// SPDX-License-Identifier: MIT
#include "batch/report_file.h"

#include "report/replacing_file_writer.h"

namespace orvel {

namespace {

constexpr const char* kCannotCreate = "Cannot create the report file.";
constexpr const char* kWriteFailed = "Writing the report failed.";

// Bytes gathered before a write: few system calls, little memory.
constexpr std::size_t kWriteChunk = 1 << 20;

} // namespace

ReportFile::ReportFile(const std::filesystem::path& target, ReportFormat format)
    : m_out(std::make_unique<ReplacingFileWriter>(target)), m_format(format), m_pending(reportOpening(format))
{
}

ReportFile::~ReportFile() = default;

void ReportFile::add(const FileReport& record)
{
    appendReportRecord(m_pending, m_format, record, m_count++);
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
        return kCannotCreate;
    }
    m_pending += reportClosing(m_format);
    flush(true);
    return m_out->commit() ? std::string() : std::string(kWriteFailed);
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

} // namespace orvel
