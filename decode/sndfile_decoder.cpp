// SPDX-License-Identifier: MIT
#include "decode/sndfile_decoder.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "decode/cancellation.h"
#include "decode/decode_audio.h"
#include "decode/input_file.h"
#include "decode/wav_header.h"

namespace orvel {
namespace {

constexpr const char* kHeaderError = "Cannot decode WAV/AIFF header. The file may be corrupt or unsupported.";
constexpr const char* kCompressedError =
    "Compressed WAV/AIFF is not supported. Use PCM WAV, floating-point WAV, or FLAC.";
constexpr const char* kPrecisionError = "Unsupported WAV/AIFF sample precision.";
constexpr const char* kNonFiniteError = "Audio contains non-finite samples.";
constexpr const char* kTruncatedError = "Truncated WAV/AIFF sample data.";
constexpr const char* kNoSamplesError = "The audio stream contains no samples.";

constexpr double kIntegerScale = 1.0 / 2147483648.0; // 2^-31
constexpr sf_count_t kChunkFrames = 4096;

struct SndfileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
};

enum class SampleKind { Integer, Float32, Float64, Other };

SampleKind kindOf(int format)
{
    switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_PCM_16:
    case SF_FORMAT_PCM_24:
    case SF_FORMAT_PCM_32:
        return SampleKind::Integer;
    case SF_FORMAT_FLOAT:
        return SampleKind::Float32;
    case SF_FORMAT_DOUBLE:
        return SampleKind::Float64;
    default:
        return SampleKind::Other;
    }
}

std::uint32_t widthOf(int format)
{
    switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
        return 8;
    case SF_FORMAT_PCM_16:
        return 16;
    case SF_FORMAT_PCM_24:
        return 24;
    case SF_FORMAT_PCM_32:
    case SF_FORMAT_FLOAT:
        return 32;
    case SF_FORMAT_DOUBLE:
        return 64;
    default:
        return 0;
    }
}

// libsndfile also opens FLAC, CAF, AU, Ogg and more by content; only the WAV
// family and AIFF/AIFC belong to this decoder.
// Only WAV, RF64, Wave64 and AIFF containers reach libsndfile. Its own guess
// would hand anything else (an MP3, Ogg, FLAC) to another decoder, which does
// all the decoding work before the type is refused and prints warnings of its
// own on stderr.
bool startsLikeWavOrAiff(const InputFile& file)
{
    char id[4] = {};
    if (file.readAt(0, id, sizeof id) != sizeof id) {
        return false;
    }
    const std::string_view start(id, sizeof id);
    return start == "RIFF" || start == "RIFX" || start == "RF64" || start == "BW64" || start == "riff" ||
           start == "FORM";
}

bool isWavOrAiff(int format)
{
    switch (format & SF_FORMAT_TYPEMASK) {
    case SF_FORMAT_WAV:
    case SF_FORMAT_WAVEX:
    case SF_FORMAT_RF64:
    case SF_FORMAT_W64:
    case SF_FORMAT_AIFF:
        return true;
    default:
        return false;
    }
}

void checkSampleFormat(bool integer, bool floating, std::uint32_t bits)
{
    if (!integer && !floating) {
        throw std::runtime_error(kCompressedError);
    }
    if (floating ? bits != 32 && bits != 64 : bits < 8 || bits > 32) {
        throw std::runtime_error(kPrecisionError);
    }
}

// libsndfile refuses some headers that still say what they hold (an unknown
// compression, float of an odd width, a rate of 0, too many channels). Give
// such a file the message its header earns before the generic one.
[[noreturn]] void failUnopenable(const std::optional<WavHeaderFacts>& header)
{
    if (header) {
        checkSampleFormat(header->formatTag == WavHeaderFacts::kFormatPcm,
                          header->formatTag == WavHeaderFacts::kFormatIeeeFloat, header->bitsPerSample);
        DecodedAudio probe;
        probe.sampleRate = static_cast<std::int32_t>(
            std::min<std::uint32_t>(header->sampleRate, std::numeric_limits<std::int32_t>::max()));
        // One declared frame: validates the range without reserving anything real.
        (void)prepareChannels(probe, static_cast<std::int32_t>(header->channels), 1);
    }
    throw std::runtime_error(kHeaderError);
}

