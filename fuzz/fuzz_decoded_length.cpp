// SPDX-License-Identifier: MIT
// decodeAudio on arbitrary bytes saved under one extension (KESTRONE_FUZZ_EXTENSION):
// a record that decodes must agree with its duration. The duration is never
// shorter than what decoded, and a stream decoded to its end (below 30 s and
// 24,000,000 samples) is exactly as long as it decoded: a container that
// declares more than its stream holds fails as truncated instead.
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "decode/decode_audio.h"
#include "fuzz/fuzz_input_file.h"

namespace {

void fail(const char* what, double duration, double decoded)
{
    std::fprintf(stderr, "decoded length breaks its promise: %s (duration %.17g s, decoded %.17g s)\n", what,
                 duration, decoded);
    std::abort();
}

void checkLength(const orvel::DecodedAudio& audio)
{
    if (audio.channels.empty() || audio.sampleRate <= 0) {
        return; // fuzz_decode_* judge the record's shape
    }
    const std::size_t frames = audio.channels.front().size();
    const double decoded = static_cast<double>(frames) / static_cast<double>(audio.sampleRate);
    const bool wholeStream = frames < 30 * static_cast<std::size_t>(audio.sampleRate) &&
                             frames * audio.channels.size() < 24'000'000;
    if (!std::isfinite(audio.durationSeconds) || audio.durationSeconds < decoded) {
        fail("duration shorter than what decoded", audio.durationSeconds, decoded);
    }
    if (wholeStream && audio.durationSeconds != decoded) {
        fail("a stream decoded to its end reports another length", audio.durationSeconds, decoded);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string& path = orvel::fuzz::inputPath(KESTRONE_FUZZ_EXTENSION);
    orvel::fuzz::writeInput(path, data, size);
    const std::atomic<bool> stop{false};
    try {
        checkLength(orvel::decodeAudio(path, stop));
    } catch (const std::runtime_error&) {
        // Refusing is always allowed here; fuzz_decode_* judge the message.
    }
    return 0;
}
