// SPDX-License-Identifier: MIT
#include "decode/ffmpeg_decoder.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "decode/alac_cookie.h"
#include "decode/asf_header.h"
#include "decode/cancellation.h"
#include "decode/decode_audio.h"
#include "decode/ffmpeg_api.h"
#include "decode/format_sniff.h"
#include "decode/input_file.h"
#include "decode/wavpack_block.h"
#include "text/system_reason.h"
#include "text/utf8.h"

namespace orvel {
namespace {

// Messages of this decoder. Where an FFmpeg call failed, its error text
// follows in parentheses.
constexpr const char* kOpenError = "FFmpeg cannot open this audio format";
constexpr const char* kStreamInfoError = "FFmpeg cannot read the audio stream parameters";
constexpr const char* kNoAudioStream = "No audio stream found";
constexpr const char* kNoDecoder = "FFmpeg has no decoder for this audio codec";
constexpr const char* kDecoderOpenError = "Cannot initialize FFmpeg audio decoder";
constexpr const char* kDecodeError = "FFmpeg audio decoding failed";
constexpr const char* kFormatChangedError = "Decoder changed sample rate, channel layout, or requested precision.";
constexpr const char* kMidstreamError = "Audio format changed midstream.";
constexpr const char* kEmptyPacketsError = "Decoder produced too many empty packets.";
constexpr const char* kNonFiniteError = "Audio contains non-finite samples.";

// A container whose stream ends well short of its declared length, or breaks
// off at the end of the file, is cut or damaged: "Truncated or corrupt M4A:
// fewer decoded samples than declared.", as FLAC and WAV say.
std::string truncatedMessage(const std::string& container)
{
    return "Truncated or corrupt " + container + ": fewer decoded samples than declared.";
}
std::string impossibleDurationMessage(const std::string& container)
{
    return "Corrupt " + container + ": the declared duration is impossible.";
}
std::string impossibleRateMessage(const std::string& container)
{
    return "Corrupt " + container + ": the declared sample rate is impossible.";
}

// Longer than any recording a file of these formats holds (115 days); an
// ASF play duration of all ones bits declares 922,337,203,685 s.
constexpr double kMaxDeclaredSeconds = 1e7;
// Far above any audio rate (DSD1024 in WavPack declares 5.6 MHz); a CAF
// rate of 1e300 arrives saturated to 2^31 - 1.
constexpr int kMaxDeclaredRate = 100'000'000;
// Encoder delay and padding, gapless trimming, a last partial frame: a
// complete file decodes within this of its declaration (0.05 s for MP3 and
// WMA, 0.02 s for AAC and Opus from real encoders).
constexpr double kLengthMarginSeconds = 0.25;
constexpr double kLengthMarginFraction = 0.02;
// CAF declares whole packets (ALAC 4096 frames, FLAC 4608): up to one packet more than decodes.
constexpr double kCafPacketFrames = 8192;

constexpr double kIntegerScale = 1.0 / 2147483648.0; // 2^-31
constexpr int kIoBufferSize = 64 * 1024;
constexpr int kMaxEmptyPackets = 10000;

[[noreturn]] void fail(const char* message, int error)
{
#if defined(_WIN32)
    // A system error in the words Linux gives it; FFmpeg would take the Windows C library's.
    if (error < 0 && error > -256) {
        throw std::runtime_error(std::string(message) + " (" + systemReason(-error) + ")");
    }
#endif
    std::array<char, AV_ERROR_MAX_STRING_SIZE> text{};
    ffmpeg().av_strerror(error, text.data(), text.size());
    throw std::runtime_error(std::string(message) + " (" + text.data() + ")");
}

struct IoContextDeleter {
    void operator()(AVIOContext* io) const
    {
        ffmpeg().av_freep(&io->buffer);
        ffmpeg().avio_context_free(&io);
    }
};
struct FormatContextDeleter {
    void operator()(AVFormatContext* format) const { ffmpeg().avformat_close_input(&format); }
};
struct CodecContextDeleter {
    void operator()(AVCodecContext* codec) const { ffmpeg().avcodec_free_context(&codec); }
};
struct PacketDeleter {
    void operator()(AVPacket* packet) const { ffmpeg().av_packet_free(&packet); }
};
struct FrameDeleter {
    void operator()(AVFrame* frame) const { ffmpeg().av_frame_free(&frame); }
};
// Releases a received frame's buffers when its handling ends, however it ends.
class FrameReference {
public:
    explicit FrameReference(AVFrame* frame) : m_frame(frame) {}
    FrameReference(const FrameReference&) = delete;
    FrameReference& operator=(const FrameReference&) = delete;
    ~FrameReference() { ffmpeg().av_frame_unref(m_frame); }

private:
    AVFrame* m_frame;
};

// FFmpeg reads the file through our own descriptor, so a path is never taken
// for a URL or protocol ("concat:", "pipe:", "http:").
struct IoSource {
    const InputFile* file = nullptr;
    std::uint64_t position = 0;
    // Seen on every read: a demuxer may hunt through gigabytes of padding
    // for a frame inside one call.
    const std::atomic<bool>* stopRequested = nullptr;
    // Set once the stream is known to be compressed: no frame of it is
    // megabytes of zero bytes, so such a run is the preallocated rest of a
    // download and ends the stream (a parser would gather all of it).
    bool endAtPadding = false;
    std::uint64_t zeroRun = 0; // zero bytes just before position

