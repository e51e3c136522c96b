// SPDX-License-Identifier: MIT
#pragma once

#include <string>

// The exact messages a failed file carries, as the user reads them.
namespace orvel::testing {

inline constexpr const char* kUnsupportedMessage =
    "Unsupported format. Supported extensions: .flac .wav .aif .aiff .aifc, and through FFmpeg .m4a .alac .aac "
    ".mp3 .wv .ape .tta .tak .ogg .oga .opus .wma .mka .caf.";
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
inline constexpr const char* kOpenDeniedMessage = "Cannot open this file: Permission denied.";
inline constexpr const char* kOpenMissingMessage = "Cannot open this file: No such file or directory.";

// What every front end says of a report it could not write; reason in the
// system's words, or "the file is read-only".
inline std::string cannotCreateReportMessage(const std::string& path, const std::string& reason)
{
    return "Cannot create the report file " + path + ": " + reason + ".";
}
inline std::string reportWriteFailedMessage(const std::string& path, const std::string& reason)
{
    return "Writing the report file " + path + " failed: " + reason + ".";
}

} // namespace orvel::testing
