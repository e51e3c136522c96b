// SPDX-License-Identifier: MIT
#include "batch/jsonl_file.h"

#include "analysis/analysis_version.h"
#include "report/jsonl_record.h"
#include "report/replacing_file_writer.h"

namespace orvel {

JsonlFile::JsonlFile(const std::filesystem::path& target, bool withSpectrum)
    : m_out(std::make_unique<ReplacingFileWriter>(target)), m_withSpectrum(withSpectrum)
{
}

JsonlFile::~JsonlFile() = default;

void appendJsonlLine(std::string& out, const FileReport& record, std::size_t index, bool withSpectrum)
{
    appendJsonlRecord(out, record, index, withSpectrum, kAnalysisVersion);
}

void JsonlFile::add(const FileReport& record, std::size_t index)
{
    if (!m_out->isOpen()) {
        return;
    }
    m_line.clear();
    appendJsonlLine(m_line, record, index, m_withSpectrum);
    m_out->write(m_line);
}

std::string JsonlFile::finish()
{
    if (!m_out->isOpen()) {
        return "Cannot create the report file.";
    }
    return m_out->commit() ? std::string() : std::string("Writing the report failed.");
}

} // namespace orvel
