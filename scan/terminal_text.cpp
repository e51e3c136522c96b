// SPDX-License-Identifier: MIT
#include "scan/terminal_text.h"

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
    const Rgb colour = toneColour(tone);
    return "\x1b[38;2;" + std::to_string(colour.red) + ';' + std::to_string(colour.green) + ';' +
           std::to_string(colour.blue) + 'm';
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

} // namespace orvel
