// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>

namespace orvel {

// The bit depth an ALAC magic cookie declares. The cookie's last 24 bytes are
// ALAC's configuration record (big-endian): compatible version at offset 4
// (must be 0), bit depth at 5 (taken when 8..32), channel count at 9 and
// sample rate at 20..23 (both must equal the stream's). Returns 0 when the
// blob is shorter than 24 bytes, 64 KiB or longer, or any test fails.
[[nodiscard]] std::uint32_t alacCookieBitDepth(const std::uint8_t* cookie, std::size_t size,
                                               std::uint32_t channels, std::uint32_t sampleRate);

} // namespace orvel
