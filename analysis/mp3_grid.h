// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace orvel {

// The MP3 frame-grid trace: the Layer III hybrid filterbank re-applied on the
// right 576-sample grid finds far more near-zero lines than on any other grid,
// because the encoder quantised them to zero.
struct Mp3GridMeasurement {
    double verified = 0.0;   // near-zero share at the best offset over the verification granules
    double baseline = 0.0;   // median of the seven control offsets' shares
    double spread = 0.0;     // their standard deviation
    double samePhase = 0.0;  // the control at best + 288, on the best's polyphase phase
    double threshold = 0.0;  // near-zero bound on a line
    std::int32_t offset = 0; // best grid offset, 0..575
    std::int32_t firstLine = 4;
    std::int32_t lastLine = 4; // examined lines firstLine .. lastLine - 1
    std::int32_t granules = 0; // verification granules that counted
    [[nodiscard]] double excess() const { return verified - baseline; }
    [[nodiscard]] double z() const { return excess() / (spread > 0.001 ? spread : 0.001); }
};

struct Mp3GridInput {
    std::span<const double> left;
    std::span<const double> right; // empty for mono
    double lsb = 0.0;               // step of the measured sample grid (full scale 1)
    std::int32_t bandLimit = 64;    // the AAC-SIN band limit in bins of 1024
    double rms = -1.0;              // of the two channels together; measured when negative
};

// Searches the 576 offsets (a subset of granules, a first pass over eight
// subbands below the band limit, then every subband for the best eight) and
// verifies the best against seven controls at best + 72 j. Offset 528, the
// grid of common gapless decodes, is verified first and kept when it passes
// on its own. Progress texts "MP3 grid · 37%"; throws Cancelled on a stop
// (checked at least every polyphase phase).
[[nodiscard]] Mp3GridMeasurement searchMp3Grid(const Mp3GridInput& input, const std::atomic<bool>& stopRequested,
                                               const std::function<void(const std::string&)>& progress);

// Measures one offset over the verification granules (tests and the search).
[[nodiscard]] double mp3GridFraction(const Mp3GridInput& input, std::int32_t offset);

// excess >= 0.03 and z >= 10, and the best beats the control on its own
// polyphase phase by at least half the excess: Layer I and II leave zeros on
// the polyphase phase alone, so there that control is as high as the best.
[[nodiscard]] bool mp3GridFound(const Mp3GridMeasurement& m);
// There is no weaker verdict: Layer II files (twolame) reach z 5-9 with an
// excess of 0.01-0.03 on the 576 grid aligned with their frames.

} // namespace orvel