template <typename Sample>
void appendFloats(DecodedAudio& record, const std::vector<Sample>& buffer, std::size_t frames)
{
    const std::size_t channelCount = record.channels.size();
    for (std::size_t f = 0; f < frames; ++f) {
        for (std::size_t c = 0; c < channelCount; ++c) {
            const double value = static_cast<double>(buffer[f * channelCount + c]);
            if (!std::isfinite(value)) {
                throw std::runtime_error(kNonFiniteError);
            }
            record.channels[c].push_back(value);
        }
    }
}

#if defined(_WIN32)
// libsndfile on Windows reads a descriptor from its current position, which
// the header checks' positioned reads move; it reads through these instead.
struct VirtualSource {
    InputFile file;
    sf_count_t position = 0;
};

SF_VIRTUAL_IO virtualIo()
{
    SF_VIRTUAL_IO io{};
    io.get_filelen = [](void* data) { return static_cast<sf_count_t>(static_cast<VirtualSource*>(data)->file.size()); };
    io.seek = [](sf_count_t offset, int whence, void* data) {
        auto* source = static_cast<VirtualSource*>(data);
        const sf_count_t base = whence == SEEK_CUR   ? source->position
                                : whence == SEEK_END ? static_cast<sf_count_t>(source->file.size())
                                                     : 0;
        source->position = std::max<sf_count_t>(0, base + offset);
        return source->position;
    };
    io.read = [](void* buffer, sf_count_t count, void* data) {
        auto* source = static_cast<VirtualSource*>(data);
        const std::size_t got = source->file.readAt(static_cast<std::uint64_t>(source->position), buffer,
                                                    static_cast<std::size_t>(std::max<sf_count_t>(count, 0)));
        source->position += static_cast<sf_count_t>(got);
        return static_cast<sf_count_t>(got);
    };
    io.write = [](const void*, sf_count_t, void*) { return sf_count_t{0}; };
    io.tell = [](void* data) { return static_cast<VirtualSource*>(data)->position; };
    return io;
}
#endif

// The open file and what its header says. The descriptor outlives the
// libsndfile handle on it (members are destroyed in reverse order).
struct OpenedSound {
    InputFile file;
#if defined(_WIN32)
    std::unique_ptr<VirtualSource> source;
#endif
    std::optional<WavHeaderFacts> header;
    SF_INFO info{};
    std::unique_ptr<SNDFILE, SndfileCloser> sndfile;
};

OpenedSound openWavAiff(const std::filesystem::path& path)
{
    OpenedSound sound;
    int openError = 0;
    sound.file = InputFile::open(path, openError);
    if (!sound.file.isOpen()) {
        throwCannotOpen(openError);
    }
    if (!startsLikeWavOrAiff(sound.file)) {
        throw std::runtime_error(kHeaderError);
    }
    sound.header = scanWavHeader(sound.file);
#if defined(_WIN32)
    sound.source = std::make_unique<VirtualSource>(VirtualSource{std::move(sound.file)});
    SF_VIRTUAL_IO io = virtualIo();
    sound.sndfile.reset(sf_open_virtual(&io, SFM_READ, &sound.info, sound.source.get()));
#else
    sound.sndfile.reset(sf_open_fd(sound.file.fd(), SFM_READ, &sound.info, SF_FALSE));
#endif
    if (!sound.sndfile) {
        failUnopenable(sound.header);
    }
    if (!isWavOrAiff(sound.info.format)) {
        throw std::runtime_error(kHeaderError);
    }
    return sound;
}

