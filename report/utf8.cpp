// SPDX-License-Identifier: MIT
#include "report/utf8.h"

#include <cstdint>

namespace orvel {
namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr char32_t kEscapeBase = 0xDC00; // U+DC80..U+DCFF carry raw bytes 0x80..0xFF

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

bool isSurrogate(char32_t cp) { return cp >= 0xD800 && cp <= 0xDFFF; }

// Decodes one well-formed UTF-8 sequence at text[i]; returns its length, or 0
// when the bytes there are not a valid, shortest-form scalar value.
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

std::string toUtf8(std::wstring_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t cp = static_cast<char32_t>(text[i]);
        if constexpr (sizeof(wchar_t) == 2) {
            if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size()) {
                const char32_t lowPart = static_cast<char32_t>(text[i + 1]);
                if (lowPart >= 0xDC00 && lowPart <= 0xDFFF) {
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (lowPart - 0xDC00);
                    ++i;
                }
            }
        }
        if (isSurrogate(cp) || cp > 0x10FFFF) {
            cp = kReplacement;
        }
        appendUtf8(out, cp);
    }
    return out;
}

namespace {

void appendWide(std::wstring& out, char32_t cp)
{
    if constexpr (sizeof(wchar_t) == 2) {
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<wchar_t>(0xD800 + (cp >> 10));
            out += static_cast<wchar_t>(0xDC00 + (cp & 0x3FF));
            return;
        }
    }
    out += static_cast<wchar_t>(cp);
}

template <bool EscapeBytes>
std::wstring decodeUtf8(std::string_view text)
{
    std::wstring out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        char32_t cp = 0;
        const std::size_t len = decodeOne(text, i, cp);
        if (len > 0) {
            appendWide(out, cp);
            i += len;
        } else if constexpr (EscapeBytes) {
            out += static_cast<wchar_t>(kEscapeBase + static_cast<unsigned char>(text[i]));
            ++i;
        } else {
            out += static_cast<wchar_t>(kReplacement);
            i += invalidRun(text, i);
        }
    }
    return out;
}

} // namespace

std::wstring fromUtf8(std::string_view text) { return decodeUtf8<false>(text); }

std::wstring widePathFromNative(std::string_view nativeBytes) { return decodeUtf8<true>(nativeBytes); }

std::string nativePathFromWide(std::wstring_view widePath)
{
    std::string out;
    out.reserve(widePath.size());
    for (std::size_t i = 0; i < widePath.size(); ++i) {
        const char32_t cp = static_cast<char32_t>(widePath[i]);
        if (cp >= kEscapeBase + 0x80 && cp <= kEscapeBase + 0xFF) {
            out += static_cast<char>(cp - kEscapeBase);
        } else {
            out += toUtf8(widePath.substr(i, 1));
        }
    }
    return out;
}

std::filesystem::path toFsPath(std::wstring_view widePath)
{
    return std::filesystem::path(nativePathFromWide(widePath));
}

std::wstring fromFsPath(const std::filesystem::path& path) { return widePathFromNative(path.native()); }

} // namespace orvel
