// SPDX-License-Identifier: MIT
#include "report/jsonl_record.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>

#include "analysis/averaged_spectrum.h"
#include "analysis/conclusion.h"
#include "report/json_reader.h"
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
    out += ',';
    appendCheckMembers(out, check);
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

// A line as its JSON value; the reader keeps each number's text, so whole
// numbers and doubles each read exactly.
JsonValue readLine(std::string_view line)
{
    if (line.size() > kMaxJsonlLineBytes) {
        throw JsonlError("a line of " + std::to_string(line.size()) + " bytes is longer than any record");
    }
    try {
        return readJson(line, kMaxJsonlValues);
    } catch (const JsonSyntaxError& error) {
        throw JsonlError(std::string("not a record line (") + error.what() + ")");
    }
}

const JsonValue& member(const JsonValue& object, std::string_view key)
{
    const JsonValue* value = object.find(key);
    if (value == nullptr) {
        throw JsonlError("record without \"" + std::string(key) + "\"");
    }
    return *value;
}

std::string stringOf(const JsonValue& object, std::string_view key)
{
    const JsonValue& value = member(object, key);
    if (value.kind != JsonValue::Kind::String) {
        throw JsonlError("\"" + std::string(key) + "\" is not a string");
    }
    return value.text;
}

double doubleOf(const JsonValue& value, std::string_view key)
{
    if (value.kind == JsonValue::Kind::Null) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    double number = 0.0;
    const char* first = value.text.data();
    const char* last = first + value.text.size();
    const auto [end, error] = std::from_chars(first, last, number);
    if (value.kind != JsonValue::Kind::Number || end != last) {
        throw JsonlError("\"" + std::string(key) + "\" is not a number");
    }
    // from_chars leaves 0 for 1e999: a record never holds what a double cannot.
    if (error != std::errc() || !std::isfinite(number)) {
        throw JsonlError("\"" + std::string(key) + "\" is out of range (" + value.text.substr(0, 40) + ")");
    }
    return number;
}

// A whole number within [low, high]; a 20-digit or 33-bit value is refused,
// not cut to fit.
long long wholeNumberOf(const JsonValue& value, std::string_view key, long long low, long long high)
{
    long long number = 0;
    const char* first = value.text.data();
    const char* last = first + value.text.size();
    const auto [end, error] = std::from_chars(first, last, number);
    if (value.kind != JsonValue::Kind::Number || end != last) {
        throw JsonlError("\"" + std::string(key) + "\" is not a whole number");
    }
    if (error != std::errc() || number < low || number > high) {
        throw JsonlError("\"" + std::string(key) + "\" is out of range (" + value.text.substr(0, 40) + ", not " +
                         std::to_string(low) + " to " + std::to_string(high) + ")");
    }
    return number;
}

long long integerOf(const JsonValue& object, std::string_view key, long long low = 0,
                    long long high = std::numeric_limits<std::int32_t>::max())
{
    return wholeNumberOf(member(object, key), key, low, high);
}

double nonNegativeOf(const JsonValue& object, std::string_view key)
{
    const double number = doubleOf(member(object, key), key);
    if (number < 0.0) {
        throw JsonlError("\"" + std::string(key) + "\" is negative");
    }
    return number;
}

