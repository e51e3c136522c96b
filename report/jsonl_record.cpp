// SPDX-License-Identifier: MIT
#include "report/jsonl_record.h"

#include <array>
#include <charconv>
#include <cmath>
#include <limits>

#include "report/json_report.h"
#include "text/utf8.h"

namespace orvel {
namespace {

// Shortest text that reads back as the same double; null for what JSON cannot carry.
void appendExact(std::string& out, double value)
{
    if (!std::isfinite(value)) {
        out += "null";
        return;
    }
    std::array<char, 32> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    out.append(buffer.data(), result.ptr);
}

void appendInteger(std::string& out, long long value) { out += std::to_string(value); }

void appendMeasurements(std::string& out, const std::vector<Measurement>& measurements)
{
    out += ",\"Measurements\":{";
    for (std::size_t i = 0; i < measurements.size(); ++i) {
        if (i > 0) {
            out += ',';
        }
        out += jsonQuote(measurements[i].key);
        out += ':';
        appendExact(out, measurements[i].value);
    }
    out += '}';
}

void appendCheckTexts(std::string& out, std::string_view name, const CheckResult& check)
{
    out += "{\"Name\":";
    out += jsonQuote(name);
    out += ",\"Status\":";
    out += jsonQuote(verdictText(check.status));
    out += ",\"Summary\":";
    out += jsonQuote(check.summary);
    out += ",\"Evidence\":";
    out += jsonQuote(check.evidence);
}

void appendCheck(std::string& out, std::string_view name, const CheckResult& check)
{
    appendCheckTexts(out, name, check);
    appendMeasurements(out, check.measurements);
    out += '}';
}

// ORIGIN keeps its numbers in the record's OriginFacts: they are its
// Measurements, next to the cutoff, the likely source and the trace.
void appendOriginCheck(std::string& out, const CheckResult& check, const OriginFacts& facts)
{
    appendCheckTexts(out, kOriginCheckName, check);
    std::vector<Measurement> numbers;
    numbers.reserve(facts.numbers.size());
    for (const auto& [key, value] : facts.numbers) {
        numbers.push_back({key, value});
    }
    appendMeasurements(out, numbers);
    out += ",\"CutoffKhz\":";
    if (facts.cutoffKhz) {
        appendExact(out, *facts.cutoffKhz);
    } else {
        out += "null";
    }
    out += ",\"LikelySource\":";
    out += jsonQuote(facts.likelySource);
    out += ",\"Trace\":";
    out += jsonQuote(facts.trace);
    out += '}';
}

// A JSON value as the reader needs it: numbers keep their text so integers
// and doubles each read exactly.
struct Value {
    enum class Type { Null, Bool, Number, String, Array, Object } type = Type::Null;
    bool boolean = false;
    std::string text; // string contents, or the number as written
    std::vector<Value> items;
    std::vector<std::pair<std::string, Value>> members;

    [[nodiscard]] const Value* find(std::string_view key) const
    {
        for (const auto& [name, value] : members) {
            if (name == key) {
                return &value;
            }
        }
        return nullptr;
    }
};

class Parser {
public:
    explicit Parser(std::string_view text) : m_text(text) {}

    Value document()
    {
        Value value = parseValue(0);
        skipSpace();
        if (m_pos != m_text.size()) {
            fail("text after the record");
        }
        return value;
    }

private:
    [[noreturn]] void fail(const std::string& what) const
    {
        throw JsonlError("not a record line (" + what + " at byte " + std::to_string(m_pos) + ")");
    }

    void skipSpace()
    {
        while (m_pos < m_text.size() &&
               (m_text[m_pos] == ' ' || m_text[m_pos] == '\t' || m_text[m_pos] == '\r' || m_text[m_pos] == '\n')) {
            ++m_pos;
        }
    }

    bool consume(char ch)
    {
        skipSpace();
        if (m_pos < m_text.size() && m_text[m_pos] == ch) {
            ++m_pos;
            return true;
        }
        return false;
    }

    void expect(char ch)
    {
        if (!consume(ch)) {
            fail(std::string("expected '") + ch + "'");
        }
    }

    bool literal(std::string_view word)
    {
        if (m_text.substr(m_pos, word.size()) == word) {
            m_pos += word.size();
            return true;
        }
        return false;
    }

