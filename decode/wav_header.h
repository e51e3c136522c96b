// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <optional>

namespace orvel {

class InputFile;

// What a WAV-family or AIFF header declares, read from the raw chunks.
// libsndfile rounds odd widths up to whole bytes, hides the extensible
// valid-bits field and shortens a data chunk that runs past the end of the
// file; these facts keep what the header itself says.
struct WavHeaderFacts {
    enum class Container { Riff, Rifx, Rf64, Wave64, Aiff, Aifc };

    static constexpr std::uint32_t kFormatPcm = 1;
    static constexpr std::uint32_t kFormatIeeeFloat = 3;
    static constexpr std::uint32_t kFormatCompressed = 0xFFFF; // an AIFC compression without a WAV tag

    Container container = Container::Riff;
    // The WAV format tag, with WAVE_FORMAT_EXTENSIBLE replaced by its
    // sub-format; AIFF is PCM and AIFC maps its compression type onto the
    // same tags (float types to IEEE float, anything else non-PCM).
    std::uint32_t formatTag = 0;
    std::uint32_t channels = 0;
    std::uint32_t sampleRate = 0;
    std::uint32_t bitsPerSample = 0;      // declared sample width ("fmt " or COMM)
    std::uint32_t validBitsPerSample = 0; // extensible headers only, else 0
    std::uint32_t blockAlign = 0;         // bytes per frame as declared (WAV family)
    // Frames the header declares for its sample data: data chunk size over the
    // block alignment (ds64 for RF64), or COMM's frame count for AIFF. Empty
    // when there is no data chunk or its size is the "unknown" value
    // 0xFFFFFFFF of a streamed RIFF file.
    std::optional<std::uint64_t> dataFrames;
};

// Walks the chunk list from the start of the file. Empty when the file is not
// RIFF, RIFX, RF64/BW64, Wave64, AIFF or AIFC, or has no usable format chunk.
// Reads only chunk headers and the format chunk, so a hostile size field costs
// nothing.
[[nodiscard]] std::optional<WavHeaderFacts> scanWavHeader(const InputFile& file);

} // namespace orvel
