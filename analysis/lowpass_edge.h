// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "analysis/uninitialized_vector.h"

namespace orvel {

// Long-term spectrum of the first two channels for the edge traces: periodic
// Hann frames of 4096 samples up to 48 kHz (doubled per rate octave), without
// overlap, at most 240 spread evenly over the samples; the two channels' power
// summed and smoothed with an 86 Hz boxcar; per frame as power, and the mean
// over frames in dB.
struct LongTermSpectrum {
    double binHz = 0.0;
    std::int32_t bins = 0;
    std::int32_t frames = 0;
    std::int32_t overlappedFrames = 0; // what frames overlapping by half would number
    std::int32_t frameLength = 0;
    std::vector<double> meanDb;  // bins values
    UninitializedVector<float> framePower; // frames x bins, linear; every value written
};

[[nodiscard]] LongTermSpectrum longTermSpectrum(std::span<const double> left, std::span<const double> right,
                                                std::int32_t sampleRate, const std::atomic<bool>& stopRequested);

// Level in dB of a band of the long-term spectrum that rounding to a word
// with step lsb (full scale 1) adds, per bin, both channels summed.
[[nodiscard]] double roundingNoiseDb(const LongTermSpectrum& lts, double lsb);

// dB of the mean power of bins [a, b) of a spectrum given in dB; -300 for an
// empty band.
[[nodiscard]] double meanBandDb(const std::vector<double>& db, std::int32_t a, std::int32_t b);

// A lossy-style lowpass: where the spectrum ends, how steeply, and how often
// frames reach above it.
struct EdgeMeasurement {
    bool found = false;
    double edgeHz = 0.0;
    double steepness = 0.0;     // dB per kHz across the edge, active frames
    double aboveShare = 0.0;    // share of active frames whose top lies above edge + 0.3 kHz
    double floorOverNoise = 0.0; // dB of the band above the edge over the stored word's rounding noise
    std::int32_t activeFrames = 0;
    std::int32_t requiredActiveFrames = 20; // for a verdict; see measureEdge
    double nyquistHz = 0.0;     // the Nyquist the edge was searched below
};

// Searches the highest edge >= 1 kHz below nyquistHz (Nyquist or a lower
// one for an upsampled file). loudLsb sets the "clearly above 16-bit
// rounding" level the band below the edge must reach; storedLsb the word
// whose rounding noise the floor is compared with.
[[nodiscard]] EdgeMeasurement measureEdge(const LongTermSpectrum& lts, double nyquistHz, double storedLsb);

// The lowpass trace on a file: the edge below the file's Nyquist, and for
// files above 48 kHz with an edge at 0.9..1.0 x 22.05 or 24 kHz, the edge
// below that lower Nyquist.
[[nodiscard]] EdgeMeasurement lossyLowpassEdge(const LongTermSpectrum& lts, std::int32_t sampleRate,
                                               double storedLsb);

enum class EdgeVerdict { NoEvidence, Inconclusive, Possible, Likely };

// The rules: inconclusive under 3 s or with fewer than the required active
// frames (20 of frames overlapping by half, scaled to the frames measured); none
// at or above min(0.93 x Nyquist, 21 kHz); hard = steep >= 30 and above <=
// 0.05, soft = steep >= 20 and above <= 0.10; below 15 kHz possible if hard;
// 15..19.5 kHz likely if hard and not just below 11.025, 12 or 16 kHz, else
// possible if soft; from 19.5 kHz possible if hard.
[[nodiscard]] EdgeVerdict judgeEdge(const EdgeMeasurement& m, double seconds);

// The bitrates lossy encoders cut at that edge, across codecs: "like a lossy
// encoder at about 96-160 kb/s" for 16.7 kHz; empty outside 15.9-20.5 kHz.
[[nodiscard]] std::string lowpassResemblance(double edgeHz);

} // namespace orvel
