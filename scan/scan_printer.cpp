// SPDX-License-Identifier: MIT
#include "scan/scan_printer.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <limits>

#include "report/summary_text.h"
#include "text/format_number.h"
#include "text/utf8.h"
#include "scan/terminal_text.h"

namespace orvel {
namespace {

constexpr std::size_t kGap = 2;
constexpr std::size_t kVerdictColumn = 16; // the longest verdict word (14) and two spaces
// The four checks: three padded columns and the last word.
constexpr std::size_t kChecksWidth = kGap + 3 * kVerdictColumn + 14;
constexpr std::size_t kConclusionWide = 44; // beside the checks
constexpr std::size_t kConclusionMin = 28;  // room for "Likely AAC source, padded from…"
constexpr std::size_t kNameMin = 12;
constexpr std::size_t kUnlimited = std::numeric_limits<std::size_t>::max() / 4;
constexpr std::string_view kMiddleDot = "\xC2\xB7";

// One table line, cell by cell, never wider than its budget: a cell that does
// not fit is cut with "\u2026" and ends the line.
class TableLine {
public:
    explicit TableLine(std::size_t columns) : m_left(columns) {}

    // text is plain UTF-8; sequence colours it (empty: none). A last cell is not padded.
    void cell(const std::string& text, std::size_t width, std::string_view sequence, bool last = false)
    {
        if (m_full) {
            return;
        }
        std::string shown = fitWithEllipsis(text, std::min(width, m_left));
        const std::size_t used = displayWidth(shown);
        m_left -= used;
        if (!sequence.empty() && !shown.empty()) {
            m_out += sequence;
            m_out += shown;
            m_out += kColourReset;
        } else {
            m_out += shown;
        }
        if (last || used < displayWidth(text)) {
            m_full = true;
            return;
        }
        const std::size_t padding = std::min(m_left, width + kGap - used);
        m_out.append(padding, ' ');
        m_left -= padding;
    }

