// SPDX-License-Identifier: MIT
#include "decode/decode_audio.h"

#include <algorithm>
#include <cstdint>
#include <stdexcept>

#include "decode/audio_paths.h"
#include "decode/cancellation.h"
#include "decode/flac_decoder.h"
#include "decode/format_sniff.h"
#include "decode/input_file.h"
#include "decode/sndfile_decoder.h"
#include "platform/process.h"
#if KESTRONE_HAVE_FFMPEG
#include "decode/ffmpeg_decoder.h"
#endif

namespace orvel {
namespace {

constexpr std::int32_t kMinSampleRate = 8000;
constexpr std::int32_t kMaxSampleRate = 384000;
constexpr std::int32_t kMaxChannels = 32;
constexpr std::uint64_t kMaxSamples = 24'000'000;
constexpr std::uint64_t kMaxSeconds = 30;

constexpr const char* kUnsupportedFormat =
    "Unsupported format. Supported extensions: .flac .wav .aif .aiff .aifc, and through FFmpeg .m4a .alac .aac "
    ".mp3 .wv .ape .tta .tak .ogg .oga .opus .wma .mka .caf.";
constexpr const char* kNoSamples = "The audio stream contains no samples.";
constexpr const char* kOutOfRange = "Supported range: 8–384 kHz, 1–32 channels.";

using Decoder = DecodedAudio (*)(const std::filesystem::path&, const std::atomic<bool>&);

// decodeFlac on one thread, as a Decoder; decodeAudio gives it its threads.
DecodedAudio decodeFlacAlone(const std::filesystem::path& path, const std::atomic<bool>& stopRequested)
{
    return decodeFlac(path, stopRequested);
}

#if !KESTRONE_HAVE_FFMPEG
DecodedAudio decodeWithoutFfmpeg(const std::filesystem::path&, const std::atomic<bool>&)
{
    throw std::runtime_error(
        "This format requires FFmpeg support, which this build does not include. FLAC/WAV/AIFF work without it.");
}
#endif

bool isWavAiffExtension(const std::string& lowerExt)
{
    return lowerExt == ".wav" || lowerExt == ".aif" || lowerExt == ".aiff" || lowerExt == ".aifc";
}

Decoder decoderFor(const std::string& lowerExt)
{
    if (lowerExt == ".flac") {
        return decodeFlacAlone;
    }
    if (isWavAiffExtension(lowerExt)) {
        return decodeWavAiff;
    }
    if (lowerExt == ".m4a" || lowerExt == ".alac" || lowerExt == ".aac" || lowerExt == ".mp3" ||
        isFfmpegOnlyExtension(lowerExt)) {
#if KESTRONE_HAVE_FFMPEG
        return decodeWithFfmpeg;
#else
        return decodeWithoutFfmpeg;
#endif
    }
    return nullptr;
}

// The decoder the leading bytes call for, or nullptr when they name no
// format. WAV and AIFF only ever reach libsndfile.
Decoder decoderForContent(const std::filesystem::path& path)
{
    // A WavPack correction file holds WavPack blocks too, but no audio of its own.
    if (lowerExtension(path) == ".wvc") {
        return nullptr;
    }
    throwIfNotRegularFile(path);
    int openError = 0;
    const InputFile file = InputFile::open(path, openError);
    if (!file.isOpen()) {
        throwCannotOpen(openError);
    }
    switch (formatOfContent(file)) {
    case ContentFormat::Flac:
        return decodeFlacAlone;
    case ContentFormat::WavAiff:
        return decodeWavAiff;
    case ContentFormat::Ffmpeg:
#if KESTRONE_HAVE_FFMPEG
        return decodeWithFfmpeg;
#else
        return decodeWithoutFfmpeg;
#endif
    case ContentFormat::Unknown:
        break;
    }
    return nullptr;
}

} // namespace

DecodedAudio decodeAudio(const std::filesystem::path& path, const std::atomic<bool>& stopRequested,
                         UnknownExtension unknownExtension, unsigned threads)
{
    throwIfStopRequested(stopRequested);
    const std::string extension = lowerExtension(path);
    Decoder decoder = decoderFor(extension);
    if (decoder == nullptr && unknownExtension == UnknownExtension::RecogniseContent) {
        decoder = decoderForContent(path);
    }
    if (decoder == nullptr) {
        throw std::runtime_error(kUnsupportedFormat);
    }
    throwIfNotRegularFile(path);
    // A misnamed file (FLAC as .ogg, WAV as .mp3, Ogg FLAC as .flac) goes to
    // the decoder its content calls for. A WAV or AIFF name always means
    // libsndfile, which reports what it cannot read as a bad header.
    if (!isWavAiffExtension(extension)) {
        if (const Decoder byContent = decoderForContent(path); byContent != nullptr) {
            decoder = byContent;
        }
    }

    DecodedAudio result =
        decoder == decodeFlacAlone ? decodeFlac(path, stopRequested, threads) : decoder(path, stopRequested);
    if (result.channels.empty() || result.channels.front().empty()) {
        throw std::runtime_error(kNoSamples);
    }
    if (!(result.durationSeconds > 0.0)) {
        result.durationSeconds =
            static_cast<double>(result.channels.front().size()) / static_cast<double>(result.sampleRate);
    }
    return result;
}

std::uint64_t prepareChannels(DecodedAudio& record, std::int32_t channelCount, std::uint64_t declaredFrames)
{
    if (record.sampleRate < kMinSampleRate || record.sampleRate > kMaxSampleRate || channelCount < 1 ||
        channelCount > kMaxChannels) {
        throw std::runtime_error(kOutOfRange);
    }
    std::uint64_t limit = std::min(kMaxSamples / static_cast<std::uint64_t>(channelCount),
                                   kMaxSeconds * static_cast<std::uint64_t>(record.sampleRate));
    if (declaredFrames != 0 && declaredFrames < limit) {
        limit = declaredFrames;
    }
    record.channels.resize(static_cast<std::size_t>(channelCount));
    for (auto& channel : record.channels) {
        channel.reserve(static_cast<std::size_t>(limit));
    }
    return limit;
}

} // namespace orvel
