// SPDX-License-Identifier: MIT
#include "decode/alac_cookie.h"

namespace orvel {
namespace {

constexpr std::size_t kConfigSize = 24;
constexpr std::size_t kMaxCookieSize = 65536;

} // namespace

std::uint32_t alacCookieBitDepth(const std::uint8_t* cookie, std::size_t size, std::uint32_t channels,
                                 std::uint32_t sampleRate)
{
    if (cookie == nullptr || size < kConfigSize || size >= kMaxCookieSize) {
        return 0;
    }
    const std::uint8_t* config = cookie + size - kConfigSize;
    const std::uint32_t version = config[4];
    const std::uint32_t bitDepth = config[5];
    const std::uint32_t cookieChannels = config[9];
    const std::uint32_t cookieRate = (std::uint32_t{config[20]} << 24) | (std::uint32_t{config[21]} << 16) |
                                     (std::uint32_t{config[22]} << 8) | config[23];
    if (version != 0 || cookieChannels != channels || cookieRate != sampleRate || bitDepth < 8 || bitDepth > 32) {
        return 0;
    }
    return bitDepth;
}

} // namespace orvel
