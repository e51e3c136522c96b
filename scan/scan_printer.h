// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/conclusion.h"
#include "analysis/file_report.h"
#include "batch/input_walker.h"

namespace orvel {

// Everything kestrone-scan shows on the terminal: the table of conclusions
// (and verdicts, where they fit) or the per-file summaries on stdout, and the
// progress line and failed files on stderr. No table or progress line is
// wider than its terminal. Records are
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
        bool checks = false;            // the four check columns however narrow the terminal
        bool onlyFindings = false;      // leave out files with no trace
        std::size_t columns = 0;        // width of stdout's terminal (or COLUMNS, or 80); 0: no limit
        std::size_t progressColumns = 80; // width of stderr's terminal
    };

    // total: the inputs of the run; nameNeed: the widest nameNeedOf() of them.
    ScanPrinter(std::size_t total, std::size_t nameNeed, Settings settings);

    // The room the FILE column would need for input.
    [[nodiscard]] static std::size_t nameNeedOf(const BatchInput& input);

    void printHeader();
    void printRecord(const BatchInput& input, const FileReport& record);
    // The conclusions counted, each kind on a line of its own on a terminal.
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
    // The colour sequence of a tone, in bold when asked; empty without colour.
    [[nodiscard]] std::string sequence(Tone tone, bool bold) const;
    void emit(std::string_view text);
    void planColumns(std::size_t nameNeed);
    [[nodiscard]] std::size_t tableWidth() const;

    const Settings m_settings;
    const std::size_t m_total;
    std::size_t m_nameWidth = 0;       // FILE column, without its two spaces
    std::size_t m_conclusionWidth = 0; // CONCLUSION column; the rest of the line without checks
    bool m_showChecks = false;
    const std::chrono::steady_clock::time_point m_start;
    std::chrono::steady_clock::time_point m_lastProgress{};
    bool m_progressShown = false;
    bool m_stdoutFailed = false;

    ConclusionCounts m_counts; // for the closing lines
};

} // namespace orvel
