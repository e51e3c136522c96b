// SPDX-License-Identifier: MIT
#include "scan/scan_printer.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>

#include "report/summary_text.h"
#include "text/format_number.h"
#include "text/utf8.h"
#include "scan/terminal_text.h"

namespace orvel {
namespace {

constexpr std::size_t kVerdictColumn = 16; // the longest verdict word (14) and two spaces
constexpr std::size_t kMaxNameColumn = 60;
constexpr std::string_view kMiddleDot = "\xC2\xB7";

std::string padTo(std::string text, std::size_t width)
{
    const std::size_t used = displayWidth(text);
    if (used < width) {
        text.append(width - used, ' ');
    }
    return text;
}

std::string clockText(std::chrono::seconds total)
{
    const long long seconds = total.count();
    char text[32];
    if (seconds >= 3600) {
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60, seconds % 60);
    } else {
        std::snprintf(text, sizeof text, "%lld:%02lld", seconds / 60, seconds % 60);
    }
    return text;
}

std::size_t stderrColumns()
{
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
        return size.ws_col;
    }
    return 80;
}

void writeStderr(std::string_view text)
{
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

} // namespace

ScanPrinter::ScanPrinter(const std::vector<BatchInput>& inputs, Settings settings)
    : m_settings(settings), m_total(inputs.size()), m_start(std::chrono::steady_clock::now()),
      m_verdictCounts(kReportChecks.size(), std::vector<std::size_t>(kVerdicts.size(), 0))
{
    m_nameWidth = 4; // "FILE"
    for (const BatchInput& input : inputs) {
        m_nameWidth = std::max(m_nameWidth, std::min(kMaxNameColumn, displayWidth(terminalText(displayName(input.shown)))));
    }
}

std::string ScanPrinter::coloured(std::string_view text, Tone tone) const
{
    if (!m_settings.colour) {
        return std::string(text);
    }
    std::string out = toneSequence(tone);
    out += text;
    out += kColourReset;
    return out;
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

void ScanPrinter::printHeader()
{
    if (m_settings.mode != Mode::Table || m_total == 0) {
        return;
    }
    std::string line = padTo("FILE", m_nameWidth + 2);
    for (std::size_t c = 0; c < kReportChecks.size(); ++c) {
        line += c + 1 < kReportChecks.size() ? padTo(std::string(kReportChecks[c].title), kVerdictColumn)
                                             : std::string(kReportChecks[c].title);
    }
    emit(coloured(line, Tone::Secondary) + "\n");
}

void ScanPrinter::printRecord(const BatchInput& input, const FileReport& record)
{
    ++m_complete;
    if (!record.error.empty()) {
        ++m_failed;
    } else {
        for (std::size_t c = 0; c < kReportChecks.size(); ++c) {
            const Verdict status = (record.*(kReportChecks[c].check)).status;
            const auto found = std::find(kVerdicts.begin(), kVerdicts.end(), status);
            if (found != kVerdicts.end()) {
                ++m_verdictCounts[c][static_cast<std::size_t>(found - kVerdicts.begin())];
            }
        }
    }

    const std::string name = terminalText(displayName(input.shown));
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
    std::string line = padTo(name, m_nameWidth) + "  ";
    if (!record.error.empty()) {
        line += coloured("Error: " + terminalText(record.error), Tone::Error);
    } else {
        for (std::size_t c = 0; c < kReportChecks.size(); ++c) {
            const Verdict status = (record.*(kReportChecks[c].check)).status;
            const std::string word(verdictText(status));
            line += coloured(word, verdictTone(status));
            if (c + 1 < kReportChecks.size()) {
                line.append(kVerdictColumn - std::min(kVerdictColumn - 1, displayWidth(word)), ' ');
            }
        }
    }
    emit(line + "\n");
}

void ScanPrinter::printClosingLine()
{
    if (m_settings.mode == Mode::Quiet) {
        return;
    }
    const std::size_t analysed = m_complete - m_failed;
    std::string line = std::to_string(m_complete) + (m_complete == 1 ? " file: " : " files: ") +
                       std::to_string(analysed) + " analyzed, " + std::to_string(m_failed) + " failed.";
    for (std::size_t c = 0; c < kReportChecks.size() && analysed > 0; ++c) {
        std::string counts;
        for (std::size_t v = 0; v < kVerdicts.size(); ++v) {
            if (m_verdictCounts[c][v] == 0) {
                continue;
            }
            counts += counts.empty() ? "" : ", ";
            counts += std::to_string(m_verdictCounts[c][v]) + " " +
                      coloured(verdictText(kVerdicts[v]), verdictTone(kVerdicts[v]));
        }
        if (!counts.empty()) {
            line += ' ';
            line += kReportChecks[c].name;
            line += ": ";
            line += counts;
            line += '.';
        }
    }
    emit(line + "\n");
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
    line = fitToWidth(line, stderrColumns() - 1);
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
