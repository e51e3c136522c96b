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
#include "platform/side_by_side.h"

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
    // This session writes samples [written, frameLimit) of the record's channels,
    // which are sized to the file's frame limit beforehand.
    std::uint64_t written = 0;
    std::uint64_t frameLimit = 0;
    // A session that starts at a seek: the first frame it is handed is the
    // one holding the sought sample, cut to start there.
    bool seeking = false;
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

FLAC__StreamDecoderSeekStatus seekTo(const FLAC__StreamDecoder*, FLAC__uint64 offset, void* clientData)
{
    FlacSession& session = sessionOf(clientData);
    if (offset > session.file->size()) {
        return FLAC__STREAM_DECODER_SEEK_STATUS_ERROR;
    }
    session.position = offset;
    return FLAC__STREAM_DECODER_SEEK_STATUS_OK;
}

FLAC__StreamDecoderTellStatus tellPosition(const FLAC__StreamDecoder*, FLAC__uint64* offset, void* clientData)
{
    *offset = sessionOf(clientData).position;
    return FLAC__STREAM_DECODER_TELL_STATUS_OK;
}

FLAC__StreamDecoderLengthStatus fileLength(const FLAC__StreamDecoder*, FLAC__uint64* length, void* clientData)
{
    *length = sessionOf(clientData).file->size();
    return FLAC__STREAM_DECODER_LENGTH_STATUS_OK;
}

FLAC__StreamDecoderWriteStatus writeFrame(const FLAC__StreamDecoder*, const FLAC__Frame* frame,
                                          const FLAC__int32* const buffer[], void* clientData)
{
    FlacSession& session = sessionOf(clientData);
    const FLAC__FrameHeader& header = frame->header;
    bool inSequence = header.number_type == FLAC__FRAME_NUMBER_TYPE_SAMPLE_NUMBER
                          ? header.number.sample_number == session.nextSample
                          : header.number.frame_number == session.nextFrame;
    if (session.seeking) {
        // Where the seek landed (libFLAC cuts that frame to start at the
        // sought sample): the numbering goes on from there.
        session.seeking = false;
        if (header.number_type == FLAC__FRAME_NUMBER_TYPE_SAMPLE_NUMBER) {
            inSequence = header.number.sample_number == session.written;
            session.nextSample = header.number.sample_number;
        } else {
            inSequence = true;
            session.nextFrame = header.number.frame_number;
        }
    }
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
    const std::uint64_t have = session.written;
    const std::size_t take =
        static_cast<std::size_t>(std::min<std::uint64_t>(header.blocksize, session.frameLimit - have));
    // libFLAC right-justifies; shift the source's top bit to bit 31 first.
    const unsigned shift = 32 - bits;
    for (std::size_t c = 0; c < channels.size(); ++c) {
        const FLAC__int32* in = buffer[c];
        double* out = channels[c].data() + have;
        for (std::size_t i = 0; i < take; ++i) {
            const auto justified = static_cast<std::int32_t>(static_cast<std::uint32_t>(in[i]) << shift);
            out[i] = static_cast<double>(justified) * kIntegerScale;
        }
    }
    session.written += take;
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

namespace {

struct FlacStream {
    std::unique_ptr<FLAC__StreamDecoder, FlacDecoderDeleter> decoder;
    FlacSession session;
};

// A decoder on file with its metadata read; seekable when asked. Throws the
// header error when the stream does not start as FLAC should.
void openStream(FlacStream& stream, const InputFile& file, const std::atomic<bool>& stopRequested, bool seekable)
{
    stream.decoder.reset(FLAC__stream_decoder_new());
    if (!stream.decoder) {
        throw std::bad_alloc();
    }
    FlacSession& session = stream.session;
    session.file = &file;
    session.stopRequested = &stopRequested;
    const auto init = FLAC__stream_decoder_init_stream(
        stream.decoder.get(), readBytes, seekable ? seekTo : nullptr, seekable ? tellPosition : nullptr,
        seekable ? fileLength : nullptr, atEnd, writeFrame, takeMetadata, noteError, &session);
    if (init != FLAC__STREAM_DECODER_INIT_STATUS_OK) {
        throw std::runtime_error(kHeaderError);
    }
    const bool metadataRead = FLAC__stream_decoder_process_until_end_of_metadata(stream.decoder.get());
    throwIfStopRequested(stopRequested);
    if (!metadataRead || !session.haveStreamInfo || session.corrupt) {
        throw std::runtime_error(kHeaderError);
    }
}

enum class RangeEnd { Complete, Short };

// Decodes frames into record from the session's written count up to limit.
// Short when the stream ended before it or a frame was corrupt, missing or
// unreadable; throws on a stop, on running out of memory and when no frame
// comes within 16 MB.
RangeEnd decodeRange(FlacStream& stream, DecodedAudio& record, std::uint64_t limit,
                     const std::atomic<bool>& stopRequested)
{
    FlacSession& session = stream.session;
    session.record = &record;
    session.frameLimit = limit;
    session.lastFrameAt = session.position;
    while (session.written < limit) {
        throwIfStopRequested(stopRequested);
        const bool processed = FLAC__stream_decoder_process_single(stream.decoder.get());
        throwIfStopRequested(stopRequested);
        const FLAC__StreamDecoderState state = FLAC__stream_decoder_get_state(stream.decoder.get());
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
            session.corrupt = true;
            break;
        }
        if (state == FLAC__STREAM_DECODER_END_OF_STREAM) {
            break;
        }
    }
    session.record = nullptr;
    return !session.corrupt && session.written == limit ? RangeEnd::Complete : RangeEnd::Short;
}

// The second half of the frames on a helper thread, from a second decoder
// that seeks to its first sample: true when it decoded that half whole and in
// sequence. Anything else (no seek, a corrupt or missing frame, a stop, an
// error) leaves the half to the one-decoder path, which reports it as before.
bool decodeSecondHalf(const InputFile& file, DecodedAudio& record, std::uint64_t from, std::uint64_t limit,
                      const std::atomic<bool>& stopRequested) noexcept
{
    try {
        FlacStream stream;
        openStream(stream, file, stopRequested, true);
        stream.session.written = from;
        stream.session.seeking = true;
        stream.session.record = &record;
        stream.session.frameLimit = limit;
        if (!FLAC__stream_decoder_seek_absolute(stream.decoder.get(), from) || stream.session.corrupt ||
            stream.session.seeking) {
            return false;
        }
        return decodeRange(stream, record, limit, stopRequested) == RangeEnd::Complete;
    } catch (...) {
        return false;
    }
}

// Below this many frames one decoder is quicker than starting a second.
constexpr std::uint64_t kSplitFrames = std::uint64_t{1} << 18;

} // namespace

