// SPDX-License-Identifier: MIT
#include "tests/support/png.h"

#include <cstdint>

namespace orvel::testing {

namespace {

std::uint32_t bigEndian(std::string_view bytes, std::size_t at)
{
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    }
    return value;
}

} // namespace

std::optional<PngHeader> readPngHeader(std::string_view bytes)
{
    constexpr std::string_view kSignature("\x89PNG\r\n\x1a\n", 8);
    if (!bytes.starts_with(kSignature)) {
        return std::nullopt;
    }
    std::optional<PngHeader> header;
    std::size_t at = kSignature.size();
    bool first = true;
    while (at + 12 <= bytes.size()) {
        const std::uint32_t length = bigEndian(bytes, at);
        const std::string_view type = bytes.substr(at + 4, 4);
        if (length > bytes.size() - at - 12) {
            return std::nullopt;
        }
        if (first != (type == "IHDR")) {
            return std::nullopt;
        }
        if (first) {
            if (length != 13) {
                return std::nullopt;
            }
            header = PngHeader{static_cast<int>(bigEndian(bytes, at + 8)), static_cast<int>(bigEndian(bytes, at + 12)),
                               static_cast<unsigned char>(bytes[at + 16]), static_cast<unsigned char>(bytes[at + 17])};
        }
        first = false;
        at += 12 + length;
        if (type == "IEND") {
            return at == bytes.size() ? header : std::nullopt;
        }
    }
    return std::nullopt;
}

} // namespace orvel::testing