    Value parseValue(int depth)
    {
        if (depth > 16) {
            fail("nesting too deep");
        }
        skipSpace();
        if (m_pos >= m_text.size()) {
            fail("unexpected end");
        }
        Value value;
        const char ch = m_text[m_pos];
        if (ch == '{') {
            ++m_pos;
            value.type = Value::Type::Object;
            if (consume('}')) {
                return value;
            }
            do {
                skipSpace();
                std::string key = parseString();
                expect(':');
                value.members.emplace_back(std::move(key), parseValue(depth + 1));
            } while (consume(','));
            expect('}');
        } else if (ch == '[') {
            ++m_pos;
            value.type = Value::Type::Array;
            if (consume(']')) {
                return value;
            }
            do {
                value.items.push_back(parseValue(depth + 1));
            } while (consume(','));
            expect(']');
        } else if (ch == '"') {
            value.type = Value::Type::String;
            value.text = parseString();
        } else if (literal("null")) {
            value.type = Value::Type::Null;
        } else if (literal("true")) {
            value.type = Value::Type::Bool;
            value.boolean = true;
        } else if (literal("false")) {
            value.type = Value::Type::Bool;
        } else {
            const std::size_t start = m_pos;
            while (m_pos < m_text.size() && std::string_view("+-.0123456789eE").find(m_text[m_pos]) != std::string_view::npos) {
                ++m_pos;
            }
            if (start == m_pos) {
                fail("unexpected character");
            }
            value.type = Value::Type::Number;
            value.text = std::string(m_text.substr(start, m_pos - start));
        }
        return value;
    }

    unsigned hex4()
    {
        if (m_pos + 4 > m_text.size()) {
            fail("short \\u escape");
        }
        unsigned code = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = m_text[m_pos++];
            code <<= 4;
            if (c >= '0' && c <= '9') {
                code |= static_cast<unsigned>(c - '0');
            } else if (c >= 'a' && c <= 'f') {
                code |= static_cast<unsigned>(c - 'a' + 10);
            } else if (c >= 'A' && c <= 'F') {
                code |= static_cast<unsigned>(c - 'A' + 10);
            } else {
                fail("bad \\u escape");
            }
        }
        return code;
    }

    static void appendUtf8(std::string& out, char32_t cp)
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

    std::string parseString()
    {
        if (m_pos >= m_text.size() || m_text[m_pos] != '"') {
            fail("expected a string");
        }
        ++m_pos;
        std::string out;
        for (;;) {
            if (m_pos >= m_text.size()) {
                fail("unterminated string");
            }
            const char c = m_text[m_pos++];
            if (c == '"') {
                break;
            }
            if (c != '\\') {
                out += c;
                continue;
            }
            if (m_pos >= m_text.size()) {
                fail("unterminated escape");
            }
            const char e = m_text[m_pos++];
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
                if (cp >= 0xD800 && cp < 0xDC00 && literal("\\u")) {
                    const unsigned low = hex4();
                    if (low < 0xDC00 || low > 0xDFFF) {
                        fail("bad surrogate pair");
                    }
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                } else if (cp >= 0xD800 && cp < 0xE000) {
                    fail("lone surrogate");
                }
                appendUtf8(out, cp);
                break;
            }
            default: fail("bad escape");
            }
        }
        if (!isValidUtf8(out)) {
            fail("invalid UTF-8 in a string");
        }
        return out;
    }

    std::string_view m_text;
    std::size_t m_pos = 0;
};

const Value& member(const Value& object, std::string_view key)
{
    const Value* value = object.find(key);
    if (value == nullptr) {
        throw JsonlError("record without \"" + std::string(key) + "\"");
    }
    return *value;
}

std::string stringOf(const Value& object, std::string_view key)
{
    const Value& value = member(object, key);
    if (value.type != Value::Type::String) {
        throw JsonlError("\"" + std::string(key) + "\" is not a string");
    }
    return value.text;
}

double doubleOf(const Value& value, std::string_view key)
{
    if (value.type == Value::Type::Null) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    double number = 0.0;
    const char* first = value.text.data();
    const char* last = first + value.text.size();
    if (value.type != Value::Type::Number || std::from_chars(first, last, number).ptr != last) {
        throw JsonlError("\"" + std::string(key) + "\" is not a number");
    }
    return number;
}

long long integerOf(const Value& object, std::string_view key)
{
    const Value& value = member(object, key);
    long long number = 0;
    const char* first = value.text.data();
    const char* last = first + value.text.size();
    if (value.type != Value::Type::Number || std::from_chars(first, last, number).ptr != last) {
        throw JsonlError("\"" + std::string(key) + "\" is not a whole number");
    }
    return number;
}

