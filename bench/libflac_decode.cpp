// SPDX-License-Identifier: MIT
#include "bench/libflac_decode.h"

#include <FLAC/stream_decoder.h>

#include <memory>
#include <stdexcept>

namespace orvel::bench {

namespace {

struct DecoderDeleter {
    void operator()(FLAC__StreamDecoder* decoder) const { FLAC__stream_decoder_delete(decoder); }
};

struct Tally {
    std::uint64_t samples = 0;
    bool failed = false;
};

FLAC__StreamDecoderWriteStatus onFrame(const FLAC__StreamDecoder*, const FLAC__Frame* frame,
                                       const FLAC__int32* const[], void* client)
{
    auto* tally = static_cast<Tally*>(client);
    tally->samples += std::uint64_t{frame->header.blocksize} * frame->header.channels;
    return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
}

void onError(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus, void* client)
{
    static_cast<Tally*>(client)->failed = true;
}

} // namespace

std::uint64_t decodeWithLibFlacOnly(const std::string& path)
{
    std::unique_ptr<FLAC__StreamDecoder, DecoderDeleter> decoder(FLAC__stream_decoder_new());
    if (!decoder) {
        throw std::runtime_error("FLAC__stream_decoder_new failed");
    }
    Tally tally;
    if (FLAC__stream_decoder_init_file(decoder.get(), path.c_str(), onFrame, nullptr, onError, &tally) !=
        FLAC__STREAM_DECODER_INIT_STATUS_OK) {
        throw std::runtime_error("cannot open " + path);
    }
    if (!FLAC__stream_decoder_process_until_end_of_stream(decoder.get()) || tally.failed) {
        throw std::runtime_error("cannot decode " + path);
    }
    FLAC__stream_decoder_finish(decoder.get());
    return tally.samples;
}

} // namespace orvel::bench
