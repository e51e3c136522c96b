// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "analysis/analysis_options.h"
#include "decode/decoded_audio.h"

namespace orvel {

// What computeSpectrogram measures. Passed by value; validated by computeSpectrogram.
struct SpectrogramOptions {
    static constexpr std::int32_t kCombinedChannels = -1;

    std::size_t frameLength = 4096; // Hann frame: 2048, 4096 or 8192 samples
    std::size_t columns = 1000;     // time steps, 1..20000: one per pixel of the picture's width
    double rangeDb = 120.0;         // levels below -rangeDb dBFS are shown as -rangeDb; 20..200
    // kCombinedChannels: the per-bin maximum of the first two channels' power,
    // as the averaged spectrum combines them; otherwise a 0-based channel index.
    std::int32_t channel = kCombinedChannels;
    AnalysisOptions analysis; // threads and transform form; neither changes the result
};

// Levels over time of the analysed region. Column c is the frame centred at
// (c + 0.5) / columns of the region (moved inside it where it would reach past
// an end), so the columns span 0 .. seconds evenly. Bin b is b x binHz() Hz,
// 0 .. sampleRate / 2.
struct Spectrogram {
    std::size_t columns = 0;
    std::size_t bins = 0; // frameLength / 2 + 1
    std::size_t frameLength = 0;
    std::int32_t sampleRate = 0;
    double seconds = 0.0; // analysed seconds the columns span
    double rangeDb = 120.0;
    // dB relative to full scale (a full-scale sine at a bin centre reads 0),
    // never below -rangeDb; column-major: levelsDb[c x bins + b].
    std::vector<float> levelsDb;

    [[nodiscard]] double binHz() const
    {
        return frameLength == 0 ? 0.0 : static_cast<double>(sampleRate) / static_cast<double>(frameLength);
    }
    [[nodiscard]] float level(std::size_t column, std::size_t bin) const { return levelsDb[column * bins + bin]; }
};

// The spectrogram of audio (the record analyzeFile decodes). A region shorter
// than one frame is zero-padded. Uses a second thread when options.analysis
// allows; the result does not depend on it. Throws std::invalid_argument for
// options out of range or a channel the audio does not have, Cancelled when
// stopRequested is seen set (at entry and between columns).
[[nodiscard]] Spectrogram computeSpectrogram(const DecodedAudio& audio, SpectrogramOptions options,
                                             const std::atomic<bool>& stopRequested);

} // namespace orvel