Verdict verdictFromText(const std::string& text)
{
    if (text.empty()) {
        return Verdict::None;
    }
    for (const Verdict verdict : kVerdicts) {
        if (verdictText(verdict) == text) {
            return verdict;
        }
    }
    throw JsonlError("unknown status \"" + sanitizeUtf8(text) + "\"");
}

const Value& checkNamed(const Value& checks, std::string_view name)
{
    for (const Value& item : checks.items) {
        if (item.type == Value::Type::Object && item.find("Name") != nullptr && item.find("Name")->text == name) {
            return item;
        }
    }
    throw JsonlError("record without the " + std::string(name) + " check");
}

void readCheckTexts(const Value& check, CheckResult& result)
{
    result.status = verdictFromText(stringOf(check, "Status"));
    result.summary = stringOf(check, "Summary");
    result.evidence = stringOf(check, "Evidence");
}

std::vector<Measurement> readMeasurements(const Value& check)
{
    const Value& measurements = member(check, "Measurements");
    if (measurements.type != Value::Type::Object) {
        throw JsonlError("\"Measurements\" is not an object");
    }
    std::vector<Measurement> result;
    result.reserve(measurements.members.size());
    for (const auto& [key, value] : measurements.members) {
        result.push_back({key, doubleOf(value, key)});
    }
    return result;
}

constexpr std::string_view kBase64 = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

} // namespace

std::vector<std::pair<std::string_view, const CheckResult*>> namedChecks(const FileReport& record)
{
    return {{"Upscaling", &record.upscaling}, {"Upsampling", &record.upsampling}, {"Aac", &record.aacSin}};
}

std::vector<std::pair<std::string_view, CheckResult*>> namedChecks(FileReport& record)
{
    return {{"Upscaling", &record.upscaling}, {"Upsampling", &record.upsampling}, {"Aac", &record.aacSin}};
}

void appendJsonlRecord(std::string& out, const FileReport& record, std::size_t index, bool withSpectrum,
                       int analysisVersion)
{
    out += "{\"version\":";
    appendInteger(out, kJsonlFormatVersion);
    out += ",\"analysis\":";
    appendInteger(out, analysisVersion);
    out += ",\"index\":";
    out += std::to_string(index);
    out += ",\"File\":";
    out += jsonQuote(displayName(record.file));
    if (!isValidUtf8(record.file.native())) {
        out += ",\"PathBase64\":";
        out += jsonQuote(base64Encode(record.file.native()));
    }
    out += ",\"Codec\":";
    out += jsonQuote(record.codec);
    out += ",\"SampleRate\":";
    appendInteger(out, record.sampleRate);
    out += ",\"StoredBits\":";
    appendInteger(out, record.storedBits);
    out += ",\"Channels\":";
    appendInteger(out, record.channelCount);
    out += ",\"Duration\":";
    appendExact(out, record.duration);
    out += ",\"AnalyzedSeconds\":";
    appendExact(out, record.analyzedSeconds);
    out += ",\"Error\":";
    out += record.error.empty() ? std::string("null") : jsonQuote(record.error);
    out += ",\"Checks\":[";
    bool first = true;
    for (const auto& [name, check] : namedChecks(record)) {
        if (!first) {
            out += ',';
        }
        first = false;
        appendCheck(out, name, *check);
    }
    out += ',';
    appendOriginCheck(out, record.origin, record.originFacts);
    out += ']';
    if (withSpectrum) {
        out += ",\"SpectrumDb\":[";
        for (std::size_t i = 0; i < record.spectrumDb.size(); ++i) {
            if (i > 0) {
                out += ',';
            }
            appendExact(out, record.spectrumDb[i]);
        }
        out += ']';
    }
    out += "}\n";
}

