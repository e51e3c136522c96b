// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>

namespace orvel {

class InputFile;

// The decoder a file's leading bytes call for, whatever its name.
enum class ContentFormat {
    Unknown, // none of the formats below
    Flac,    // "fLaC"
    WavAiff, // RIFF/RIFX/RF64/BW64 WAVE, Wave64, FORM AIFF/AIFC: libsndfile
    Ffmpeg,  // MP4 ftyp, CAF, Ogg, Matroska, ASF, WavPack, Monkey's Audio,
             // TTA, TAK, or a chain of ADTS or MPEG audio frames
};

// Recognises the format from the start of the file (an ID3v2 tag before
// MPEG audio or ADTS is skipped). Reads a few kilobytes at most.
[[nodiscard]] ContentFormat formatOfContent(const InputFile& file);

// True when, at or within a few kilobytes after `offset`, three MPEG audio
// (layer I-III) or ADTS frames follow one another, each header valid and
// agreeing with the first, or a shorter chain ends exactly at the end of the
// file or at an ID3v1 tag. Random bytes almost never hold one.
[[nodiscard]] bool hasMpegAudioFrameChain(const InputFile& file, std::uint64_t offset);
[[nodiscard]] bool hasAdtsFrameChain(const InputFile& file, std::uint64_t offset);

// Where the audio starts after an ID3v2 tag at the start of the file (0 when
// there is none).
[[nodiscard]] std::uint64_t offsetAfterId3v2(const InputFile& file);

} // namespace orvel
