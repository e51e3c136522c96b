// SPDX-License-Identifier: MIT
#include "batch/jsonl_file.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/file_system.h"
#include "report/jsonl_record.h"
#include "text/utf8.h"

namespace orvel {

JsonlFile::JsonlFile(const std::filesystem::path& target, bool withSpectrum, int analysisVersion, JsonlShard shard)
    : m_target(target), m_withSpectrum(withSpectrum), m_analysisVersion(analysisVersion), m_shard(shard)
{
    // The owner's write bit decides, as for the other reports, so that root
    // does not empty a file its owner made read-only.
    FileStatus status;
    int error = 0;
    if (statusOf(target, status, error) && status.regular() && !status.ownerWritable) {
        m_failure = "the file is read-only";
        return;
    }
    m_fd = openForWriting(target);
    if (m_fd < 0) {
        m_failure = std::strerror(errno);
    }
}

JsonlFile::~JsonlFile()
{
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

void JsonlFile::add(const FileReport& record, std::size_t index)
{
    if (m_fd < 0 || !m_failure.empty()) {
        return;
    }
    m_line.clear();
    appendJsonlRecord(m_line, record, index, m_withSpectrum, m_analysisVersion, m_shard);
    const char* at = m_line.data();
    std::size_t left = m_line.size();
    while (left > 0) {
        const ssize_t written = ::write(m_fd, at, left);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            m_failure = written < 0 ? std::strerror(errno) : "nothing could be written";
            return;
        }
        at += written;
        left -= static_cast<std::size_t>(written);
    }
}

std::string JsonlFile::finish()
{
    if (m_fd < 0) {
        return "Cannot create the report file " + displayName(m_target) + ": " + m_failure + ".";
    }
    // A pipe or a terminal cannot be synced; everything else must reach the disk.
    if (const int error = m_failure.empty() ? syncToDisk(m_fd) : 0; error != 0) {
        m_failure = std::strerror(error);
    }
    if (::close(m_fd) != 0 && m_failure.empty()) {
        m_failure = std::strerror(errno);
    }
    m_fd = -1;
    if (m_failure.empty()) {
        return {};
    }
    return "Writing the report file " + displayName(m_target) + " failed: " + m_failure + ".";
}

} // namespace orvel
