// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "analysis/verdict.h"

namespace orvel {

// One number a check measured, under a stable lower-case key such as
// "channel1_grid_bits"; machine-readable outputs carry it next to the texts.
struct Measurement {
    std::string key;
    double value = 0.0;
};

// The numbers ORIGIN reports besides its texts; empty where not measured.
struct OriginFacts {
    std::optional<double> cutoffKhz;     // lossy-style lowpass edge
    std::string likelySource;            // "like MP3 128 kb/s", or empty
    std::string trace;                   // the trace behind the verdict, or empty
    std::vector<std::pair<std::string, double>> numbers; // every measurement, by name
};

// Outcome of one check; status is None only in a record whose analysis failed.
// Texts are UTF-8.
struct CheckResult {
    CheckResult() = default;
    // Measurements are optional, so "{verdict, summary, evidence}" stays complete.
    CheckResult(Verdict status_, std::string summary_, std::string evidence_, std::vector<Measurement> measurements_ = {})
        : status(status_), summary(std::move(summary_)), evidence(std::move(evidence_)),
          measurements(std::move(measurements_))
    {
    }

    Verdict status = Verdict::None;
    std::string summary;
    std::string evidence; // may hold several lines separated by CR LF
    std::vector<Measurement> measurements; // in the order measured; never shown in the texts
};

// The per-file result record. A record with a non-empty error carries only
// file and error. Move it where it changes hands: spectrumDb holds 2049 values.
struct FileReport {
    std::filesystem::path file; // as the caller named it; reports show displayName(file)
    std::string codec;
    std::string error;
    std::int32_t sampleRate = 0;
    std::int32_t storedBits = 0;
    std::int32_t channelCount = 0;
    double duration = 0.0;
    double analyzedSeconds = 0.0;
    CheckResult upscaling;
    CheckResult upsampling;
    CheckResult aacSin;
    std::vector<double> spectrumDb; // dB relative to the strongest bin, floor -120

    // The fourth check, not part of the JSON report's fixed record: where the
    // audio was before (a lossy codec's frame grid or lowpass, a lower rate).
    // Its numbers are in originFacts; origin.measurements stays empty.
    CheckResult origin;
    OriginFacts originFacts;
    // Set only when the run was asked for a spectrogram picture per file: the
    // written picture's file name, or why a file analysed without error has none.
    std::string pictureName;
    std::string pictureError;
    // Set only for an HTML report with pictures: the file's small spectrogram as PNG.
    std::vector<unsigned char> thumbnailPng;
};

// The checks a record carries, in the order every text, table, list and
// picture shows them; a further check is one more entry here.
struct ReportCheck {
    std::string_view title;      // table and list header: "UPSCALING"
    std::string_view name;       // in running text and pictures: "Upscaling"
    std::string_view blockTitle; // heading of its block in the text summary
    CheckResult FileReport::*check;
};

inline constexpr std::array<ReportCheck, 4> kReportChecks{{
    {"UPSCALING", "Upscaling", "UPSCALING", &FileReport::upscaling},
    {"UPSAMPLING", "Upsampling", "UPSAMPLING", &FileReport::upsampling},
    {"AAC-SIN", "AAC-SIN", "AAC-SIN \u00B7 EXPERIMENTAL", &FileReport::aacSin},
    {"ORIGIN", "Origin", "ORIGIN", &FileReport::origin},
}};

// Receives stage texts on the analysing thread. May be empty; an empty one is never called.
using ProgressCallback = std::function<void(const std::string&)>;

} // namespace orvel
