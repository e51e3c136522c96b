// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/file_report.h"
#include "batch/input_walker.h"

namespace orvel {

// Everything kestrone-scan shows on the terminal: the verdict table or the
// per-file summaries on stdout, and the progress line on stderr. Records are
// printed as they arrive (the caller hands them over in input order), and the
// progress line is cleared before anything is printed to a terminal stdout, so
// the two never share a line.
class ScanPrinter {
public:
    enum class Mode { Table, Summary, Quiet };

    struct Settings {
        Mode mode = Mode::Table;
        bool colour = false;
        bool stdoutIsTerminal = false;
        bool progress = false;
        bool noticesAsEvents = false; // --progress=jsonl: stderr holds JSON events only
    };

    ScanPrinter(const std::vector<BatchInput>& inputs, Settings settings);

    void printHeader();
    void printRecord(const BatchInput& input, const FileReport& record);
    void printClosingLine();

    // Redraws the progress line (at most every 100 ms unless forced).
    void showProgress(std::size_t finished, const std::filesystem::path& currentFile, const std::string& stage, bool force);
    void clearProgress();

    // Raw bytes for stdout (a report sent to "-").
    void writeStdout(std::string_view bytes);

    [[nodiscard]] bool noticesAsEvents() const { return m_settings.noticesAsEvents; }

    // False once a write to stdout failed.
    [[nodiscard]] bool stdoutOk() const { return !m_stdoutFailed; }

private:
    [[nodiscard]] std::string coloured(std::string_view text, Tone tone) const;
    void emit(std::string_view text);

    const Settings m_settings;
    const std::size_t m_total;
    std::size_t m_nameWidth = 0;
    const std::chrono::steady_clock::time_point m_start;
    std::chrono::steady_clock::time_point m_lastProgress{};
    bool m_progressShown = false;
    bool m_stdoutFailed = false;

    // Counts for the closing line.
    std::size_t m_complete = 0;
    std::size_t m_failed = 0;
    std::vector<std::vector<std::size_t>> m_verdictCounts; // [check][verdict]
};

} // namespace orvel
