// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

#include "analysis/file_report.h"
#include "report/jsonl_record.h"

namespace orvel {

// A JSON Lines report written as a log: the target is emptied when it is
// opened and each line is written to it as soon as it is added, so a run that
// is killed leaves the records done so far (each record names its shard and
// the shard's file count, so a merge sees that the part is short). An
// existing file whose owner has no write permission is refused.
class JsonlFile {
public:
    // Each record is stamped with analysisVersion and shard.
    JsonlFile(const std::filesystem::path& target, bool withSpectrum, int analysisVersion, JsonlShard shard);
    ~JsonlFile();
    JsonlFile(const JsonlFile&) = delete;
    JsonlFile& operator=(const JsonlFile&) = delete;

    // index: the record's place in the whole input list.
    void add(const FileReport& record, std::size_t index);

    // Empty on success, else the whole message naming the target and the
    // system's reason, as ReportFile::finish().
    [[nodiscard]] std::string finish();

private:
    int m_fd = -1;
    std::string m_failure; // the system's reason once opening or writing failed
    std::filesystem::path m_target;
    bool m_withSpectrum;
    int m_analysisVersion;
    JsonlShard m_shard;
    std::string m_line;
};

} // namespace orvel
