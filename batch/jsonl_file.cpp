// SPDX-License-Identifier: MIT
#include "batch/jsonl_file.h"

#include "analysis/analysis_version.h"
#include "report/jsonl_record.h"
#include "report/replacing_file_writer.h"
#include "text/utf8.h"

namespace orvel {

JsonlFile::JsonlFile(const std::filesystem::path& target, bool withSpectrum)
    : m_out(std::make_unique<ReplacingFileWriter>(target)), m_target(target), m_withSpectrum(withSpectrum)
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
        return "Cannot create the report file " + displayName(m_target) + ": " + m_out->failure() + ".";
    }
    if (m_out->commit()) {
        return {};
    }
    return "Writing the report file " + displayName(m_target) + " failed: " + m_out->failure() + ".";
}

} // namespace orvel
