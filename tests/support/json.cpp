// SPDX-License-Identifier: MIT
#include "tests/support/json.h"

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace orvel::testing {

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

JsonValue parseJson(std::string_view document)
{
    // The independent checker first, so that the fuzz targets do not judge
    // the UTF-8 they write with the same code that wrote it.
    if (!isValidUtf8(document)) {
        throw std::runtime_error("JSON: not valid UTF-8");
    }
    try {
        return readJson(document);
    } catch (const JsonSyntaxError& error) {
        throw std::runtime_error(std::string("JSON: ") + error.what());
    }
}

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
