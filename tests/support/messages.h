// SPDX-License-Identifier: MIT
#pragma once

// The exact messages a failed file carries, as the user reads them.
namespace orvel::testing {

inline constexpr const char* kUnsupportedMessage =
    "Unsupported format in the compact edition. Use FLAC, WAV, AIFF, or Windows-supported M4A/ALAC/AAC/MP3. "
    "APE, WavPack, Ogg and Opus are not included.";
inline constexpr const char* kNoSamplesMessage = "The audio stream contains no samples.";
inline constexpr const char* kRangeMessage = "Supported range: 8\u2013384 kHz, 1\u201332 channels.";
inline constexpr const char* kFlacHeaderMessage = "Cannot decode FLAC header. The file may be corrupt or unsupported.";
inline constexpr const char* kFlacTruncatedMessage = "Truncated or corrupt FLAC: fewer decoded samples than declared.";
inline constexpr const char* kWavHeaderMessage = "Cannot decode WAV/AIFF header. The file may be corrupt or unsupported.";
inline constexpr const char* kWavCompressedMessage =
    "Compressed WAV/AIFF is not supported. Use PCM WAV, floating-point WAV, or FLAC.";
inline constexpr const char* kWavPrecisionMessage = "Unsupported WAV/AIFF sample precision.";
inline constexpr const char* kWavTruncatedMessage = "Truncated WAV/AIFF sample data.";
inline constexpr const char* kNonFiniteMessage = "Audio contains non-finite samples.";
inline constexpr const char* kNotRegularMessage = "This path is not a regular file.";
inline constexpr const char* kNoAudioStreamMessage = "No audio stream found";

} // namespace orvel::testing
