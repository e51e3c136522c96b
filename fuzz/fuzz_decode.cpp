// SPDX-License-Identifier: MIT
// decodeAudio on arbitrary bytes saved under one extension (KESTRONE_FUZZ_EXTENSION).
// Any outcome other than a decoded record that keeps its promises or a
// std::runtime_error with a readable message is a finding.
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "decode/decode_audio.h"
#include "fuzz/fuzz_input_file.h"
#include "tests/support/json.h"

namespace {

void fail(const char* what)
{
    std::fprintf(stderr, "decoded record breaks its promise: %s\n", what);
    std::abort();
}

void checkRecord(const orvel::DecodedAudio& audio)
{
    if (audio.channels.empty() || audio.channels.size() > 32) {
        fail("channel count outside 1..32");
    }
    const std::size_t frames = audio.channels.front().size();
    if (frames == 0) {
        fail("no frames");
    }
    if (audio.sampleRate < 8000 || audio.sampleRate > 384000) {
        fail("sample rate outside 8..384 kHz");
    }
    if (frames * audio.channels.size() > 24'000'000 || frames > 30 * static_cast<std::size_t>(audio.sampleRate)) {
        fail("more than the analysed region");
    }
    for (const auto& channel : audio.channels) {
        if (channel.size() != frames) {
            fail("channels of different length");
        }
        for (const double sample : channel) {
            if (!std::isfinite(sample)) {
                fail("sample not finite");
            }
            // Integer sources are scaled to [-1, 1); float sources keep their values.
            if (audio.integerSamples && (sample < -1.0 || sample >= 1.0)) {
                fail("integer sample outside full scale");
            }
        }
    }
    if (!(audio.durationSeconds > 0.0) || !std::isfinite(audio.durationSeconds)) {
        fail("duration not positive");
    }
    if (audio.codec.empty()) {
        fail("no codec label");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string& path = orvel::fuzz::inputPath(KESTRONE_FUZZ_EXTENSION);
    orvel::fuzz::writeInput(path, data, size);
    const std::atomic<bool> stop{false};
    try {
        checkRecord(orvel::decodeAudio(path, stop));
    } catch (const orvel::Cancelled&) {
        fail("cancelled without a stop request");
    } catch (const std::runtime_error& error) {
        const std::string_view message = error.what();
        if (message.empty() || !orvel::testing::isValidUtf8(message)) {
            fail("error message empty or not UTF-8");
        }
    }
    return 0;
}
