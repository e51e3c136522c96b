// SPDX-License-Identifier: MIT
#pragma once

// The soname kestrone-scan-absent-ffmpeg asks for in place of libavcodec's:
// no system has a library of that name.
namespace orvel::testing {
inline constexpr const char* kAbsentAvcodecSoname = "libavcodec-kestrone-absent.so.1";
} // namespace orvel::testing