    [[nodiscard]] bool atFileEnd() const { return position >= file->size(); }
};

// PCM carries silence as zero bytes; everything else known is compressed.
bool isCompressed(AVCodecID id)
{
    return id != AV_CODEC_ID_NONE && !(id >= AV_CODEC_ID_PCM_S16LE && id < AV_CODEC_ID_ADPCM_IMA_QT);
}

// Zero bytes that end a compressed stream: far more than any frame.
constexpr std::uint64_t kPaddingRun = 4 << 20;

void countZeros(IoSource& source, const std::uint8_t* buffer, std::size_t size)
{
    std::size_t trailing = 0;
    while (trailing < size && buffer[size - 1 - trailing] == 0) {
        ++trailing;
    }
    source.zeroRun = trailing == size ? source.zeroRun + size : trailing;
}

int readSource(void* opaque, std::uint8_t* buffer, int size)
{
    auto& source = *static_cast<IoSource*>(opaque);
    if (source.stopRequested != nullptr && source.stopRequested->load()) {
        return AVERROR_EXIT;
    }
    if (source.endAtPadding && source.zeroRun >= kPaddingRun) {
        return AVERROR_EOF;
    }
    const std::size_t got = source.file->readAt(source.position, buffer, static_cast<std::size_t>(size));
    source.position += got;
    countZeros(source, buffer, got);
    return got == 0 ? AVERROR_EOF : static_cast<int>(got);
}

std::int64_t seekSource(void* opaque, std::int64_t offset, int whence)
{
    auto& source = *static_cast<IoSource*>(opaque);
    const auto size = static_cast<std::int64_t>(source.file->size());
    std::int64_t target = 0;
    switch (whence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE:
        return size;
    case SEEK_SET:
        target = offset;
        break;
    case SEEK_CUR:
        target = static_cast<std::int64_t>(source.position) + offset;
        break;
    case SEEK_END:
        target = size + offset;
        break;
    default:
        return AVERROR(EINVAL);
    }
    if (target < 0) {
        return AVERROR(EINVAL);
    }
    if (static_cast<std::uint64_t>(target) != source.position) {
        source.zeroRun = 0; // the run counts contiguous bytes only
    }
    source.position = static_cast<std::uint64_t>(target);
    return target;
}

// MP4/M4A (and QuickTime), CAF, ADTS, MPEG audio, WavPack, Monkey's Audio,
// TTA, TAK, Ogg, ASF (WMA) and Matroska: the containers of the formats this
// decoder is for. Anything else FFmpeg recognises is refused, among them WAV
// and AIFF (never read by FFmpeg) and playlists (ffconcat, HLS) that would
// read other files.
constexpr const char* kAllowedDemuxers = "mov,mp4,m4a,3gp,3g2,mj2,caf,aac,mp3,wv,ape,tta,tak,ogg,asf,matroska";

// A demuxer that would open further files or URLs (references inside a
// container) gets nothing: only the file given is read.
int refuseNestedOpen(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**) { return AVERROR(EPERM); }

int stopInterrupt(void* opaque) { return static_cast<const std::atomic<bool>*>(opaque)->load() ? 1 : 0; }

struct Classification {
    const char* codec;
    bool integerSamples;
    bool lossyCodec;
};

bool isIntegerPcm(AVCodecID id)
{
    switch (id) {
    case AV_CODEC_ID_PCM_S16LE:
    case AV_CODEC_ID_PCM_S16BE:
    case AV_CODEC_ID_PCM_U16LE:
    case AV_CODEC_ID_PCM_U16BE:
    case AV_CODEC_ID_PCM_S8:
    case AV_CODEC_ID_PCM_U8:
    case AV_CODEC_ID_PCM_S32LE:
    case AV_CODEC_ID_PCM_S32BE:
    case AV_CODEC_ID_PCM_U32LE:
    case AV_CODEC_ID_PCM_U32BE:
    case AV_CODEC_ID_PCM_S24LE:
    case AV_CODEC_ID_PCM_S24BE:
    case AV_CODEC_ID_PCM_U24LE:
    case AV_CODEC_ID_PCM_U24BE:
    case AV_CODEC_ID_PCM_S24DAUD:
    case AV_CODEC_ID_PCM_S16LE_PLANAR:
    case AV_CODEC_ID_PCM_S24LE_PLANAR:
    case AV_CODEC_ID_PCM_S32LE_PLANAR:
    case AV_CODEC_ID_PCM_S16BE_PLANAR:
    case AV_CODEC_ID_PCM_S8_PLANAR:
        return true;
    default:
        return false;
    }
}

// The demuxer's name only tells FLAC in Ogg or Matroska from FLAC elsewhere.
Classification classify(AVCodecID id, const std::string& demuxer)
{
    switch (id) {
    case AV_CODEC_ID_ALAC:
        return {"ALAC", true, false};
    case AV_CODEC_ID_FLAC:
        if (demuxer == "ogg") {
            return {"FLAC (Ogg)", true, false};
        }
        if (demuxer.starts_with("matroska")) {
            return {"FLAC (Matroska)", true, false};
        }
        return {"FFmpeg audio", true, false};
    case AV_CODEC_ID_WAVPACK: // float, DSD and hybrid files: see applyWavpackBlock
        return {"WavPack", true, false};
    case AV_CODEC_ID_APE:
        return {"Monkey's Audio", true, false};
    case AV_CODEC_ID_TTA:
        return {"TTA", true, false};
    case AV_CODEC_ID_TAK:
        return {"TAK", true, false};
    case AV_CODEC_ID_WMALOSSLESS:
        return {"WMA Lossless", true, false};
    case AV_CODEC_ID_WMAV1:
    case AV_CODEC_ID_WMAV2:
    case AV_CODEC_ID_WMAPRO:
    case AV_CODEC_ID_WMAVOICE:
        return {"WMA", false, true};
    case AV_CODEC_ID_VORBIS:
        return {"Vorbis", false, true};
    case AV_CODEC_ID_OPUS:
        return {"Opus", false, true};
    case AV_CODEC_ID_AAC:
        return {"AAC", false, true};
    case AV_CODEC_ID_MP3:
        return {"MP3", false, true};
    default:
        return {"FFmpeg audio", isIntegerPcm(id), false};
    }
}

// One decoded sample as the record stores it. Integer codecs come out of
// libavcodec left-justified (u8, s16, or s32 with the source's top bit at 31);
// all others are delivered as 32-bit floats, as the ffmpeg tool's f32le
// output would give them.
template <typename T>
double integerValue(T raw)
{
    if constexpr (std::is_same_v<T, std::uint8_t>) {
        return static_cast<double>(static_cast<std::int32_t>(static_cast<std::uint32_t>(raw - 128) << 24)) *
               kIntegerScale;
    } else if constexpr (std::is_same_v<T, std::int16_t>) {
        return static_cast<double>(static_cast<std::int32_t>(static_cast<std::uint32_t>(raw) << 16)) * kIntegerScale;
    } else {
        return static_cast<double>(raw) * kIntegerScale;
    }
}

template <typename T>
double floatValue(T raw)
{
    if constexpr (std::is_floating_point_v<T>) {
        return static_cast<double>(static_cast<float>(raw));
    } else {
        return static_cast<double>(static_cast<float>(integerValue(raw)));
    }
}

template <typename T>
void appendSamples(const AVFrame& frame, bool planar, bool integerSamples, std::size_t frames, DecodedAudio& record)
{
    const std::size_t channelCount = record.channels.size();
    for (std::size_t c = 0; c < channelCount; ++c) {
        const T* in = reinterpret_cast<const T*>(frame.extended_data[planar ? c : 0]);
        const std::size_t stride = planar ? 1 : channelCount;
        const std::size_t first = planar ? 0 : c;
        ChannelSamples& out = record.channels[c];
        for (std::size_t i = 0; i < frames; ++i) {
            const T raw = in[first + i * stride];
            if (integerSamples) {
                out.push_back(integerValue(raw));
            } else {
                const double value = floatValue(raw);
                if (!std::isfinite(value)) {
                    throw std::runtime_error(kNonFiniteError);
                }
                out.push_back(value);
            }
        }
    }
}

void appendFrame(const AVFrame& frame, bool integerSamples, std::size_t frames, DecodedAudio& record)
{
    const auto format = static_cast<AVSampleFormat>(frame.format);
    const bool planar = ffmpeg().av_sample_fmt_is_planar(format) != 0;
    switch (ffmpeg().av_get_packed_sample_fmt(format)) {
    case AV_SAMPLE_FMT_U8:
        return appendSamples<std::uint8_t>(frame, planar, integerSamples, frames, record);
    case AV_SAMPLE_FMT_S16:
        return appendSamples<std::int16_t>(frame, planar, integerSamples, frames, record);
    case AV_SAMPLE_FMT_S32:
        return appendSamples<std::int32_t>(frame, planar, integerSamples, frames, record);
    case AV_SAMPLE_FMT_FLT:
        if (!integerSamples) {
            return appendSamples<float>(frame, planar, false, frames, record);
        }
        break;
    case AV_SAMPLE_FMT_DBL:
        if (!integerSamples) {
            return appendSamples<double>(frame, planar, false, frames, record);
        }
        break;
    default:
        break;
    }
    // Floats from an integer codec, or 64-bit integers: no exact 32-bit form.
    throw std::runtime_error(kFormatChangedError);
}

struct DecodeState {
    AVCodecContext* codec = nullptr;
    AVFrame* frame = nullptr;
    DecodedAudio* record = nullptr;
    std::uint64_t frameLimit = 0;
    bool integerSamples = true;
    // Lossy decoders skip a damaged frame, as the ffmpeg tool does; a lossless
    // stream must never silently lose samples, so there it is an error.
    bool concealDamage = false;
    bool formatSeen = false;
    const IoSource* source = nullptr;
    std::string container;      // "M4A", "Matroska", ... for messages
    double declaredSeconds = 0; // 0: the container declares no length
    double lengthSlack = 0;     // what the declaration may exceed a complete stream by
};

// A demuxer or decoder error where the data ran out is a cut file.
[[noreturn]] void failDecoding(const DecodeState& state, int error)
{
    if (state.source != nullptr && state.source->atFileEnd()) {
        throw std::runtime_error(truncatedMessage(state.container));
    }
    fail(kDecodeError, error);
}

// The whole stream was decoded: it must reach its declared length, within
// the margin of encoder delay and padding (a damaged sample table or a cut
// Matroska makes the demuxer stop early without an error, a damaged lossy
// frame is skipped). What decoded is the file's length: a CAF declares whole
// packets, a chained Ogg only its last link.
void settleDecodedLength(const DecodeState& state, DecodedAudio& record)
{
    const double decoded =
        static_cast<double>(record.channels.front().size()) / static_cast<double>(record.sampleRate);
    if (state.declaredSeconds > 0) {
        const double margin =
            std::max(kLengthMarginSeconds, kLengthMarginFraction * state.declaredSeconds) + state.lengthSlack;
        if (decoded + margin < state.declaredSeconds) {
            throw std::runtime_error(truncatedMessage(state.container));
        }
    }
    record.durationSeconds = decoded;
}

// A WavPack stream's kind shows only in its blocks' headers, so the first
// packet settles it before any sample is taken. A hybrid file is read without
// its correction file (nothing but the given file is opened), which leaves
// the lossy part; DSD becomes PCM through FFmpeg's filter, so it has no
// integer grid either.
void applyWavpackBlock(const AVPacket& packet, DecodeState& state)
{
    const auto facts = wavpackBlockFacts(packet.data, packet.size > 0 ? static_cast<std::size_t>(packet.size) : 0);
    if (!facts) {
        return;
    }
    DecodedAudio& record = *state.record;
    if (facts->hybrid) {
        record.lossyCodec = true;
        record.integerSamples = false;
        record.bitsPerSample = 0;
        state.concealDamage = true;
    } else if (facts->dsd) {
        record.integerSamples = false;
        record.bitsPerSample = 0;
        state.concealDamage = false;
    } else {
        record.integerSamples = !facts->floatSamples;
        record.bitsPerSample = facts->bitsPerSample;
        state.concealDamage = false;
    }
    state.integerSamples = record.integerSamples;
}

// Takes every frame the decoder has ready. Returns the number of frames that
// carried samples.
int receiveFrames(DecodeState& state)
{
    int produced = 0;
    DecodedAudio& record = *state.record;
    for (;;) {
        const int rc = ffmpeg().avcodec_receive_frame(state.codec, state.frame);
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) {
            return produced;
        }
        if (rc < 0 && state.concealDamage && rc != AVERROR(ENOMEM)) {
            return produced;
        }
        if (rc < 0) {
            failDecoding(state, rc);
        }
        const FrameReference received(state.frame);
        if (state.frame->nb_samples <= 0) {
            continue;
        }
        const int channels = state.frame->ch_layout.nb_channels;
        const int rate = state.frame->sample_rate;
        if (channels != static_cast<int>(record.channels.size()) || rate != record.sampleRate) {
            throw std::runtime_error(state.formatSeen ? kMidstreamError : kFormatChangedError);
        }
        state.formatSeen = true;
        const std::uint64_t have = record.channels.front().size();
        const auto take = static_cast<std::size_t>(
            std::min<std::uint64_t>(static_cast<std::uint64_t>(state.frame->nb_samples), state.frameLimit - have));
        appendFrame(*state.frame, state.integerSamples, take, record);
        ++produced;
        if (record.channels.front().size() >= state.frameLimit) {
            return produced;
        }
    }
}

// The container's name in messages, by the demuxer that opened it.
std::string containerLabel(std::string_view demuxer)
{
    struct Label {
        std::string_view demuxer;
        const char* label;
    };
    static constexpr Label kLabels[] = {
        {"mov,mp4", "M4A"}, {"caf", "CAF"}, {"ogg", "Ogg"}, {"matroska", "Matroska"},
        {"asf", "WMA"}, {"wv", "WavPack"}, {"ape", "Monkey's Audio"}, {"tta", "TTA"},
        {"tak", "TAK"}, {"mp3", "MP3"}, {"aac", "AAC"},
    };
    for (const Label& label : kLabels) {
        if (demuxer.starts_with(label.demuxer)) {
            return label.label;
        }
    }
    return "audio file";
}

// The length the container declares, in seconds; 0 when it declares none
// (FFmpeg's guess from the bit rate, as for ADTS, is no declaration).
double declaredSeconds(const AVFormatContext& format, const InputFile& file, const DecodedAudio& record)
{
    if (std::string_view(format.iformat->name) == "asf") {
        return asfDeclaredSeconds(file).value_or(0.0);
    }
    if (format.duration_estimation_method == AVFMT_DURATION_FROM_BITRATE) {
        return 0.0;
    }
    return record.durationSeconds;
}

// A sample rate the container states (none of MP3 and ADTS does) far beyond
// any audio: the header is damaged, whatever rate the codec then reports.
void refuseImpossibleRate(const AVFormatContext& format)
{
    for (unsigned i = 0; i < format.nb_streams; ++i) {
        const AVCodecParameters& parameters = *format.streams[i]->codecpar;
        if (parameters.codec_type == AVMEDIA_TYPE_AUDIO &&
            (parameters.sample_rate < 0 || parameters.sample_rate > kMaxDeclaredRate)) {
            throw std::runtime_error(impossibleRateMessage(containerLabel(format.iformat->name)));
        }
    }
}

// The demuxer over our own reader: no URL protocols, no nested opens, only
// the allowed demuxers. The reader's context is returned through io and must
// outlive the format context.
std::unique_ptr<AVFormatContext, FormatContextDeleter> openFormat(const std::filesystem::path& path, IoSource& source,
                                                                  std::unique_ptr<AVIOContext, IoContextDeleter>& io,
                                                                  const std::atomic<bool>& stopRequested)
{
    const FfmpegApi& av = ffmpeg();
    auto* ioBuffer = static_cast<unsigned char*>(av.av_malloc(kIoBufferSize));
    if (ioBuffer == nullptr) {
        throw std::bad_alloc();
    }
    io.reset(av.avio_alloc_context(ioBuffer, kIoBufferSize, 0, &source, readSource, nullptr, seekSource));
    if (!io) {
        av.av_free(ioBuffer);
        throw std::bad_alloc();
    }

    AVFormatContext* opening = av.avformat_alloc_context();
    if (opening == nullptr) {
        throw std::bad_alloc();
    }
    opening->pb = io.get();
    opening->flags |= AVFMT_FLAG_CUSTOM_IO;
    opening->io_open = refuseNestedOpen;
    opening->format_whitelist = av.av_strdup(kAllowedDemuxers);
    if (opening->format_whitelist == nullptr) {
        av.avformat_free_context(opening);
        throw std::bad_alloc();
    }
    opening->interrupt_callback.callback = stopInterrupt;
    opening->interrupt_callback.opaque = const_cast<std::atomic<bool>*>(&stopRequested);
    // The name only hints the probe by its extension; nothing opens it.
    const std::string hint = pathBytes(path.filename());
    const int rc = av.avformat_open_input(&opening, hint.c_str(), nullptr, nullptr);
    if (rc < 0) {
        throwIfStopRequested(stopRequested);
        fail(kOpenError, rc); // avformat_open_input freed the context
    }
    return std::unique_ptr<AVFormatContext, FormatContextDeleter>(opening);
}

// The first audio stream, every other one discarded; throws when there is none.
AVStream& firstAudioStream(AVFormatContext& format)
{
    AVStream* stream = nullptr;
    for (unsigned i = 0; i < format.nb_streams; ++i) {
        AVStream* candidate = format.streams[i];
        if (stream == nullptr && candidate->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
            stream = candidate;
        } else {
            candidate->discard = AVDISCARD_ALL;
        }
    }
    if (stream == nullptr) {
        throw std::runtime_error(kNoAudioStream);
    }
    return *stream;
}

// The record's facts from the stream's parameters, before any sample: codec
// label, kind, rate, the stored bit depth and the declared duration.
DecodedAudio describeStream(const AVFormatContext& format, const AVStream& stream)
{
    const AVCodecParameters& parameters = *stream.codecpar;
    const Classification classification = classify(parameters.codec_id, format.iformat->name);
    DecodedAudio record;
    record.codec = classification.codec;
    record.integerSamples = classification.integerSamples;
    record.lossyCodec = classification.lossyCodec;
    record.sampleRate = parameters.sample_rate;
    std::uint32_t bits = parameters.bits_per_raw_sample > 0 ? static_cast<std::uint32_t>(parameters.bits_per_raw_sample)
                         : parameters.bits_per_coded_sample > 0
                             ? static_cast<std::uint32_t>(parameters.bits_per_coded_sample)
                             : 0;
    if (parameters.codec_id == AV_CODEC_ID_ALAC && bits == 0 && parameters.extradata_size > 0) {
        bits = alacCookieBitDepth(parameters.extradata, static_cast<std::size_t>(parameters.extradata_size),
                                  static_cast<std::uint32_t>(parameters.ch_layout.nb_channels),
                                  static_cast<std::uint32_t>(parameters.sample_rate));
    }
    record.bitsPerSample = record.lossyCodec ? 0 : bits;
    if (format.duration > 0) {
        record.durationSeconds = static_cast<double>(format.duration) / AV_TIME_BASE;
    } else if (stream.duration > 0 && stream.time_base.den > 0) {
        record.durationSeconds = static_cast<double>(stream.duration) * av_q2d(stream.time_base);
    }
    return record;
}

std::unique_ptr<AVCodecContext, CodecContextDeleter> openDecoder(const AVStream& stream)
{
    const FfmpegApi& av = ffmpeg();
    const AVCodecParameters& parameters = *stream.codecpar;
    const AVCodec* decoder = av.avcodec_find_decoder(parameters.codec_id);
    if (decoder == nullptr) {
        throw std::runtime_error(kNoDecoder);
    }
    std::unique_ptr<AVCodecContext, CodecContextDeleter> codec(av.avcodec_alloc_context3(decoder));
    if (!codec) {
        throw std::bad_alloc();
    }
    int rc = av.avcodec_parameters_to_context(codec.get(), &parameters);
    if (rc < 0) {
        fail(kDecoderOpenError, rc);
    }
    codec->pkt_timebase = stream.time_base;
    rc = av.avcodec_open2(codec.get(), decoder, nullptr);
    if (rc < 0) {
        fail(kDecoderOpenError, rc);
    }
    return codec;
}

// Reads and decodes packets of the stream until the frame limit or the end.
void decodePackets(AVFormatContext& format, const AVStream& stream, DecodeState& state,
                   const std::atomic<bool>& stopRequested)
{
    const FfmpegApi& av = ffmpeg();
    const std::unique_ptr<AVPacket, PacketDeleter> packet(av.av_packet_alloc());
    if (!packet) {
        throw std::bad_alloc();
    }
    DecodedAudio& record = *state.record;
    int emptyPackets = 0;
    bool wavpackKindSettled = false;
    while (record.channels.front().size() < state.frameLimit) {
        throwIfStopRequested(stopRequested);
        int rc = av.av_read_frame(&format, packet.get());
        if (rc == AVERROR_EOF) {
            throwIfStopRequested(stopRequested); // a stopped read looks like the end
            // Drain what the decoder still holds (delay, end trimming).
            rc = av.avcodec_send_packet(state.codec, nullptr);
            if (rc < 0 && rc != AVERROR_EOF) {
                failDecoding(state, rc);
            }
            receiveFrames(state);
            settleDecodedLength(state, record);
            return;
        }
        if (rc < 0) {
            throwIfStopRequested(stopRequested);
            failDecoding(state, rc);
        }
        if (packet->stream_index != stream.index) {
            av.av_packet_unref(packet.get());
            continue;
        }
        if (stream.codecpar->codec_id == AV_CODEC_ID_WAVPACK && !wavpackKindSettled) {
            applyWavpackBlock(*packet, state);
            wavpackKindSettled = true;
        }
        rc = av.avcodec_send_packet(state.codec, packet.get());
        av.av_packet_unref(packet.get());
        int produced = 0;
        if (rc >= 0) {
            produced = receiveFrames(state);
        } else if (!(state.concealDamage && rc != AVERROR(ENOMEM))) {
            failDecoding(state, rc);
        }
        if (produced > 0) {
            emptyPackets = 0;
        } else if (++emptyPackets > kMaxEmptyPackets) {
            throw std::runtime_error(kEmptyPacketsError);
        }
    }
    // Stopped at the frame limit: the file is at least as long as what decoded.
    record.durationSeconds = std::max(record.durationSeconds, static_cast<double>(record.channels.front().size()) /
                                                                  static_cast<double>(record.sampleRate));
}

} // namespace

