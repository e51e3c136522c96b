// SPDX-License-Identifier: MIT
#include "scan/terminal_text.h"


#include <charconv>
#include <cstdlib>
#include <cstring>

#include "platform/process.h"
#include "text/utf8.h"

namespace orvel {
namespace {

bool isControl(char32_t cp) { return cp < 0x20 || (cp >= 0x7F && cp < 0xA0); }

bool isCombining(char32_t cp)
{
    return (cp >= 0x0300 && cp <= 0x036F) || (cp >= 0x1AB0 && cp <= 0x1AFF) || (cp >= 0x1DC0 && cp <= 0x1DFF) ||
           (cp >= 0x200B && cp <= 0x200F) || (cp >= 0x20D0 && cp <= 0x20FF) || (cp >= 0xFE00 && cp <= 0xFE0F) ||
           (cp >= 0xFE20 && cp <= 0xFE2F);
}

bool isWide(char32_t cp)
{
    return (cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0x303E) || (cp >= 0x3041 && cp <= 0x33FF) ||
           (cp >= 0x3400 && cp <= 0x4DBF) || (cp >= 0x4E00 && cp <= 0x9FFF) || (cp >= 0xA000 && cp <= 0xA4CF) ||
           (cp >= 0xAC00 && cp <= 0xD7A3) || (cp >= 0xF900 && cp <= 0xFAFF) || (cp >= 0xFE30 && cp <= 0xFE4F) ||
           (cp >= 0xFF00 && cp <= 0xFF60) || (cp >= 0xFFE0 && cp <= 0xFFE6) || (cp >= 0x1F300 && cp <= 0x1F64F) ||
           (cp >= 0x1F900 && cp <= 0x1F9FF) || (cp >= 0x20000 && cp <= 0x3FFFD);
}

// Code points of valid UTF-8 (what terminalText produces), one at a time; a
// stray byte counts as one column.
std::size_t nextCodePoint(std::string_view utf8, std::size_t i, char32_t& cp)
{
    const std::size_t len = decodeUtf8At(utf8, i, cp);
    if (len == 0) {
        cp = 0xFFFD;
        return 1;
    }
    return len;
}

std::size_t columnsOf(char32_t cp) { return isCombining(cp) ? 0 : isWide(cp) ? 2 : 1; }

} // namespace

std::string toneSequence(Tone tone)
{
    // The terminal's own palette, which its user chose to read on its
    // background; fixed 24-bit colours read well on one background only.
    switch (tone) {
    case Tone::Primary: return {};
    case Tone::Secondary: return "\x1b[1m";
    case Tone::Accent: return "\x1b[32m";
    case Tone::Evidence: return "\x1b[35m";
    case Tone::Error: return "\x1b[1;31m";
    }
    return {};
}

std::string terminalText(std::string_view text, bool keepLineBreaks)
{
    const std::string valid = sanitizeUtf8(text);
    std::string safe;
    safe.reserve(valid.size());
    std::size_t i = 0;
    while (i < valid.size()) {
        char32_t cp = 0;
        const std::size_t len = nextCodePoint(valid, i, cp);
        if (cp == U'\r' && i + 1 < valid.size() && valid[i + 1] == '\n') {
            safe += keepLineBreaks ? '\n' : ' ';
            i += 2;
            continue;
        }
        if (isControl(cp)) {
            safe += "\xEF\xBF\xBD"; // U+FFFD
        } else {
            safe.append(valid, i, len);
        }
        i += len;
    }
    return safe;
}

std::size_t displayWidth(std::string_view utf8)
{
    std::size_t columns = 0;
    std::size_t i = 0;
    while (i < utf8.size()) {
        char32_t cp = 0;
        i += nextCodePoint(utf8, i, cp);
        columns += columnsOf(cp);
    }
    return columns;
}

std::string fitToWidth(std::string_view utf8, std::size_t columns)
{
    std::size_t used = 0;
    std::size_t i = 0;
    while (i < utf8.size()) {
        char32_t cp = 0;
        const std::size_t len = nextCodePoint(utf8, i, cp);
        const std::size_t width = columnsOf(cp);
        if (used + width > columns) {
            break;
        }
        used += width;
        i += len;
    }
    return std::string(utf8.substr(0, i));
}

std::string fitWithEllipsis(std::string_view utf8, std::size_t columns)
{
    if (displayWidth(utf8) <= columns) {
        return std::string(utf8);
    }
    if (columns == 0) {
        return {};
    }
    return fitToWidth(utf8, columns - 1) + "\u2026";
}

std::string shortenMiddle(std::string_view utf8, std::size_t columns)
{
    if (displayWidth(utf8) <= columns) {
        return std::string(utf8);
    }
    if (columns < 2) {
        return fitWithEllipsis(utf8, columns);
    }
    // The end of a path names the file, so it keeps the larger part.
    const std::size_t headColumns = (columns - 1) / 3;
    const std::size_t tailColumns = columns - 1 - headColumns;
    std::string head = fitToWidth(utf8, headColumns);
    std::size_t start = utf8.size();
    std::size_t used = 0;
    while (start > 0) {
        std::size_t begin = start - 1;
        while (begin > 0 && (static_cast<unsigned char>(utf8[begin]) & 0xC0) == 0x80) {
            --begin;
        }
        const std::size_t width = displayWidth(utf8.substr(begin, start - begin));
        if (used + width > tailColumns) {
            break;
        }
        used += width;
        start = begin;
    }
    return head + "\u2026" + std::string(utf8.substr(start));
}

std::size_t environmentColumns()
{
    if (const char* columns = std::getenv("COLUMNS"); columns != nullptr) {
        std::size_t value = 0;
        const char* end = columns + std::strlen(columns);
        if (const auto parsed = std::from_chars(columns, end, value);
            parsed.ec == std::errc() && parsed.ptr == end && value > 0) {
            return value;
        }
    }
    return 0;
}

std::size_t terminalColumns(int fd)
{
    if (const std::size_t width = terminalWidth(fd); width > 0) {
        return width;
    }
    const std::size_t columns = environmentColumns();
    return columns > 0 ? columns : 80;
}

} // namespace orvel
