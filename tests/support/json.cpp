// SPDX-License-Identifier: MIT
#include "tests/support/json.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>

namespace orvel::testing {

JsonValue::JsonValue() = default;
JsonValue::JsonValue(const JsonValue&) = default;
JsonValue::JsonValue(JsonValue&&) noexcept = default;
JsonValue& JsonValue::operator=(const JsonValue&) = default;
JsonValue& JsonValue::operator=(JsonValue&&) noexcept = default;
JsonValue::~JsonValue() = default;

const JsonValue& JsonValue::operator[](std::string_view key) const
{
    for (const auto& [name, value] : members) {
        if (name == key) {
            return value;
        }
    }
    throw std::runtime_error("no member " + std::string(key));
}

std::vector<std::string> JsonValue::keys() const
{
    std::vector<std::string> names;
    for (const auto& member : members) {
        names.push_back(member.first);
    }
    return names;
}

std::optional<std::string> JsonValue::optionalText() const
{
    if (kind != Kind::String) {
        return std::nullopt;
    }
    return text;
}

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

    JsonValue document()
    {
        if (!isValidUtf8(m_text)) {
            throw std::runtime_error("JSON: not valid UTF-8");
        }
        skipSpace();
        JsonValue result = value(0);
        skipSpace();
        if (m_at != m_text.size()) {
            fail("text after the document");
        }
        return result;
    }

private:
    // Reports nest four deep; the limit keeps any input from exhausting the stack.
    static constexpr int kMaxDepth = 64;

    [[noreturn]] void fail(const std::string& what) const
    {
        throw std::runtime_error("JSON: " + what + " at byte " + std::to_string(m_at));
    }
    [[nodiscard]] char peek() const { return m_at < m_text.size() ? m_text[m_at] : '\0'; }
    void expect(char c)
    {
        if (peek() != c) {
            fail(std::string("expected ") + c);
        }
        ++m_at;
    }
    void skipSpace()
    {
        while (peek() == ' ' || peek() == '\t' || peek() == '\n' || peek() == '\r') {
            ++m_at;
        }
    }
    bool consume(std::string_view word)
    {
        if (m_text.substr(m_at, word.size()) != word) {
            return false;
        }
        m_at += word.size();
        return true;
    }
    void literal(std::string_view word)
    {
        if (!consume(word)) {
            fail("bad literal");
        }
    }

    JsonValue value(int depth)
    {
        if (depth > kMaxDepth) {
            fail("nested too deep");
        }
        JsonValue v;
        switch (peek()) {
        case '{': v.kind = JsonValue::Kind::Object; object(v, depth); break;
        case '[': v.kind = JsonValue::Kind::Array; array(v, depth); break;
        case '"': v.kind = JsonValue::Kind::String; v.text = string(); break;
        case 't': v.kind = JsonValue::Kind::Bool; v.boolean = true; literal("true"); break;
        case 'f': v.kind = JsonValue::Kind::Bool; literal("false"); break;
        case 'n': literal("null"); break;
        default: v.kind = JsonValue::Kind::Number; v.number = number(); break;
        }
        return v;
    }

    void object(JsonValue& v, int depth)
    {
        expect('{');
        skipSpace();
        if (peek() == '}') {
            ++m_at;
            return;
        }
        for (;;) {
            skipSpace();
            std::string key = string();
            skipSpace();
            expect(':');
            skipSpace();
            v.members.emplace_back(std::move(key), value(depth + 1));
            skipSpace();
            if (peek() == ',') {
                ++m_at;
                continue;
            }
            expect('}');
            return;
        }
    }

    void array(JsonValue& v, int depth)
    {
        expect('[');
        skipSpace();
        if (peek() == ']') {
            ++m_at;
            return;
        }
        for (;;) {
            skipSpace();
            v.items.push_back(value(depth + 1));
            skipSpace();
            if (peek() == ',') {
                ++m_at;
                continue;
            }
            expect(']');
            return;
        }
    }

    void digits()
    {
        const std::size_t from = m_at;
        while (peek() >= '0' && peek() <= '9') {
            ++m_at;
        }
        if (m_at == from) {
            fail("digit expected");
        }
    }

    double number()
    {
        // -?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?
        const std::size_t start = m_at;
        if (peek() == '-') {
            ++m_at;
        }
        if (peek() == '0') {
            ++m_at;
        } else {
            digits();
        }
        if (peek() == '.') {
            ++m_at;
            digits();
        }
        if (peek() == 'e' || peek() == 'E') {
            ++m_at;
            if (peek() == '+' || peek() == '-') {
                ++m_at;
            }
            digits();
        }
        return std::strtod(std::string(m_text.substr(start, m_at - start)).c_str(), nullptr);
    }

    std::uint32_t hex4()
    {
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = peek();
            std::uint32_t digit = 0;
            if (c >= '0' && c <= '9') {
                digit = static_cast<std::uint32_t>(c - '0');
            } else if (c >= 'a' && c <= 'f') {
                digit = static_cast<std::uint32_t>(c - 'a' + 10);
            } else if (c >= 'A' && c <= 'F') {
                digit = static_cast<std::uint32_t>(c - 'A' + 10);
            } else {
                fail("bad \\u escape");
            }
            value = value * 16 + digit;
            ++m_at;
        }
        return value;
    }

    static void appendUtf8(std::string& out, std::uint32_t cp)
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

    std::string string()
    {
        expect('"');
        std::string out;
        for (;;) {
            if (m_at >= m_text.size()) {
                fail("unterminated string");
            }
            const auto c = static_cast<unsigned char>(m_text[m_at++]);
            if (c == '"') {
                return out;
            }
            if (c < 0x20) {
                fail("raw control character in a string");
            }
            if (c != '\\') {
                out += static_cast<char>(c);
                continue;
            }
            const char e = peek();
            ++m_at;
            switch (e) {
            case '"': out += '"'; break;
            case '\\': out += '\\'; break;
            case '/': out += '/'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'u': {
                std::uint32_t cp = hex4();
                if (cp >= 0xDC00 && cp <= 0xDFFF) {
                    fail("a low surrogate alone");
                }
                if (cp >= 0xD800 && cp <= 0xDBFF) {
                    if (!consume("\\u")) {
                        fail("a high surrogate alone");
                    }
                    const std::uint32_t low = hex4();
                    if (low < 0xDC00 || low > 0xDFFF) {
                        fail("a high surrogate alone");
                    }
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                }
                appendUtf8(out, cp);
                break;
            }
            default: fail("bad escape");
            }
        }
    }

    std::string_view m_text;
    std::size_t m_at = 0;
};

} // namespace

JsonValue parseJson(std::string_view document) { return Parser(document).document(); }

bool isStrictJson(std::string_view text)
{
    try {
        (void)parseJson(text);
        return true;
    } catch (const std::runtime_error&) {
        return false;
    }
}

} // namespace orvel::testing
