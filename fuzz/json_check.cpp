// SPDX-License-Identifier: MIT
#include "fuzz/json_check.h"

#include <cstddef>
#include <cstdint>

namespace orvel::fuzz {

bool isValidUtf8(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        std::uint32_t value = 0;
        std::uint32_t minimum = 0;
        if (lead < 0x80) {
            ++i;
            continue;
        }
        if ((lead & 0xE0) == 0xC0) {
            length = 2, value = lead & 0x1F, minimum = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3, value = lead & 0x0F, minimum = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4, value = lead & 0x07, minimum = 0x10000;
        } else {
            return false;
        }
        if (text.size() - i < length) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            value = (value << 6) | (next & 0x3F);
        }
        if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
            return false;
        }
        i += length;
    }
    return true;
}

namespace {

class Parser {
public:
    explicit Parser(std::string_view text) : m_text(text) {}

    bool document()
    {
        skipSpace();
        if (!value(0)) {
            return false;
        }
        skipSpace();
        return m_pos == m_text.size();
    }

private:
    static constexpr int kMaxDepth = 64;

    [[nodiscard]] bool atEnd() const { return m_pos >= m_text.size(); }
    [[nodiscard]] char peek() const { return atEnd() ? '\0' : m_text[m_pos]; }

    void skipSpace()
    {
        while (!atEnd() && (peek() == ' ' || peek() == '\t' || peek() == '\n' || peek() == '\r')) {
            ++m_pos;
        }
    }

    bool literal(std::string_view word)
    {
        if (m_text.substr(m_pos, word.size()) != word) {
            return false;
        }
        m_pos += word.size();
        return true;
    }

    bool value(int depth)
    {
        if (depth > kMaxDepth) {
            return false;
        }
        switch (peek()) {
        case '{': return object(depth);
        case '[': return array(depth);
        case '"': return string();
        case 't': return literal("true");
        case 'f': return literal("false");
        case 'n': return literal("null");
        default: return number();
        }
    }

    bool object(int depth)
    {
        ++m_pos;
        skipSpace();
        if (peek() == '}') {
            ++m_pos;
            return true;
        }
        for (;;) {
            skipSpace();
            if (peek() != '"' || !string()) {
                return false;
            }
            skipSpace();
            if (peek() != ':') {
                return false;
            }
            ++m_pos;
            skipSpace();
            if (!value(depth + 1)) {
                return false;
            }
            skipSpace();
            if (peek() == ',') {
                ++m_pos;
                continue;
            }
            if (peek() == '}') {
                ++m_pos;
                return true;
            }
            return false;
        }
    }

    bool array(int depth)
    {
        ++m_pos;
        skipSpace();
        if (peek() == ']') {
            ++m_pos;
            return true;
        }
        for (;;) {
            skipSpace();
            if (!value(depth + 1)) {
                return false;
            }
            skipSpace();
            if (peek() == ',') {
                ++m_pos;
                continue;
            }
            if (peek() == ']') {
                ++m_pos;
                return true;
            }
            return false;
        }
    }

    bool hex4(std::uint32_t& out)
    {
        out = 0;
        for (int k = 0; k < 4; ++k) {
            const char c = peek();
            std::uint32_t digit = 0;
            if (c >= '0' && c <= '9') {
                digit = static_cast<std::uint32_t>(c - '0');
            } else if (c >= 'a' && c <= 'f') {
                digit = static_cast<std::uint32_t>(c - 'a' + 10);
            } else if (c >= 'A' && c <= 'F') {
                digit = static_cast<std::uint32_t>(c - 'A' + 10);
            } else {
                return false;
            }
            out = out * 16 + digit;
            ++m_pos;
        }
        return true;
    }

    bool string()
    {
        ++m_pos;
        for (;;) {
            if (atEnd()) {
                return false;
            }
            const auto c = static_cast<unsigned char>(m_text[m_pos]);
            if (c == '"') {
                ++m_pos;
                return true;
            }
            if (c < 0x20) {
                return false;
            }
            if (c != '\\') {
                ++m_pos;
                continue;
            }
            ++m_pos;
            const char escape = peek();
            ++m_pos;
            switch (escape) {
            case '"': case '\\': case '/': case 'b': case 'f': case 'n': case 'r': case 't':
                break;
            case 'u': {
                std::uint32_t unit = 0;
                if (!hex4(unit)) {
                    return false;
                }
                if (unit >= 0xDC00 && unit <= 0xDFFF) {
                    return false; // a low surrogate alone
                }
                if (unit >= 0xD800 && unit <= 0xDBFF) {
                    std::uint32_t low = 0;
                    if (!literal("\\u") || !hex4(low) || low < 0xDC00 || low > 0xDFFF) {
                        return false;
                    }
                }
                break;
            }
            default:
                return false;
            }
        }
    }

    bool digits()
    {
        const std::size_t start = m_pos;
        while (peek() >= '0' && peek() <= '9') {
            ++m_pos;
        }
        return m_pos > start;
    }

    bool number()
    {
        if (peek() == '-') {
            ++m_pos;
        }
        if (peek() == '0') {
            ++m_pos;
        } else if (!digits()) {
            return false;
        }
        if (peek() == '.') {
            ++m_pos;
            if (!digits()) {
                return false;
            }
        }
        if (peek() == 'e' || peek() == 'E') {
            ++m_pos;
            if (peek() == '+' || peek() == '-') {
                ++m_pos;
            }
            if (!digits()) {
                return false;
            }
        }
        return true;
    }

    std::string_view m_text;
    std::size_t m_pos = 0;
};

} // namespace

bool isStrictJson(std::string_view text)
{
    return isValidUtf8(text) && Parser(text).document();
}

} // namespace orvel::fuzz