DecodedAudio decodeWithFfmpeg(const std::filesystem::path& path, const std::atomic<bool>& stopRequested)
{
    int openError = 0;
    const InputFile file = InputFile::open(path, openError);
    if (!file.isOpen()) {
        throwCannotOpen(openError);
    }

    IoSource source{&file, 0, &stopRequested};
    std::unique_ptr<AVIOContext, IoContextDeleter> io;
    const std::unique_ptr<AVFormatContext, FormatContextDeleter> format = openFormat(path, source, io, stopRequested);
    // The raw MPEG audio and ADTS demuxers resynchronise through anything and
    // would take noise named .mp3 for a stream of absurd parameters.
    const std::string_view demuxer = format->iformat->name;
    if ((demuxer == "mp3" && !hasMpegAudioFrameChain(file, offsetAfterId3v2(file))) ||
        (demuxer == "aac" && !hasAdtsFrameChain(file, offsetAfterId3v2(file)))) {
        throw std::runtime_error(kNoAudioStream);
    }
    refuseImpossibleRate(*format);
    // The stream search may already gather the padding into one packet.
    source.endAtPadding = format->nb_streams > 0;
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        source.endAtPadding = source.endAtPadding && isCompressed(format->streams[i]->codecpar->codec_id);
    }
    const int rc = ffmpeg().avformat_find_stream_info(format.get(), nullptr);
    throwIfStopRequested(stopRequested);
    if (rc < 0) {
        fail(kStreamInfoError, rc);
    }

    const AVStream& stream = firstAudioStream(*format);
    const AVCodecParameters& parameters = *stream.codecpar;
    // A demuxer chosen by the file name alone (TAK, Ogg) may open an empty or
    // foreign file and give a stream that has no parameters at all.
    if (parameters.sample_rate <= 0 && parameters.ch_layout.nb_channels <= 0) {
        fail(kStreamInfoError, AVERROR_INVALIDDATA);
    }
    source.endAtPadding = isCompressed(parameters.codec_id);
    DecodedAudio record = describeStream(*format, stream);
    const std::string container = containerLabel(demuxer);
    const double declared = declaredSeconds(*format, file, record);
    if (!(record.durationSeconds <= kMaxDeclaredSeconds) || !(declared <= kMaxDeclaredSeconds)) {
        throw std::runtime_error(impossibleDurationMessage(container));
    }
    const std::uint64_t frameLimit = prepareChannels(record, parameters.ch_layout.nb_channels, 0);
    const std::unique_ptr<AVCodecContext, CodecContextDeleter> codec = openDecoder(stream);
    const std::unique_ptr<AVFrame, FrameDeleter> frame(ffmpeg().av_frame_alloc());
    if (!frame) {
        throw std::bad_alloc();
    }

    DecodeState state;
    state.codec = codec.get();
    state.frame = frame.get();
    state.record = &record;
    state.frameLimit = frameLimit;
    state.integerSamples = record.integerSamples;
    state.concealDamage = !record.integerSamples;
    state.source = &source;
    state.container = container;
    state.declaredSeconds = declared;
    if (container == "CAF") {
        state.lengthSlack = kCafPacketFrames / static_cast<double>(record.sampleRate);
    }
    decodePackets(*format, stream, state, stopRequested);
    return record;
}

} // namespace orvel
