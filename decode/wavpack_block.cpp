// SPDX-License-Identifier: MIT
#include "decode/wavpack_block.h"

namespace orvel {
namespace {

constexpr std::size_t kHeaderSize = 32;
constexpr std::size_t kFlagsOffset = 24;
constexpr std::uint32_t kBytesPerSampleMask = 0x3;
constexpr std::uint32_t kHybridFlag = 0x8;
constexpr std::uint32_t kFloatFlag = 0x80;
constexpr std::uint32_t kShiftLsb = 13;
constexpr std::uint32_t kShiftMask = 0x1f;
constexpr std::uint32_t kDsdFlag = 0x80000000u;

} // namespace

std::optional<WavpackBlockFacts> wavpackBlockFacts(const std::uint8_t* data, std::size_t size)
{
    if (data == nullptr || size < kHeaderSize || data[0] != 'w' || data[1] != 'v' || data[2] != 'p' ||
        data[3] != 'k') {
        return std::nullopt;
    }
    const std::uint32_t flags = static_cast<std::uint32_t>(data[kFlagsOffset]) |
                                static_cast<std::uint32_t>(data[kFlagsOffset + 1]) << 8 |
                                static_cast<std::uint32_t>(data[kFlagsOffset + 2]) << 16 |
                                static_cast<std::uint32_t>(data[kFlagsOffset + 3]) << 24;
    WavpackBlockFacts facts;
    facts.dsd = (flags & kDsdFlag) != 0;
    facts.floatSamples = (flags & kFloatFlag) != 0;
    facts.hybrid = (flags & kHybridFlag) != 0;
    const std::uint32_t storedBits = ((flags & kBytesPerSampleMask) + 1) * 8;
    // A 20-bit source is stored in 3 bytes with 4 zero low bits declared; the
    // shift is meaningless for floats.
    const std::uint32_t shift = facts.floatSamples ? 0 : (flags >> kShiftLsb) & kShiftMask;
    facts.bitsPerSample = shift < storedBits ? storedBits - shift : storedBits;
    return facts;
}

} // namespace orvel