DecodedAudio decodeFlac(const std::filesystem::path& path, const std::atomic<bool>& stopRequested, unsigned threads)
{
    int openError = 0;
    const InputFile file = InputFile::open(path, openError);
    if (!file.isOpen()) {
        throwCannotOpen(openError);
    }
    if (!looksLikeNativeFlac(file)) {
        throw std::runtime_error(kHeaderError);
    }
    FlacStream stream;
    openStream(stream, file, stopRequested, false);

    const FLAC__StreamMetadata_StreamInfo info = stream.session.streamInfo;
    DecodedAudio record;
    record.codec = "FLAC";
    record.sampleRate = static_cast<std::int32_t>(info.sample_rate);
    record.bitsPerSample = info.bits_per_sample;
    const std::uint64_t frameLimit =
        prepareChannels(record, static_cast<std::int32_t>(info.channels), info.total_samples);
    if (info.total_samples != 0) {
        record.durationSeconds = static_cast<double>(info.total_samples) / static_cast<double>(record.sampleRate);
    }
    // Sized whole without being written; each decoder writes its own range.
    for (ChannelSamples& channel : record.channels) {
        channel.resize(static_cast<std::size_t>(frameLimit));
    }

    // With a second thread and a declared length, a second decoder takes the
    // second half at once. FLAC frames decode on their own, so the samples
    // are the same; where it cannot, the first decoder goes on alone.
    RangeEnd end = RangeEnd::Short;
    const std::uint64_t half = frameLimit / 2;
    bool secondDone = false;
    if (threads >= 2 && info.total_samples != 0 && frameLimit >= kSplitFrames) {
        runSideBySide(
            true, [&] { end = decodeRange(stream, record, half, stopRequested); },
            [&] { secondDone = decodeSecondHalf(file, record, half, frameLimit, stopRequested); });
        if (end == RangeEnd::Complete && secondDone) {
            return record;
        }
        throwIfStopRequested(stopRequested);
        if (end == RangeEnd::Complete) {
            // The second half again on this decoder, from a fresh start so
            // that it finds what a single pass would.
            stream = FlacStream{};
            openStream(stream, file, stopRequested, false);
            end = decodeRange(stream, record, frameLimit, stopRequested);
        }
    } else {
        end = decodeRange(stream, record, frameLimit, stopRequested);
    }
    if (end == RangeEnd::Short && !(info.total_samples == 0 && !stream.session.corrupt)) {
        throw std::runtime_error(kTruncatedError);
    }
    for (ChannelSamples& channel : record.channels) {
        channel.resize(static_cast<std::size_t>(stream.session.written));
    }
    return record;
}

} // namespace orvel