std::optional<JsonlShard> readShard(const JsonValue& root)
{
    const JsonValue* shard = root.find("Shard");
    if (shard == nullptr) {
        return std::nullopt;
    }
    const auto bad = [] { return JsonlError("\"Shard\" is not K/N with 1 <= K <= N"); };
    if (shard->kind != JsonValue::Kind::String) {
        throw bad();
    }
    const std::string& text = shard->text;
    const std::size_t slash = text.find('/');
    JsonlShard result;
    const auto number = [&](std::size_t from, std::size_t to, unsigned& out) {
        const auto [end, error] = std::from_chars(text.data() + from, text.data() + to, out);
        return from < to && error == std::errc() && end == text.data() + to;
    };
    if (slash == std::string::npos || !number(0, slash, result.index) ||
        !number(slash + 1, text.size(), result.count) || result.index < 1 || result.index > result.count) {
        throw bad();
    }
    result.files = static_cast<std::size_t>(
        integerOf(root, "ShardFiles", 1, std::numeric_limits<long long>::max()));
    return result;
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

const JsonValue& checkNamed(const JsonValue& checks, std::string_view name)
{
    for (const JsonValue& item : checks.items) {
        if (item.kind == JsonValue::Kind::Object && item.find("Name") != nullptr && item.find("Name")->text == name) {
            return item;
        }
    }
    throw JsonlError("record without the " + std::string(name) + " check");
}

void readCheckTexts(const JsonValue& check, CheckResult& result)
{
    result.status = verdictFromText(stringOf(check, "Status"));
    result.summary = stringOf(check, "Summary");
    result.evidence = stringOf(check, "Evidence");
}

std::vector<Measurement> readMeasurements(const JsonValue& check)
{
    const JsonValue& measurements = member(check, "Measurements");
    if (measurements.kind != JsonValue::Kind::Object) {
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
                       int analysisVersion, const std::optional<JsonlShard>& shard)
{
    out += "{\"version\":";
    appendInteger(out, kJsonlFormatVersion);
    out += ",\"analysis\":";
    appendInteger(out, analysisVersion);
    out += ",\"index\":";
    out += std::to_string(index);
    out += ",\"File\":";
    out += jsonQuote(displayName(record.file));
    if (const std::string bytes = pathBytes(record.file); !isValidUtf8(bytes)) {
        out += ",\"PathBase64\":";
        out += jsonQuote(base64Encode(bytes));
    }
    appendRecordFacts(out, record, appendExact);
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
    if (shard) {
        out += ",\"Shard\":\"" + std::to_string(shard->index) + "/" + std::to_string(shard->count) +
               "\",\"ShardFiles\":" + std::to_string(shard->files);
    }
    // Derived from the checks above, for readers that want the answer only;
    // reading a record back computes it again. The spectrum, when asked for,
    // stays last.
    const Conclusion conclusion = concludeFile(record);
    out += ",\"Conclusion\":";
    out += jsonQuote(conclusionText(conclusion));
    out += ",\"ConclusionLevel\":";
    out += jsonQuote(conclusionLevelName(conclusion.level));
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
    const JsonValue root = readLine(line);
    if (root.kind != JsonValue::Kind::Object) {
        throw JsonlError("a record line holds one JSON object");
    }
    if (integerOf(root, "version") != kJsonlFormatVersion) {
        throw JsonlError("record layout version " + member(root, "version").text + " is not " +
                         std::to_string(kJsonlFormatVersion));
    }
    JsonlRecord result;
    result.analysisVersion = static_cast<int>(integerOf(root, "analysis", 1));
    result.index =
        static_cast<std::size_t>(integerOf(root, "index", 0, std::numeric_limits<long long>::max()));
    result.shard = readShard(root);
    FileReport& record = result.record;
    if (const JsonValue* raw = root.find("PathBase64")) {
        if (raw->kind != JsonValue::Kind::String) {
            throw JsonlError("\"PathBase64\" is not a string");
        }
        record.file = pathFromBytes(base64Decode(raw->text));
    } else {
        record.file = pathFromBytes(stringOf(root, "File"));
    }
    record.codec = stringOf(root, "Codec");
    record.sampleRate = static_cast<std::int32_t>(integerOf(root, "SampleRate"));
    record.storedBits = static_cast<std::int32_t>(integerOf(root, "StoredBits", 0, 64));
    record.channelCount = static_cast<std::int32_t>(integerOf(root, "Channels"));
    record.duration = nonNegativeOf(root, "Duration");
    record.analyzedSeconds = nonNegativeOf(root, "AnalyzedSeconds");
    if (const JsonValue& error = member(root, "Error"); error.kind == JsonValue::Kind::String) {
        record.error = error.text;
    } else if (error.kind != JsonValue::Kind::Null) {
        throw JsonlError("\"Error\" is neither a string nor null");
    }
    const JsonValue& checks = member(root, "Checks");
    if (checks.kind != JsonValue::Kind::Array) {
        throw JsonlError("\"Checks\" is not a list");
    }
    for (const auto& [name, check] : namedChecks(record)) {
        const JsonValue& found = checkNamed(checks, name);
        readCheckTexts(found, *check);
        check->measurements = readMeasurements(found);
    }
    const JsonValue& origin = checkNamed(checks, kOriginCheckName);
    readCheckTexts(origin, record.origin);
    for (Measurement& number : readMeasurements(origin)) {
        record.originFacts.numbers.emplace_back(std::move(number.key), number.value);
    }
    if (const JsonValue& cutoff = member(origin, "CutoffKhz"); cutoff.kind != JsonValue::Kind::Null) {
        record.originFacts.cutoffKhz = doubleOf(cutoff, "CutoffKhz");
    }
    record.originFacts.likelySource = stringOf(origin, "LikelySource");
    record.originFacts.trace = stringOf(origin, "Trace");
    if (const JsonValue* spectrum = root.find("SpectrumDb")) {
        if (spectrum->kind != JsonValue::Kind::Array) {
            throw JsonlError("\"SpectrumDb\" is not a list");
        }
        // Empty in a failed record; a spectrum of any other length is not one
        // this program wrote.
        if (!spectrum->items.empty() && spectrum->items.size() != kSpectrumBins) {
            throw JsonlError("\"SpectrumDb\" holds " + std::to_string(spectrum->items.size()) + " values, not " +
                             std::to_string(kSpectrumBins));
        }
        result.hasSpectrum = true;
        record.spectrumDb.reserve(spectrum->items.size());
        for (const JsonValue& item : spectrum->items) {
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
