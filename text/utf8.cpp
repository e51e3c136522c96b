// SPDX-License-Identifier: MIT
#include "text/utf8.h"

#include <cstdint>

namespace orvel {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD"; // U+FFFD

bool isSurrogate(char32_t cp) { return cp >= 0xD800 && cp <= 0xDFFF; }

std::size_t decodeOne(std::string_view text, std::size_t i, char32_t& cp)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char b0 = byte(i);
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    }
    std::size_t len = 0;
    char32_t value = 0;
    char32_t minimum = 0;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2, value = b0 & 0x1F, minimum = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3, value = b0 & 0x0F, minimum = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4, value = b0 & 0x07, minimum = 0x10000;
    } else {
        return 0;
    }
    if (i + len > text.size()) {
        return 0;
    }
    for (std::size_t k = 1; k < len; ++k) {
        const unsigned char b = byte(i + k);
        if ((b & 0xC0) != 0x80) {
            return 0;
        }
        value = (value << 6) | (b & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || isSurrogate(value)) {
        return 0;
    }
    cp = value;
    return len;
}

// Length of the maximal invalid prefix at text[i], so that one bad sequence
// gives one replacement character (the WHATWG / Unicode "maximal subpart" rule).
std::size_t invalidRun(std::string_view text, std::size_t i)
{
    const unsigned char b0 = static_cast<unsigned char>(text[i]);
    std::size_t len = 0;
    unsigned char lo = 0x80, hi = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3;
        if (b0 == 0xE0) lo = 0xA0;
        if (b0 == 0xED) hi = 0x9F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4;
        if (b0 == 0xF0) lo = 0x90;
        if (b0 == 0xF4) hi = 0x8F;
    } else {
        return 1;
    }
    std::size_t k = 1;
    for (; k < len && i + k < text.size(); ++k) {
        const unsigned char b = static_cast<unsigned char>(text[i + k]);
        const unsigned char l = k == 1 ? lo : 0x80;
        const unsigned char h = k == 1 ? hi : 0xBF;
        if (b < l || b > h) {
            break;
        }
    }
    return k;
}

} // namespace

std::size_t decodeUtf8At(std::string_view text, std::size_t i, char32_t& cp) { return decodeOne(text, i, cp); }

std::string sanitizeUtf8(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        char32_t cp = 0;
        const std::size_t len = decodeOne(text, i, cp);
        if (len > 0) {
            out.append(text.substr(i, len));
            i += len;
        } else {
            out += kReplacement;
            i += invalidRun(text, i);
        }
    }
    return out;
}

std::string displayBytes(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    std::size_t i = 0;
    while (i < bytes.size()) {
        char32_t cp = 0;
        const std::size_t len = decodeOne(bytes, i, cp);
        if (len > 0) {
            out.append(bytes.substr(i, len));
            i += len;
        } else {
            // One replacement per byte: two names that differ in one stray byte
            // keep different lengths on screen.
            out += kReplacement;
            ++i;
        }
    }
    return out;
}

#if defined(_WIN32)
namespace {

// UTF-16 as UTF-8; an unpaired surrogate becomes U+FFFD for display, or
// keeps its own three-byte form where the bytes must name the file again.
std::string utf8OfName(const std::wstring& name, bool keepUnpaired)
{
    std::string out;
    out.reserve(name.size());
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto unit = static_cast<char32_t>(name[i]);
        const auto next = i + 1 < name.size() ? static_cast<char32_t>(name[i + 1]) : char32_t{0};
        if (unit >= 0xD800 && unit < 0xDC00 && next >= 0xDC00 && next < 0xE000) {
            appendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00));
            ++i;
        } else if (unit >= 0xD800 && unit < 0xE000 && !keepUnpaired) {
            out += kReplacement;
        } else if (unit >= 0xD800 && unit < 0xE000) {
            out += static_cast<char>(0xE0 | (unit >> 12));
            out += static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (unit & 0x3F));
        } else {
            appendUtf8(out, unit);
        }
    }
    return out;
}

} // namespace

// Windows names are UTF-16: each unpaired surrogate shows as one replacement.
std::string displayName(const std::filesystem::path& path) { return utf8OfName(path.native(), false); }

std::string pathBytes(const std::filesystem::path& path) { return utf8OfName(path.native(), true); }

// libstdc++ on Windows reads a char string as one code unit per byte, so the
// UTF-8 is decoded here; bytes that are not UTF-8 keep a code unit each.
std::filesystem::path pathFromBytes(std::string_view bytes)
{
    std::wstring name;
    name.reserve(bytes.size());
    std::size_t i = 0;
    while (i < bytes.size()) {
        char32_t cp = 0;
        std::size_t length = decodeOne(bytes, i, cp);
        if (length == 0 && i + 2 < bytes.size() && static_cast<unsigned char>(bytes[i]) == 0xED &&
            (bytes[i + 1] & 0xE0) == 0xA0 && (bytes[i + 2] & 0xC0) == 0x80) {
            // The three-byte form of an unpaired surrogate, as pathBytes writes it.
            cp = ((bytes[i] & 0x0Fu) << 12) | ((bytes[i + 1] & 0x3Fu) << 6) | (bytes[i + 2] & 0x3Fu);
            length = 3;
        }
        if (length == 0) {
            cp = static_cast<unsigned char>(bytes[i]);
            length = 1;
        }
        if (cp >= 0x10000) {
            name += static_cast<wchar_t>(0xD800 + ((cp - 0x10000) >> 10));
            name += static_cast<wchar_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            name += static_cast<wchar_t>(cp);
        }
        i += length;
    }
    return std::filesystem::path(std::move(name));
}
#else
std::string displayName(const std::filesystem::path& path) { return displayBytes(path.native()); }
std::string pathBytes(const std::filesystem::path& path) { return path.native(); }
std::filesystem::path pathFromBytes(std::string_view bytes) { return std::filesystem::path(std::string(bytes)); }
#endif

void appendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

bool isValidUtf8(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size()) {
        char32_t cp = 0;
        const std::size_t len = decodeOne(text, i, cp);
        if (len == 0) {
            return false;
        }
        i += len;
    }
    return true;
}

} // namespace orvel
