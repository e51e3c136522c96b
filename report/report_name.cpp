// SPDX-License-Identifier: MIT
#include "report/report_name.h"

#include <cstdint>
#include <string_view>

#include "text/utf8.h"

namespace orvel {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD"; // U+FFFD

// The length of the valid UTF-8 sequence at the start of bytes (0 when it is
// not one) and its code point.
std::size_t validSequence(std::string_view bytes, char32_t& cp)
{
    const auto lead = static_cast<unsigned char>(bytes[0]);
    std::size_t length = 0;
    char32_t min = 0;
    if (lead < 0x80) {
        cp = lead;
        return 1;
    }
    if ((lead & 0xE0) == 0xC0) {
        length = 2, cp = lead & 0x1F, min = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, cp = lead & 0x0F, min = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, cp = lead & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (bytes.size() < length) {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(bytes[i]);
        if ((next & 0xC0) != 0x80) {
            return 0;
        }
        cp = (cp << 6) | (next & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        return 0;
    }
    return length;
}

void appendEscaped(std::string& out, std::string_view bytes)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    out += kReplacement;
    for (const char byte : bytes) {
        const auto value = static_cast<unsigned char>(byte);
        out += "\\x";
        out += kHex[value >> 4];
        out += kHex[value & 0xF];
    }
}

} // namespace

std::string reportName(const std::filesystem::path& path)
{
    const std::string bytes = pathBytes(path);
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t at = 0; at < bytes.size();) {
        char32_t cp = 0;
        const std::size_t length = validSequence(bytes.substr(at), cp);
        if (length == 0) {
            appendEscaped(out, bytes.substr(at, 1));
            ++at;
            continue;
        }
        const bool control = cp < 0x20 || (cp >= 0x7F && cp < 0xA0);
        if (control || cp == 0xFFFD) {
            appendEscaped(out, bytes.substr(at, length));
        } else {
            out.append(bytes.substr(at, length));
        }
        at += length;
    }
    return out;
}

} // namespace orvel