// Codec, rate, sample kind and precision from libsndfile's view and the
// header's own; returns the kind the samples are read as.
SampleKind describeSamples(DecodedAudio& record, const OpenedSound& sound)
{
    const SF_INFO& info = sound.info;
    const std::optional<WavHeaderFacts>& header = sound.header;
    record.codec = (info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_AIFF ? "AIFF" : "WAV";
    record.sampleRate = info.samplerate;
    const SampleKind kind = kindOf(info.format);
    const bool integer = kind == SampleKind::Integer && (!header || header->formatTag == WavHeaderFacts::kFormatPcm);
    const bool floating = (kind == SampleKind::Float32 || kind == SampleKind::Float64) &&
                          (!header || header->formatTag == WavHeaderFacts::kFormatIeeeFloat);
    // The header's own width: libsndfile reads 12 and 20 bits as 16 and 24.
    std::uint32_t bits = header ? header->bitsPerSample : widthOf(info.format);
    checkSampleFormat(integer, floating, bits);
    if (floating && bits != widthOf(info.format)) {
        throw std::runtime_error(kPrecisionError);
    }
    record.integerSamples = integer;
    if (integer && header && header->validBitsPerSample != 0 && header->validBitsPerSample <= bits) {
        bits = header->validBitsPerSample;
    }
    record.bitsPerSample = bits;
    return kind;
}

// Reads up to frameLimit frames in chunks, checking the stop flag before each.
void readSamples(SNDFILE* sndfile, DecodedAudio& record, SampleKind kind, std::uint64_t frameLimit,
                 const std::atomic<bool>& stopRequested)
{
    const std::size_t channelCount = record.channels.size();
    std::vector<std::int32_t> integers;
    std::vector<float> floats;
    std::vector<double> doubles;
    if (kind == SampleKind::Integer) {
        integers.resize(channelCount * kChunkFrames);
    } else if (kind == SampleKind::Float32) {
        floats.resize(channelCount * kChunkFrames);
    } else {
        doubles.resize(channelCount * kChunkFrames);
    }

    auto& first = record.channels.front();
    while (first.size() < frameLimit) {
        throwIfStopRequested(stopRequested);
        const auto wanted = static_cast<sf_count_t>(std::min<std::uint64_t>(frameLimit - first.size(), kChunkFrames));
        sf_count_t got = 0;
        if (kind == SampleKind::Integer) {
            got = sf_readf_int(sndfile, integers.data(), wanted);
        } else if (kind == SampleKind::Float32) {
            got = sf_readf_float(sndfile, floats.data(), wanted);
        } else {
            got = sf_readf_double(sndfile, doubles.data(), wanted);
        }
        if (got <= 0) {
            break;
        }
        const auto frames = static_cast<std::size_t>(std::min(got, wanted));
        if (kind == SampleKind::Integer) {
            for (std::size_t f = 0; f < frames; ++f) {
                for (std::size_t c = 0; c < channelCount; ++c) {
                    record.channels[c].push_back(static_cast<double>(integers[f * channelCount + c]) * kIntegerScale);
                }
            }
        } else if (kind == SampleKind::Float32) {
            appendFloats(record, floats, frames);
        } else {
            appendFloats(record, doubles, frames);
        }
    }
    if (first.size() < frameLimit) {
        throw std::runtime_error(kTruncatedError);
    }
}

} // namespace

DecodedAudio decodeWavAiff(const std::filesystem::path& path, const std::atomic<bool>& stopRequested)
{
    const OpenedSound sound = openWavAiff(path);
    DecodedAudio record;
    const SampleKind kind = describeSamples(record, sound);

    // The header's count, not libsndfile's: libsndfile shortens a data chunk
    // that runs past the end of the file, which must read as truncation.
    const std::uint64_t declaredFrames = sound.header && sound.header->dataFrames
                                             ? *sound.header->dataFrames
                                             : static_cast<std::uint64_t>(std::max<sf_count_t>(sound.info.frames, 0));
    const std::uint64_t frameLimit = prepareChannels(record, sound.info.channels, declaredFrames);
    record.durationSeconds = static_cast<double>(declaredFrames) / static_cast<double>(record.sampleRate);
    if (declaredFrames == 0) {
        // A valid header over an empty data chunk: nothing is missing, there is just no audio.
        throw std::runtime_error(kNoSamplesError);
    }

    // Float data must arrive as stored: no scaling, no clipping.
    sf_command(sound.sndfile.get(), SFC_SET_NORM_FLOAT, nullptr, SF_FALSE);
    sf_command(sound.sndfile.get(), SFC_SET_NORM_DOUBLE, nullptr, SF_FALSE);
    sf_command(sound.sndfile.get(), SFC_SET_CLIPPING, nullptr, SF_FALSE);

    readSamples(sound.sndfile.get(), record, kind, frameLimit, stopRequested);
    return record;
}

} // namespace orvel
