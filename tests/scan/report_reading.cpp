// SPDX-License-Identifier: MIT
#include "tests/scan/report_reading.h"

#include <stdexcept>

namespace scantest {

std::filesystem::path audioDir() { return std::filesystem::path(KESTRONE_TEST_AUDIO_DIR) / "scan"; }
std::string scanProgram() { return KESTRONE_SCAN_EXECUTABLE; }
std::string kestroneProgram() { return KESTRONE_EXECUTABLE; }

std::vector<std::string> jsonRecords(const std::string& document)
{
    std::vector<std::string> records;
    for (std::string line : lines(document)) {
        if (line.starts_with("{\"File\"")) {
            if (line.ends_with(",")) {
                line.pop_back();
            }
            records.push_back(line);
        }
    }
    return records;
}

namespace {

// Decodes the JSON string starting at the opening quote at `at`.
std::string decodeString(const std::string& text, std::size_t at)
{
    std::string out;
    for (std::size_t i = at + 1; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            return out;
        }
        if (c != '\\') {
            out += c;
            continue;
        }
        const char e = text.at(++i);
        switch (e) {
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u': out += static_cast<char>(std::stoi(text.substr(i + 1, 4), nullptr, 16)); i += 4; break;
        default: out += e;
        }
    }
    throw std::runtime_error("unterminated JSON string");
}

std::size_t valueStart(const std::string& record, const std::string& key, std::size_t from = 0)
{
    const std::string pattern = "\"" + key + "\":";
    const std::size_t at = record.find(pattern, from);
    if (at == std::string::npos) {
        throw std::runtime_error("no key " + key);
    }
    return at + pattern.size();
}

} // namespace

std::optional<std::string> jsonString(const std::string& record, const std::string& key)
{
    const std::size_t at = valueStart(record, key);
    if (record.compare(at, 4, "null") == 0) {
        return std::nullopt;
    }
    return decodeString(record, at);
}

std::string jsonNumber(const std::string& record, const std::string& key)
{
    const std::size_t at = valueStart(record, key);
    return record.substr(at, record.find_first_of(",}", at) - at);
}

std::string jsonStatus(const std::string& record, const std::string& check)
{
    return decodeString(record, valueStart(record, "Status", valueStart(record, check)));
}

std::vector<std::vector<std::string>> csvRows(const std::string& document)
{
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> row;
    std::string field;
    bool quoted = false;
    for (std::size_t i = 0; i < document.size(); ++i) {
        const char c = document[i];
        if (quoted) {
            if (c == '"' && i + 1 < document.size() && document[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"' && field.empty()) {
            quoted = true;
        } else if (c == ',') {
            row.push_back(field);
            field.clear();
        } else if (c == '\r' && i + 1 < document.size() && document[i + 1] == '\n') {
            row.push_back(field);
            field.clear();
            rows.push_back(row);
            row.clear();
            ++i;
        } else if (c == '\r' || c == '\n' || c == '"') {
            throw std::runtime_error("bare CR, LF or quote outside a quoted CSV field");
        } else {
            field += c;
        }
    }
    if (!field.empty() || !row.empty() || quoted) {
        throw std::runtime_error("CSV does not end with CR LF");
    }
    return rows;
}

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> result;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        result.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return result;
}

} // namespace scantest
