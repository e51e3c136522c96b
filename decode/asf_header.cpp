// SPDX-License-Identifier: MIT
#include "decode/asf_header.h"

#include <array>
#include <cstdint>
#include <cstring>

#include "decode/input_file.h"

namespace orvel {
namespace {

using Guid = std::array<unsigned char, 16>;
constexpr Guid kHeaderObject = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
constexpr Guid kFilePropertiesObject = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                                        0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
// GUID and 64-bit size open every object; the header object adds a count and two reserved bytes.
constexpr std::uint64_t kObjectHead = 24;
constexpr std::uint64_t kHeaderObjectHead = 30;
// The header's sub-objects are few; a bound keeps a damaged count from looping long.
constexpr int kMaxObjects = 256;

std::uint64_t littleEndian(const unsigned char* bytes, int count)
{
    std::uint64_t value = 0;
    for (int i = count - 1; i >= 0; --i) {
        value = value << 8 | bytes[i];
    }
    return value;
}

} // namespace

std::optional<double> asfDeclaredSeconds(const InputFile& file)
{
    std::array<unsigned char, kHeaderObjectHead> head{};
    if (file.readAt(0, head.data(), head.size()) != head.size() ||
        std::memcmp(head.data(), kHeaderObject.data(), kHeaderObject.size()) != 0) {
        return std::nullopt;
    }
    const std::uint64_t headerEnd = littleEndian(&head[16], 8);
    std::uint64_t at = kHeaderObjectHead;
    for (int i = 0; i < kMaxObjects && at + kObjectHead <= headerEnd; ++i) {
        // File ID 16, file size 8, creation date 8, packet count 8, then play
        // duration and send duration (100 ns units), preroll (ms) and flags.
        std::array<unsigned char, kObjectHead + 16 + 8 + 8 + 8 + 8 + 8 + 8 + 4> object{};
        const std::size_t got = file.readAt(at, object.data(), object.size());
        if (got < kObjectHead) {
            return std::nullopt;
        }
        const std::uint64_t size = littleEndian(&object[16], 8);
        if (std::memcmp(object.data(), kFilePropertiesObject.data(), kFilePropertiesObject.size()) == 0) {
            if (got != object.size()) {
                return std::nullopt;
            }
            const std::uint64_t play = littleEndian(&object[kObjectHead + 40], 8);
            const std::uint64_t preroll = littleEndian(&object[kObjectHead + 56], 8);
            const std::uint64_t flags = littleEndian(&object[kObjectHead + 64], 4);
            if ((flags & 1) != 0) {
                return std::nullopt; // broadcast: the fields are not valid
            }
            return static_cast<double>(play) / 1e7 - static_cast<double>(preroll) / 1e3;
        }
        if (size < kObjectHead) {
            return std::nullopt;
        }
        at += size;
    }
    return std::nullopt;
}

} // namespace orvel
