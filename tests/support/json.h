// SPDX-License-Identifier: MIT
#pragma once

// One strict JSON reader for the tests and the fuzz targets: RFC 8259 grammar
// only, valid UTF-8 only, \u surrogates only as proper pairs, at most 64
// levels deep. Strings come back as UTF-8.
#include <optional>
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
    std::vector<JsonValue> items;                           // Array
    std::vector<std::pair<std::string, JsonValue>> members; // Object, in document order

    // Out of line: the members hold JsonValue, complete only after this class.
    JsonValue();
    JsonValue(const JsonValue&);
    JsonValue(JsonValue&&) noexcept;
    JsonValue& operator=(const JsonValue&);
    JsonValue& operator=(JsonValue&&) noexcept;
    ~JsonValue();

    [[nodiscard]] bool isNull() const { return kind == Kind::Null; }
    // The member of that name; throws std::runtime_error when there is none.
    [[nodiscard]] const JsonValue& operator[](std::string_view key) const;
    [[nodiscard]] std::vector<std::string> keys() const;
    // A string's text; nullopt for null or any other kind.
    [[nodiscard]] std::optional<std::string> optionalText() const;
};

// Throws std::runtime_error (with the byte offset) on anything that is not
// strict JSON in valid UTF-8.
[[nodiscard]] JsonValue parseJson(std::string_view document);

// True when text is well-formed UTF-8: shortest forms only, no surrogates,
// nothing above U+10FFFF.
[[nodiscard]] bool isValidUtf8(std::string_view text);

// True when parseJson accepts text.
[[nodiscard]] bool isStrictJson(std::string_view text);

} // namespace orvel::testing
