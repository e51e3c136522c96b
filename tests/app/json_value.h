// SPDX-License-Identifier: MIT
#pragma once

// A strict little JSON reader for checking the program's reports as data
// rather than as frozen bytes. Throws std::runtime_error on anything that is
// not RFC 8259 JSON. Strings come back as UTF-8.
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orvel::testing {

struct JsonValue {
    enum class Kind { Null, Bool, Number, String, Array, Object };
    Kind kind = Kind::Null;
    bool boolean = false;
    double number = 0.0;
    std::string text;
    std::vector<JsonValue> items;                          // Array
    std::vector<std::pair<std::string, JsonValue>> members; // Object, in document order

    [[nodiscard]] bool isNull() const { return kind == Kind::Null; }
    [[nodiscard]] const JsonValue& operator[](std::string_view key) const
    {
        for (const auto& [name, value] : members) {
            if (name == key) {
                return value;
            }
        }
        throw std::runtime_error("no member " + std::string(key));
    }
    [[nodiscard]] std::vector<std::string> keys() const
    {
        std::vector<std::string> names;
        for (const auto& member : members) {
            names.push_back(member.first);
        }
        return names;
    }
};

class JsonReader {
public:
    static JsonValue parse(std::string_view document)
    {
        JsonReader reader(document);
        reader.skipSpace();
        JsonValue value = reader.value();
        reader.skipSpace();
        if (reader.m_at != document.size()) {
            reader.fail("text after the document");
        }
        return value;
    }

private:
    explicit JsonReader(std::string_view text) : m_text(text) {}

    [[noreturn]] void fail(const std::string& what) const
    {
        throw std::runtime_error("JSON: " + what + " at byte " + std::to_string(m_at));
    }
    char peek() const { return m_at < m_text.size() ? m_text[m_at] : '\0'; }
    void expect(char c)
    {
        if (peek() != c) {
            fail(std::string("expected ") + c);
        }
        ++m_at;
    }
    void skipSpace()
    {
        while (m_at < m_text.size() && (peek() == ' ' || peek() == '\t' || peek() == '\n' || peek() == '\r')) {
            ++m_at;
        }
    }
    void literal(std::string_view word)
    {
        if (m_text.substr(m_at, word.size()) != word) {
            fail("bad literal");
        }
        m_at += word.size();
    }

    JsonValue value()
    {
        JsonValue v;
        switch (peek()) {
        case '{': v.kind = JsonValue::Kind::Object; object(v); break;
        case '[': v.kind = JsonValue::Kind::Array; array(v); break;
        case '"': v.kind = JsonValue::Kind::String; v.text = string(); break;
        case 't': v.kind = JsonValue::Kind::Bool; v.boolean = true; literal("true"); break;
        case 'f': v.kind = JsonValue::Kind::Bool; literal("false"); break;
        case 'n': literal("null"); break;
        default: v.kind = JsonValue::Kind::Number; v.number = number(); break;
        }
        return v;
    }

    void object(JsonValue& v)
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
            v.members.emplace_back(std::move(key), value());
            skipSpace();
            if (peek() == ',') {
                ++m_at;
                continue;
            }
            expect('}');
            return;
        }
    }

    void array(JsonValue& v)
    {
        expect('[');
        skipSpace();
        if (peek() == ']') {
            ++m_at;
            return;
        }
        for (;;) {
            skipSpace();
            v.items.push_back(value());
            skipSpace();
            if (peek() == ',') {
                ++m_at;
                continue;
            }
            expect(']');
            return;
        }
    }

    double number()
    {
        // RFC 8259 grammar: -?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?
        const std::size_t start = m_at;
        const auto digits = [&] {
            const std::size_t from = m_at;
            while (peek() >= '0' && peek() <= '9') {
                ++m_at;
            }
            if (m_at == from) {
                fail("digit expected");
            }
        };
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

    unsigned hex4()
    {
        unsigned value = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = peek();
            ++m_at;
            value <<= 4;
            if (c >= '0' && c <= '9') value |= static_cast<unsigned>(c - '0');
            else if (c >= 'a' && c <= 'f') value |= static_cast<unsigned>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F') value |= static_cast<unsigned>(c - 'A' + 10);
            else fail("bad \\u escape");
        }
        return value;
    }

    static void appendUtf8(std::string& out, unsigned cp)
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
                unsigned cp = hex4();
                if (cp >= 0xD800 && cp <= 0xDBFF && m_text.substr(m_at, 2) == "\\u") {
                    m_at += 2;
                    const unsigned low = hex4();
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

} // namespace orvel::testing
