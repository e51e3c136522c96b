// SPDX-License-Identifier: MIT
#include "report/json_reader.h"

#include <charconv>
#include <cstddef>
#include <limits>
#include <system_error>

#include "text/utf8.h"

namespace orvel {

JsonValue::JsonValue() = default;
JsonValue::JsonValue(const JsonValue&) = default;
JsonValue::JsonValue(JsonValue&&) noexcept = default;
JsonValue& JsonValue::operator=(const JsonValue&) = default;
JsonValue& JsonValue::operator=(JsonValue&&) noexcept = default;
JsonValue::~JsonValue() = default;

const JsonValue* JsonValue::find(std::string_view key) const
{
    for (const auto& [name, value] : members) {
        if (name == key) {
            return &value;
        }
    }
    return nullptr;
}

const JsonValue& JsonValue::operator[](std::string_view key) const
{
    if (const JsonValue* value = find(key)) {
        return *value;
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

namespace {

class Parser {
public:
    Parser(std::string_view text, std::size_t maxValues) : m_text(text), m_maxValues(maxValues) {}

    JsonValue document()
    {
        for (char32_t cp = 0; m_at < m_text.size();) {
            const std::size_t length = decodeUtf8At(m_text, m_at, cp);
            if (length == 0) {
                fail("not valid UTF-8");
            }
            m_at += length;
        }
        m_at = 0;
        skipSpace();
        JsonValue result = value(0);
        skipSpace();
        if (m_at != m_text.size()) {
            fail("text after the document");
        }
        return result;
    }

private:
    // Reports and records nest four deep; the limit keeps any input from
    // exhausting the stack.
    static constexpr int kMaxDepth = 64;

    [[noreturn]] void fail(const std::string& what) const
    {
        throw JsonSyntaxError(what + " at byte " + std::to_string(m_at));
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
        if (++m_values > m_maxValues) {
            fail("more than " + std::to_string(m_maxValues) + " values");
        }
        JsonValue v;
        switch (peek()) {
        case '{': v.kind = JsonValue::Kind::Object; object(v, depth); break;
        case '[': v.kind = JsonValue::Kind::Array; array(v, depth); break;
        case '"': v.kind = JsonValue::Kind::String; v.text = string(); break;
        case 't': v.kind = JsonValue::Kind::Bool; v.boolean = true; literal("true"); break;
        case 'f': v.kind = JsonValue::Kind::Bool; literal("false"); break;
        case 'n': literal("null"); break;
        default: v.kind = JsonValue::Kind::Number; number(v); break;
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

    void number(JsonValue& v)
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
        v.text = std::string(m_text.substr(start, m_at - start));
        // from_chars, not strtod: the locale's decimal point must not matter.
        const char* first = v.text.data();
        const char* last = first + v.text.size();
        if (std::from_chars(first, last, v.number).ec == std::errc::result_out_of_range) {
            const bool tiny = v.text.find("e-") != std::string::npos || v.text.find("E-") != std::string::npos;
            v.number = tiny ? 0.0 : std::numeric_limits<double>::infinity();
            if (v.text.front() == '-') {
                v.number = -v.number;
            }
        }
    }

    char32_t hex4()
    {
        char32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = peek();
            char32_t digit = 0;
            if (c >= '0' && c <= '9') {
                digit = static_cast<char32_t>(c - '0');
            } else if (c >= 'a' && c <= 'f') {
                digit = static_cast<char32_t>(c - 'a' + 10);
            } else if (c >= 'A' && c <= 'F') {
                digit = static_cast<char32_t>(c - 'A' + 10);
            } else {
                fail("bad \\u escape");
            }
            value = value * 16 + digit;
            ++m_at;
        }
        return value;
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
                char32_t cp = hex4();
                if (cp >= 0xDC00 && cp <= 0xDFFF) {
                    fail("a low surrogate alone");
                }
                if (cp >= 0xD800 && cp <= 0xDBFF) {
                    if (!consume("\\u")) {
                        fail("a high surrogate alone");
                    }
                    const char32_t low = hex4();
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
    std::size_t m_maxValues;
    std::size_t m_values = 0;
    std::size_t m_at = 0;
};

} // namespace

JsonValue readJson(std::string_view document, std::size_t maxValues)
{
    return Parser(document, maxValues).document();
}

} // namespace orvel