    [[nodiscard]] std::string text() const
    {
        std::string out = m_out;
        while (!out.empty() && out.back() == ' ') {
            out.pop_back();
        }
        return out + "\n";
    }

private:
    std::size_t m_left;
    std::string m_out;
    bool m_full = false;
};

void writeStderr(std::string_view text)
{
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

} // namespace

ScanPrinter::ScanPrinter(std::size_t total, std::size_t nameNeed, Settings settings)
    : m_settings(settings), m_total(total), m_start(std::chrono::steady_clock::now())
{
    planColumns(std::max<std::size_t>(nameNeed, 4)); // "FILE"
}

std::size_t ScanPrinter::nameNeedOf(const BatchInput& input)
{
    return displayWidth(terminalText(displayName(input.shown)));
}

void ScanPrinter::planColumns(std::size_t nameNeed)
{
    if (m_settings.columns == 0) {
        // No width to fit: names stay whole, the checks come when asked for.
        m_showChecks = m_settings.checks;
        m_nameWidth = nameNeed;
        m_conclusionWidth = m_showChecks ? kConclusionWide : kUnlimited;
        return;
    }
    const std::size_t columns = m_settings.columns;
    m_showChecks = m_settings.checks || columns >= nameNeed + kGap + kConclusionWide + kChecksWidth;
    const std::size_t rest = columns > (m_showChecks ? kChecksWidth : 0) ? columns - (m_showChecks ? kChecksWidth : 0) : 0;
    // Names take what they need while the conclusion keeps its least room;
    // longer names are shortened in the middle.
    const std::size_t nameRoom = rest > kGap + kConclusionMin ? rest - kGap - kConclusionMin : 0;
    m_nameWidth = std::min(nameNeed, std::max(kNameMin, nameRoom));
    const std::size_t conclusionRoom = rest > m_nameWidth + kGap ? rest - m_nameWidth - kGap : 0;
    m_conclusionWidth = m_showChecks ? std::min(kConclusionWide, conclusionRoom) : conclusionRoom;
}

std::string ScanPrinter::sequence(Tone tone, bool bold) const
{
    if (!m_settings.colour) {
        return {};
    }
    const std::string colour = toneSequence(tone);
    if (!bold || colour.starts_with("\x1b[1m") || colour.starts_with("\x1b[1;")) {
        return colour;
    }
    // "\x1b[35m" in bold is "\x1b[1;35m".
    return colour.empty() ? std::string("\x1b[1m") : "\x1b[1;" + colour.substr(2);
}

void ScanPrinter::emit(std::string_view text)
{
    if (m_settings.mode != Mode::Quiet) {
        writeStdout(text);
    }
}

void ScanPrinter::writeStdout(std::string_view bytes)
{
    // An empty piece (the closing of a text or CSV report) may have no data
    // pointer at all, which fwrite must not be given.
    if (m_stdoutFailed || bytes.empty()) {
        return;
    }
    if (m_settings.stdoutIsTerminal) {
        clearProgress();
    }
    // Flushed at once, so a script reading a pipe sees each file as it is done.
    errno = 0;
    if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size() || std::fflush(stdout) != 0) {
        m_stdoutFailed = true;
        // A reader that left (| head) needs no message; a full disk does.
        if (errno != EPIPE) {
            clearProgress();
            writeStderr("kestrone-scan: cannot write to standard output\n");
        }
    }
}

std::size_t ScanPrinter::tableWidth() const { return m_settings.columns > 0 ? m_settings.columns : kUnlimited; }

void ScanPrinter::printHeader()
{
    if (m_settings.mode != Mode::Table || m_total == 0) {
        return;
    }
    const std::string heading = sequence(Tone::Secondary, false);
    TableLine line(tableWidth());
    line.cell("FILE", m_nameWidth, heading);
    line.cell("CONCLUSION", m_conclusionWidth, heading, !m_showChecks);
    if (m_showChecks) {
        for (std::size_t c = 0; c < kReportChecks.size(); ++c) {
            line.cell(std::string(kReportChecks[c].title), kVerdictColumn - kGap, heading,
                      c + 1 == kReportChecks.size());
        }
    }
    emit(line.text());
}

void ScanPrinter::printRecord(const BatchInput& input, const FileReport& record)
{
    const Conclusion conclusion = concludeFile(record);
    m_counts.add(conclusion);
    const std::string name = terminalText(displayName(input.shown));
    if (!record.error.empty()) {
        // Also on stderr, where a failure is looked for when stdout is a report or a pager.
        clearProgress();
        writeStderr("kestrone-scan: " + name + ": " + terminalText(record.error) + "\n");
    }
    if (m_settings.onlyFindings && conclusion.level == ConclusionLevel::None) {
        return;
    }

    if (m_settings.mode == Mode::Summary) {
        std::string text = name + "\n" + terminalText(buildSummaryText(record), true);
        if (!record.error.empty()) {
            text += "\n\n";
        }
        emit(text);
        return;
    }
    if (m_settings.mode != Mode::Table) {
        return;
    }
    TableLine line(tableWidth());
    line.cell(shortenMiddle(name, m_nameWidth), m_nameWidth, {});
    const bool last = !m_showChecks || !record.error.empty();
    line.cell(terminalText(conclusionText(conclusion)), last ? tableWidth() : m_conclusionWidth,
              sequence(conclusionTone(conclusion.level), conclusion.level == ConclusionLevel::Likely), last);
    if (!last) {
        for (std::size_t c = 0; c < kReportChecks.size(); ++c) {
            const Verdict status = (record.*(kReportChecks[c].check)).status;
            line.cell(std::string(verdictText(status)), kVerdictColumn - kGap, sequence(verdictTone(status), false),
                      c + 1 == kReportChecks.size());
        }
    }
    emit(line.text());
}

void ScanPrinter::printClosingLine()
{
    if (m_settings.mode == Mode::Quiet) {
        return;
    }
    const std::vector<std::string> kinds = m_counts.kinds();
    if (kinds.empty()) {
        emit(fileCountText(m_counts.files()) + ".\n");
        return;
    }
    if (!m_settings.stdoutIsTerminal || kinds.size() == 1) {
        const std::string line = m_counts.line();
        emit((m_settings.stdoutIsTerminal ? fitWithEllipsis(line, tableWidth()) : line) + "\n");
        return;
    }
    std::string text = fitWithEllipsis(fileCountText(m_counts.files()) + ":", tableWidth()) + "\n";
    for (const std::string& kind : kinds) {
        text += fitWithEllipsis("  " + kind, tableWidth()) + "\n";
    }
    emit(text);
}

void ScanPrinter::showProgress(std::size_t finished, const std::filesystem::path& currentFile, const std::string& stage,
                               bool force)
{
    if (!m_settings.progress) {
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    if (!force && m_progressShown && now - m_lastProgress < std::chrono::milliseconds(100)) {
        return;
    }
    m_lastProgress = now;
    const auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(now - m_start);
    std::string remaining = "--:--";
    if (finished > 0 && finished <= m_total) {
        const auto left = std::chrono::duration_cast<std::chrono::seconds>((now - m_start) *
                                                                           static_cast<double>(m_total - finished) /
                                                                           static_cast<double>(finished));
        remaining = clockText(left);
    }
    const std::string separator = std::string(" ") + std::string(kMiddleDot) + " ";
    std::string line = std::to_string(finished);
    line += '/';
    line += std::to_string(m_total);
    line += " files";
    line += separator;
    line += clockText(elapsed);
    line += " elapsed";
    line += separator;
    const double seconds = std::chrono::duration<double>(now - m_start).count();
    if (finished > 0 && seconds > 0.0) {
        line += formatNumber(static_cast<double>(finished) / seconds, 1);
        line += " files/s";
        line += separator;
    }
    line += remaining;
    line += " left";
    if (!stage.empty()) {
        line += separator;
        line += terminalText(displayName(currentFile.filename()));
        line += separator;
        line += terminalText(stage);
    }
    // A line longer than the terminal would wrap, and "\r" would then redraw only its tail.
    line = fitToWidth(line, std::max<std::size_t>(terminalColumns(STDERR_FILENO), 2) - 1);
    line.insert(line.begin(), '\r');
    line += "\x1b[K";
    writeStderr(line);
    m_progressShown = true;
}

void ScanPrinter::clearProgress()
{
    if (m_progressShown) {
        writeStderr("\r\x1b[K");
        m_progressShown = false;
    }
}

} // namespace orvel
