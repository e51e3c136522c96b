// SPDX-License-Identifier: MIT
#include "decode/flac_decoder.h"

#include <FLAC/stream_decoder.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <stdexcept>

#include "decode/cancellation.h"
#include "decode/decode_audio.h"
#include "decode/input_file.h"

namespace orvel {
namespace {

constexpr const char* kHeaderError = "Cannot decode FLAC header. The file may be corrupt or unsupported.";
constexpr const char* kTruncatedError = "Truncated or corrupt FLAC: fewer decoded samples than declared.";
constexpr const char* kNoFrameError = "Truncated or corrupt FLAC: no audio frame within 16 MB.";
constexpr double kIntegerScale = 1.0 / 2147483648.0; // 2^-31
// The largest FLAC frame (65,535 samples of 8 verbatim 32-bit channels) is
// about 2 MB. Beyond this without a frame, libFLAC is hunting through junk,
// such as the zeros a download client preallocates, to the end of the file.
constexpr std::uint64_t kMaxBytesWithoutFrame = 16ULL << 20;

struct FlacDecoderDeleter {
    void operator()(FLAC__StreamDecoder* decoder) const { FLAC__stream_decoder_delete(decoder); }
};

struct FlacSession {
    const InputFile* file = nullptr;
    // Seen on every read: libFLAC may hunt gigabytes for a frame sync code
    // inside one call.
    const std::atomic<bool>* stopRequested = nullptr;
    std::uint64_t position = 0;
    bool haveStreamInfo = false;
    FLAC__StreamMetadata_StreamInfo streamInfo{};
    DecodedAudio* record = nullptr; // set once the channels are prepared
    std::uint64_t frameLimit = 0;
    // A frame that failed its CRC (libFLAC hands out silence for it, or
    // drops it), an unparseable frame, or a gap in the frame numbering.
    bool corrupt = false;
    // Where the next frame must start. Lost sync alone is harmless (junk
    // between frames, a tag after the last one); a frame that went missing
    // with it shows up as a jump in the numbering.
    std::uint64_t nextSample = 0;
    std::uint64_t nextFrame = 0;
    // Once the metadata is read: where the read position was at the last
    // frame (or the end of the metadata), and whether the search gave up.
    std::optional<std::uint64_t> lastFrameAt;
    bool noFrameFound = false;
};

FlacSession& sessionOf(void* clientData) { return *static_cast<FlacSession*>(clientData); }

FLAC__StreamDecoderReadStatus readBytes(const FLAC__StreamDecoder*, FLAC__byte buffer[], size_t* bytes,
                                        void* clientData)
{
    FlacSession& session = sessionOf(clientData);
    if (session.stopRequested != nullptr && session.stopRequested->load()) {
        *bytes = 0;
        return FLAC__STREAM_DECODER_READ_STATUS_ABORT;
    }
    if (session.lastFrameAt && session.position - *session.lastFrameAt > kMaxBytesWithoutFrame) {
        session.noFrameFound = true;
        *bytes = 0;
        return FLAC__STREAM_DECODER_READ_STATUS_ABORT;
    }
    const std::size_t got = session.file->readAt(session.position, buffer, *bytes);
    session.position += got;
    *bytes = got;
    return got == 0 ? FLAC__STREAM_DECODER_READ_STATUS_END_OF_STREAM : FLAC__STREAM_DECODER_READ_STATUS_CONTINUE;
}

FLAC__bool atEnd(const FLAC__StreamDecoder*, void* clientData)
{
    const FlacSession& session = sessionOf(clientData);
    return session.position >= session.file->size();
}

FLAC__StreamDecoderWriteStatus writeFrame(const FLAC__StreamDecoder*, const FLAC__Frame* frame,
                                          const FLAC__int32* const buffer[], void* clientData)
{
    FlacSession& session = sessionOf(clientData);
    const FLAC__FrameHeader& header = frame->header;
    const bool inSequence = header.number_type == FLAC__FRAME_NUMBER_TYPE_SAMPLE_NUMBER
                                ? header.number.sample_number == session.nextSample
                                : header.number.frame_number == session.nextFrame;
    session.nextSample += header.blocksize;
    ++session.nextFrame;
    session.lastFrameAt = session.position;
    const unsigned bits = header.bits_per_sample;
    if (session.corrupt || !inSequence || session.record == nullptr ||
        header.channels != session.streamInfo.channels || bits < 1 || bits > 32) {
        session.corrupt = true;
        return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
    }
    auto& channels = session.record->channels;
    const std::uint64_t have = channels.front().size();
    const std::size_t take =
        static_cast<std::size_t>(std::min<std::uint64_t>(header.blocksize, session.frameLimit - have));
    // libFLAC right-justifies; shift the source's top bit to bit 31 first.
    const unsigned shift = 32 - bits;
    for (std::size_t c = 0; c < channels.size(); ++c) {
        const FLAC__int32* in = buffer[c];
        ChannelSamples& out = channels[c];
        for (std::size_t i = 0; i < take; ++i) {
            const auto justified = static_cast<std::int32_t>(static_cast<std::uint32_t>(in[i]) << shift);
            out.push_back(static_cast<double>(justified) * kIntegerScale);
        }
    }
    return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
}

void takeMetadata(const FLAC__StreamDecoder*, const FLAC__StreamMetadata* metadata, void* clientData)
{
    FlacSession& session = sessionOf(clientData);
    if (metadata->type == FLAC__METADATA_TYPE_STREAMINFO && !session.haveStreamInfo) {
        session.streamInfo = metadata->data.stream_info;
        session.haveStreamInfo = true;
    }
}

void noteError(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus status, void* clientData)
{
    // A bad frame header only means a false sync code was skipped; anything
    // that was really lost breaks the numbering.
    if (status != FLAC__STREAM_DECODER_ERROR_STATUS_LOST_SYNC &&
        status != FLAC__STREAM_DECODER_ERROR_STATUS_BAD_HEADER) {
        sessionOf(clientData).corrupt = true;
    }
}

// A native FLAC stream starts with "fLaC", possibly after an ID3v2 tag that
// libFLAC skips. Anything else would make libFLAC hunt the whole file for a
// frame sync code.
bool looksLikeNativeFlac(const InputFile& file)
{
    std::array<char, 4> magic{};
    if (file.readAt(0, magic.data(), magic.size()) != magic.size()) {
        return false;
    }
    return std::memcmp(magic.data(), "fLaC", 4) == 0 || std::memcmp(magic.data(), "ID3", 3) == 0;
}

} // namespace

DecodedAudio decodeFlac(const std::filesystem::path& path, const std::atomic<bool>& stopRequested)
{
    int openError = 0;
    const InputFile file = InputFile::open(path, openError);
    if (!file.isOpen()) {
        throwCannotOpen(openError);
    }
    if (!looksLikeNativeFlac(file)) {
        throw std::runtime_error(kHeaderError);
    }
    const std::unique_ptr<FLAC__StreamDecoder, FlacDecoderDeleter> decoder(FLAC__stream_decoder_new());
    if (!decoder) {
        throw std::bad_alloc();
    }
    FlacSession session;
    session.file = &file;
    session.stopRequested = &stopRequested;
    if (FLAC__stream_decoder_init_stream(decoder.get(), readBytes, nullptr, nullptr, nullptr, atEnd, writeFrame,
                                         takeMetadata, noteError, &session) != FLAC__STREAM_DECODER_INIT_STATUS_OK) {
        throw std::runtime_error(kHeaderError);
    }
    const bool metadataRead = FLAC__stream_decoder_process_until_end_of_metadata(decoder.get());
    throwIfStopRequested(stopRequested);
    if (!metadataRead || !session.haveStreamInfo || session.corrupt) {
        throw std::runtime_error(kHeaderError);
    }

    const FLAC__StreamMetadata_StreamInfo& info = session.streamInfo;
    DecodedAudio record;
    record.codec = "FLAC";
    record.sampleRate = static_cast<std::int32_t>(info.sample_rate);
    record.bitsPerSample = info.bits_per_sample;
    const std::uint64_t frameLimit =
        prepareChannels(record, static_cast<std::int32_t>(info.channels), info.total_samples);
    if (info.total_samples != 0) {
        record.durationSeconds = static_cast<double>(info.total_samples) / static_cast<double>(record.sampleRate);
    }
    session.record = &record;
    session.frameLimit = frameLimit;
    session.lastFrameAt = session.position;

    bool failed = false;
    while (record.channels.front().size() < frameLimit) {
        throwIfStopRequested(stopRequested);
        const bool processed = FLAC__stream_decoder_process_single(decoder.get());
        throwIfStopRequested(stopRequested);
        const FLAC__StreamDecoderState state = FLAC__stream_decoder_get_state(decoder.get());
        if (session.noFrameFound) {
            throw std::runtime_error(kNoFrameError);
        }
        if (session.corrupt) {
            break;
        }
        if (!processed || state == FLAC__STREAM_DECODER_ABORTED || state > FLAC__STREAM_DECODER_END_OF_STREAM) {
            if (state == FLAC__STREAM_DECODER_MEMORY_ALLOCATION_ERROR) {
                throw std::bad_alloc();
            }
            failed = true;
            break;
        }
        if (state == FLAC__STREAM_DECODER_END_OF_STREAM) {
            break;
        }
    }
    session.record = nullptr;
    if (session.corrupt || failed ||
        (info.total_samples != 0 && record.channels.front().size() < frameLimit)) {
        throw std::runtime_error(kTruncatedError);
    }
    return record;
}

} // namespace orvel
