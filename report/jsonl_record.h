// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "analysis/file_report.h"

namespace orvel {

// The version of the JSON Lines record layout ("version" in every line).
inline constexpr int kJsonlFormatVersion = 1;

inline constexpr std::string_view kOriginCheckName = "Origin";

// The checks of a record whose numbers are all in their CheckResult, under
// their report names, in report order. ORIGIN, whose numbers and facts are in
// the record's OriginFacts, follows them in every record as kOriginCheckName.
[[nodiscard]] std::vector<std::pair<std::string_view, const CheckResult*>> namedChecks(const FileReport& record);
[[nodiscard]] std::vector<std::pair<std::string_view, CheckResult*>> namedChecks(FileReport& record);

// The part a scan's records belong to: shard `index` of `count` (1/1 for a
// whole run), whose part holds `files` records in all. A merge checks with
// them that no part is missing or cut short.
struct JsonlShard {
    unsigned index = 1;
    unsigned count = 1;
    std::size_t files = 0;
    friend bool operator==(const JsonlShard&, const JsonlShard&) = default;
};

// The longest line a record takes, and the most JSON values in one: a record
// with the spectrum and a path at the system's limit stays far below both, and
// a line beyond them is refused before it costs memory.
inline constexpr std::size_t kMaxJsonlLineBytes = std::size_t{1} << 20;
inline constexpr std::size_t kMaxJsonlValues = 16384;

// One record as a single JSON object and a line feed: the fields of the JSON
// report, every check with its measurements (ORIGIN with its cutoff, likely
// source and trace too), the record's place in the input
// list and, with withSpectrum, the spectrum. Numbers are written in their
// shortest form that reads back as the same double, so a record read back
// gives byte-identical JSON, text and CSV reports. A file name that is not
// valid UTF-8 also carries its exact bytes in "PathBase64". With shard, the
// record carries "Shard" ("K/N") and "ShardFiles" after the checks.
void appendJsonlRecord(std::string& out, const FileReport& record, std::size_t index, bool withSpectrum,
                       int analysisVersion, const std::optional<JsonlShard>& shard = std::nullopt);

// A line read back.
struct JsonlRecord {
    std::size_t index = 0;
    int analysisVersion = 0;
    bool hasSpectrum = false; // the line had "SpectrumDb"
    std::optional<JsonlShard> shard; // the line had "Shard" and "ShardFiles"
    FileReport record;
};

// A line that is not a record of this layout; what() says why.
class JsonlError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Reads one line (without its line feed). Throws JsonlError, also for a
// number out of its field's range (a sample rate beyond 32 bits, 1e999), a
// spectrum that is not of kSpectrumBins values and a line of more than
// kMaxJsonlValues values.
[[nodiscard]] JsonlRecord parseJsonlRecord(std::string_view line);

// Base64 (RFC 4648, with padding) of raw bytes, and back; decoding throws
// JsonlError on anything else.
[[nodiscard]] std::string base64Encode(std::string_view bytes);
[[nodiscard]] std::string base64Decode(std::string_view text);

} // namespace orvel