JsonlRecord parseJsonlRecord(std::string_view line)
{
    const Value root = Parser(line).document();
    if (root.type != Value::Type::Object) {
        throw JsonlError("a record line holds one JSON object");
    }
    if (integerOf(root, "version") != kJsonlFormatVersion) {
        throw JsonlError("record layout version " + member(root, "version").text + " is not " +
                         std::to_string(kJsonlFormatVersion));
    }
    JsonlRecord result;
    result.analysisVersion = static_cast<int>(integerOf(root, "analysis"));
    const long long index = integerOf(root, "index");
    if (index < 0) {
        throw JsonlError("negative \"index\"");
    }
    result.index = static_cast<std::size_t>(index);
    FileReport& record = result.record;
    if (const Value* raw = root.find("PathBase64")) {
        if (raw->type != Value::Type::String) {
            throw JsonlError("\"PathBase64\" is not a string");
        }
        record.file = std::filesystem::path(base64Decode(raw->text));
    } else {
        record.file = std::filesystem::path(stringOf(root, "File"));
    }
    record.codec = stringOf(root, "Codec");
    record.sampleRate = static_cast<std::int32_t>(integerOf(root, "SampleRate"));
    record.storedBits = static_cast<std::int32_t>(integerOf(root, "StoredBits"));
    record.channelCount = static_cast<std::int32_t>(integerOf(root, "Channels"));
    record.duration = doubleOf(member(root, "Duration"), "Duration");
    record.analyzedSeconds = doubleOf(member(root, "AnalyzedSeconds"), "AnalyzedSeconds");
    if (const Value& error = member(root, "Error"); error.type == Value::Type::String) {
        record.error = error.text;
    } else if (error.type != Value::Type::Null) {
        throw JsonlError("\"Error\" is neither a string nor null");
    }
    const Value& checks = member(root, "Checks");
    if (checks.type != Value::Type::Array) {
        throw JsonlError("\"Checks\" is not a list");
    }
    for (const auto& [name, check] : namedChecks(record)) {
        const Value& found = checkNamed(checks, name);
        readCheckTexts(found, *check);
        check->measurements = readMeasurements(found);
    }
    const Value& origin = checkNamed(checks, kOriginCheckName);
    readCheckTexts(origin, record.origin);
    for (Measurement& number : readMeasurements(origin)) {
        record.originFacts.numbers.emplace_back(std::move(number.key), number.value);
    }
    if (const Value& cutoff = member(origin, "CutoffKhz"); cutoff.type != Value::Type::Null) {
        record.originFacts.cutoffKhz = doubleOf(cutoff, "CutoffKhz");
    }
    record.originFacts.likelySource = stringOf(origin, "LikelySource");
    record.originFacts.trace = stringOf(origin, "Trace");
    if (const Value* spectrum = root.find("SpectrumDb")) {
        if (spectrum->type != Value::Type::Array) {
            throw JsonlError("\"SpectrumDb\" is not a list");
        }
        result.hasSpectrum = true;
        record.spectrumDb.reserve(spectrum->items.size());
        for (const Value& item : spectrum->items) {
            record.spectrumDb.push_back(doubleOf(item, "SpectrumDb"));
        }
    }
    return result;
}

std::string base64Encode(std::string_view bytes)
{
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const unsigned v = (static_cast<unsigned char>(bytes[i]) << 16) |
                           (static_cast<unsigned char>(bytes[i + 1]) << 8) | static_cast<unsigned char>(bytes[i + 2]);
        out += kBase64[(v >> 18) & 63];
        out += kBase64[(v >> 12) & 63];
        out += kBase64[(v >> 6) & 63];
        out += kBase64[v & 63];
    }
    if (const std::size_t left = bytes.size() - i; left > 0) {
        unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
        if (left == 2) {
            v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        }
        out += kBase64[(v >> 18) & 63];
        out += kBase64[(v >> 12) & 63];
        out += left == 2 ? kBase64[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::string base64Decode(std::string_view text)
{
    if (text.size() % 4 != 0) {
        throw JsonlError("\"PathBase64\" is not Base64");
    }
    std::string out;
    for (std::size_t i = 0; i < text.size(); i += 4) {
        unsigned v = 0;
        int padding = 0;
        for (std::size_t k = 0; k < 4; ++k) {
            const char c = text[i + k];
            if (c == '=' && i + 4 == text.size() && k >= 2) {
                ++padding;
                v <<= 6;
                continue;
            }
            const std::size_t digit = kBase64.find(c);
            if (digit == std::string_view::npos || padding > 0) {
                throw JsonlError("\"PathBase64\" is not Base64");
            }
            v = (v << 6) | static_cast<unsigned>(digit);
        }
        out += static_cast<char>((v >> 16) & 0xFF);
        if (padding < 2) {
            out += static_cast<char>((v >> 8) & 0xFF);
        }
        if (padding < 1) {
            out += static_cast<char>(v & 0xFF);
        }
    }
    return out;
}

} // namespace orvel
