// SPDX-License-Identifier: MIT
#pragma once

#include <string_view>

namespace orvel {

// What the checks look for, as both front ends' --help says it.
inline constexpr std::string_view kChecksDescription =
    "Looks for signs that lossless audio files once were of lower quality:\n"
    "padded sample precision (Upscaling), a spectrum cut at a lower rate's\n"
    "Nyquist frequency (Upsampling), an AAC frame-grid fingerprint (AAC-SIN),\n"
    "and an MP3 or AAC encoder's frame grid, a lossy lowpass or a lower\n"
    "source rate left in the audio (Origin).\n"
    "Findings are clues, not proof. Each file is analysed for up to 30 seconds.\n";

} // namespace orvel
