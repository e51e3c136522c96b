// SPDX-License-Identifier: MIT
#pragma once

// One strict JSON reader: RFC 8259 grammar only, valid UTF-8 only, \u
// surrogates only as proper pairs, at most 64 levels deep, so that what a
// lenient parser would let through, or a deeply nested line that would
// exhaust the stack, is refused. Strings come back as UTF-8.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orvel {

struct JsonValue {
    enum class Kind { Null, Bool, Number, String, Array, Object };
    Kind kind = Kind::Null;
    bool boolean = false;
    double number = 0.0;
    // A string's contents; for a number, the number as written, so that
    // whole numbers and doubles can each be read exactly.
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
    // The member of that name, or nullptr.
    [[nodiscard]] const JsonValue* find(std::string_view key) const;
    // The member of that name; throws std::runtime_error when there is none.
    [[nodiscard]] const JsonValue& operator[](std::string_view key) const;
    [[nodiscard]] std::vector<std::string> keys() const;
    // A string's text; nullopt for null or any other kind.
    [[nodiscard]] std::optional<std::string> optionalText() const;
};

// What is wrong and at which byte, as "expected : at byte 12".
class JsonSyntaxError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Throws JsonSyntaxError on anything that is not strict JSON in valid UTF-8,
// and on a document of more than maxValues values (each costs far more memory
// than its text, so a reader of untrusted lines bounds them).
[[nodiscard]] JsonValue readJson(std::string_view document, std::size_t maxValues = SIZE_MAX);

} // namespace orvel
