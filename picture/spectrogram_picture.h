// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/spectrogram.h"

namespace orvel {

// Size of a labelled picture in pixels, kMinWidth x kMinHeight .. kMax x kMax.
struct PictureSize {
    static constexpr int kMinWidth = 400;
    static constexpr int kMinHeight = 240;
    static constexpr int kMax = 4096; // a 4K picture; its buffers take about 190 MB

    int width = 1200;
    int height = 700;

    bool operator==(const PictureSize&) const = default;
};

// "WxH" (also "WXH"), decimal digits only, within the limits above; nothing otherwise.
[[nodiscard]] std::optional<PictureSize> parsePictureSize(std::string_view text);

// One verdict line of the title: a check's name and its verdict word(s), UTF-8.
struct PictureVerdict {
    std::string check;   // "Upscaling"
    std::string verdict; // "No evidence"
};

// What the title line and the markings say. All text UTF-8; invalid bytes are
// shown as U+FFFD, text too long for the width ends in an ellipsis.
struct PictureLabels {
    std::string fileName;          // shown as given: pass the file name, not the whole path
    std::string conclusion;        // the file's conclusion, after the name; empty leaves it out
    std::uint32_t conclusionColour = 0x303030; // 0xRRGGBB
    std::string codec;             // "FLAC"
    std::int32_t sampleRate = 0;   // Hz; 0 leaves it out
    std::int32_t bits = 0;         // stored bits; 0 (lossy or unknown) leaves it out
    std::vector<PictureVerdict> verdicts;
    std::optional<double> cutoffHz; // a measured lowpass edge: marked with a dashed line and its value
    std::uint32_t cutoffColour = 0x94A4B8; // the window's colour for the edge: amber when it is a finding
};

// Where the spectrogram lands inside a picture of a given size. Compute the
// spectrogram with options.columns = plotArea(size).width so that every column
// is one pixel wide; any other count is stretched to fit.
struct PlotArea {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};
[[nodiscard]] PlotArea plotArea(PictureSize size);

// A rendered picture: width x height opaque pixels 0xFFRRGGBB, rows top to
// bottom without padding (QImage::Format_ARGB32 with bytesPerLine = 4 x width
// on a little-endian machine reads them as they are).
struct PictureImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
};

// Renders the labelled picture: the spectrogram in a perceptually ordered
// colour map (frequency 0 .. sampleRate / 2 upwards, time 0 .. seconds to the
// right), the kHz and seconds axes with ticks, a dBFS colour bar for
// 0 .. -rangeDb, the title line, and the cutoff line where labels have one.
// Text is set in Noto Sans with fixed font options, so the same input gives
// the same pixels on every run. Throws std::invalid_argument for a size out of
// range or an empty spectrogram, std::runtime_error when drawing fails.
[[nodiscard]] PictureImage renderSpectrogramImage(const Spectrogram& spectrogram, const PictureLabels& labels,
                                                  PictureSize size);

// PNG bytes of an image (libpng): 8-bit RGB, no timestamp or other optional
// chunk, so equal images give equal bytes. Throws std::runtime_error when
// encoding fails.
[[nodiscard]] std::vector<unsigned char> encodePng(const PictureImage& image);

// renderSpectrogramImage, then encodePng: the bytes every front end writes.
[[nodiscard]] std::vector<unsigned char> renderSpectrogramPng(const Spectrogram& spectrogram,
                                                              const PictureLabels& labels, PictureSize size);

// Writes bytes to target through ReplacingFileWriter: complete or not at all,
// never a partial file under the target's name. Throws std::runtime_error with
// a user-readable UTF-8 message naming the target when it cannot.
void writePictureFile(const std::filesystem::path& target, std::span<const unsigned char> bytes);

} // namespace orvel
