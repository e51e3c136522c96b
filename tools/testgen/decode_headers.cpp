// SPDX-License-Identifier: MIT
// Hand-made headers for the decoder tests, for what no encoder writes on
// request:
//   craft-wav OUT key=value...   a RIFF or RF64 WAV with any declared facts
//   flip-byte IN OUT OFFSET      IN with the byte at OFFSET (or at N% of the
//                                file) inverted
//   patch-flac-streaminfo IN OUT key=value...
//                                IN with STREAMINFO's rate, channels, bits or
//                                total frame count replaced
//   flac-first-frame FILE        prints the offset of FILE's first audio frame
//   insert-bytes IN OUT OFFSET COUNT VALUE
//                                IN with COUNT bytes of VALUE inserted at OFFSET
//                                (an OFFSET of "end" appends)
//
// craft-wav keys: rate (48000), channels (2), bits (16: the declared width),
// container (bits rounded up to whole bytes), valid (makes the header
// WAVE_FORMAT_EXTENSIBLE with these valid bits), format (pcm, float or a tag
// number), frames (64, the frames written), data-bytes (the declared data
// size, default the size written), layout (riff or rf64), nan-at (a frame of
// channel 0 that holds NaN, float only).
//
// Written samples, per channel c at frame f, take the pattern at index f + 7c:
// integer PCM with m meaningful bits (valid bits when 1..container, else the
// smaller of bits and container): index 0 is the largest value 2^(m-1) - 1,
// 1 the smallest -2^(m-1), 2 is 2^(m-2) (one half), 3 is 0, then a fixed
// pseudo-random sequence; stored left-justified in the container (8-bit
// unsigned). Float: 0.5, -1.0, 1.5, -2.25, 1e-30 (32-bit) or 1e-300
// (64-bit), 0.1, then 0.8 sin(0.05 i).
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "tools/testgen/testgen.h"

namespace {

using Options = std::map<std::string, std::string>;

bool parseOptions(int argc, char** argv, int first, Options& options)
{
    for (int i = first; i < argc; ++i) {
        const char* eq = std::strchr(argv[i], '=');
        if (eq == nullptr) {
            std::fprintf(stderr, "%s: expected key=value, got %s\n", argv[0], argv[i]);
            return false;
        }
        options[std::string(argv[i], static_cast<std::size_t>(eq - argv[i]))] = eq + 1;
    }
    return true;
}

std::uint64_t number(const Options& options, const std::string& key, std::uint64_t fallback)
{
    const auto it = options.find(key);
    return it == options.end() ? fallback : std::strtoull(it->second.c_str(), nullptr, 0);
}

void put16(std::vector<std::uint8_t>& out, std::uint64_t v)
{
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void put32(std::vector<std::uint8_t>& out, std::uint64_t v)
{
    put16(out, v & 0xFFFF);
    put16(out, (v >> 16) & 0xFFFF);
}

void put64(std::vector<std::uint8_t>& out, std::uint64_t v)
{
    put32(out, v & 0xFFFFFFFFu);
    put32(out, v >> 32);
}

void putId(std::vector<std::uint8_t>& out, const char* id) { out.insert(out.end(), id, id + 4); }

std::int64_t integerPattern(std::uint64_t index, unsigned bits)
{
    const std::int64_t top = std::int64_t{1} << (bits - 1);
    switch (index) {
    case 0:
        return top - 1;
    case 1:
        return -top;
    case 2:
        return top / 2;
    case 3:
        return 0;
    default: {
        // A fixed LCG step of the index, reduced to the signed range.
        const std::uint64_t mixed = index * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<std::int64_t>((mixed >> 20) & ((std::uint64_t{1} << bits) - 1)) - top;
    }
    }
}

double floatPattern(std::uint64_t index, bool wide)
{
    static const double kFirst[] = {0.5, -1.0, 1.5, -2.25};
    if (index < 4) {
        return kFirst[index];
    }
    if (index == 4) {
        return wide ? 1e-300 : 1e-30;
    }
    if (index == 5) {
        return 0.1;
    }
    return 0.8 * std::sin(0.05 * static_cast<double>(index));
}

int craftWav(int argc, char** argv)
{
    Options options;
    if (argc < 2 || !parseOptions(argc, argv, 2, options)) {
        std::fprintf(stderr, "usage: craft-wav OUT key=value...\n");
        return 64;
    }
    const std::uint64_t rate = number(options, "rate", 48000);
    const std::uint64_t channels = number(options, "channels", 2);
    const unsigned bits = static_cast<unsigned>(number(options, "bits", 16));
    const unsigned container = static_cast<unsigned>(number(options, "container", (bits + 7) / 8 * 8));
    const bool extensible = options.count("valid") != 0;
    const unsigned valid = static_cast<unsigned>(number(options, "valid", 0));
    const std::string formatName = options.count("format") ? options.at("format") : "pcm";
    const std::uint64_t tag = formatName == "pcm" ? 1 : formatName == "float" ? 3 : number(options, "format", 1);
    const std::uint64_t frames = number(options, "frames", 64);
    const bool rf64 = options.count("layout") && options.at("layout") == "rf64";
    const bool haveNan = options.count("nan-at") != 0;
    const std::uint64_t nanAt = number(options, "nan-at", 0);
    if (container == 0 || container % 8 != 0 || container > 64) {
        std::fprintf(stderr, "craft-wav: container must be 8..64 in whole bytes\n");
        return 64;
    }

    const std::uint64_t bytesPerSample = container / 8;
    const std::uint64_t blockAlign = channels * bytesPerSample;
    std::vector<std::uint8_t> data;
    data.reserve(frames * blockAlign);
    unsigned meaningful = extensible && valid >= 1 && valid <= container ? valid : std::min(bits, container);
    meaningful = std::max(1u, std::min(meaningful, 32u));
    for (std::uint64_t f = 0; f < frames; ++f) {
        for (std::uint64_t c = 0; c < channels; ++c) {
            const std::uint64_t index = f + 7 * c;
            if (tag == 3) {
                double value = floatPattern(index, container == 64);
                if (haveNan && c == 0 && f == nanAt) {
                    value = std::numeric_limits<double>::quiet_NaN();
                }
                if (container == 64) {
                    std::uint64_t raw = 0;
                    std::memcpy(&raw, &value, 8);
                    put64(data, raw);
                } else {
                    const float narrow = static_cast<float>(value);
                    std::uint32_t raw = 0;
                    std::memcpy(&raw, &narrow, 4);
                    put32(data, raw);
                }
                continue;
            }
            const std::int64_t value = integerPattern(index, meaningful);
            std::uint64_t stored = static_cast<std::uint64_t>(value) << (container - meaningful);
            if (container == 8) {
                stored += 128;
            }
            for (std::uint64_t b = 0; b < bytesPerSample; ++b) {
                data.push_back(static_cast<std::uint8_t>(stored >> (8 * b)));
            }
        }
    }
    const std::uint64_t dataBytes = number(options, "data-bytes", data.size());

    std::vector<std::uint8_t> fmt;
    put16(fmt, extensible ? 0xFFFE : tag);
    put16(fmt, channels & 0xFFFF);
    put32(fmt, rate & 0xFFFFFFFFu);
    put32(fmt, (rate * blockAlign) & 0xFFFFFFFFu);
    put16(fmt, blockAlign & 0xFFFF);
    put16(fmt, bits);
    if (extensible) {
        put16(fmt, 22);
        put16(fmt, valid);
        put32(fmt, 0); // no speaker positions
        put32(fmt, tag);
        const std::uint8_t tail[] = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
        fmt.insert(fmt.end(), std::begin(tail), std::end(tail));
    } else if (tag != 1) {
        put16(fmt, 0);
    }

    std::vector<std::uint8_t> body;
    putId(body, "WAVE");
    if (rf64) {
        putId(body, "ds64");
        put32(body, 28);
        put64(body, 4 + 36 + 8 + fmt.size() + 8 + data.size());
        put64(body, dataBytes);
        put64(body, blockAlign ? dataBytes / blockAlign : 0);
        put32(body, 0);
    }
    putId(body, "fmt ");
    put32(body, fmt.size());
    body.insert(body.end(), fmt.begin(), fmt.end());
    putId(body, "data");
    put32(body, rf64 ? 0xFFFFFFFFu : dataBytes & 0xFFFFFFFFu);
    body.insert(body.end(), data.begin(), data.end());
    if (data.size() % 2 != 0) {
        body.push_back(0);
    }

    std::vector<std::uint8_t> out;
    putId(out, rf64 ? "RF64" : "RIFF");
    put32(out, rf64 ? 0xFFFFFFFFu : body.size());
    out.insert(out.end(), body.begin(), body.end());
    std::ofstream file(argv[1], std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
    file.close();
    if (!file) {
        std::fprintf(stderr, "craft-wav: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}

bool readAll(const char* path, std::vector<std::uint8_t>& data)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

bool writeAll(const char* path, const std::vector<std::uint8_t>& data)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    out.close();
    return static_cast<bool>(out);
}

int flipByte(int argc, char** argv)
{
    std::vector<std::uint8_t> data;
    if (argc != 4 || !readAll(argv[1], data) || data.empty()) {
        std::fprintf(stderr, "usage: flip-byte IN OUT OFFSET|PERCENT%%\n");
        return 64;
    }
    const std::string at = argv[3];
    std::uint64_t offset = std::strtoull(at.c_str(), nullptr, 0);
    if (!at.empty() && at.back() == '%') {
        offset = data.size() * offset / 100;
    }
    if (offset >= data.size()) {
        std::fprintf(stderr, "flip-byte: offset %s is past the end\n", argv[3]);
        return 1;
    }
    data[offset] = static_cast<std::uint8_t>(~data[offset]);
    return writeAll(argv[2], data) ? 0 : 1;
}

int patchFlacStreaminfo(int argc, char** argv)
{
    Options options;
    std::vector<std::uint8_t> data;
    if (argc < 3 || !parseOptions(argc, argv, 3, options) || !readAll(argv[1], data)) {
        std::fprintf(stderr, "usage: patch-flac-streaminfo IN OUT key=value...\n");
        return 64;
    }
    if (data.size() < 42 || std::memcmp(data.data(), "fLaC", 4) != 0 || (data[4] & 0x7F) != 0) {
        std::fprintf(stderr, "patch-flac-streaminfo: %s does not start with STREAMINFO\n", argv[1]);
        return 1;
    }
    // Bytes 18..25: rate (20 bits), channels - 1 (3), bits - 1 (5), total frames (36).
    std::uint64_t packed = 0;
    for (int i = 18; i < 26; ++i) {
        packed = (packed << 8) | data[static_cast<std::size_t>(i)];
    }
    std::uint64_t rate = packed >> 44;
    std::uint64_t channels = ((packed >> 41) & 7) + 1;
    std::uint64_t bits = ((packed >> 36) & 31) + 1;
    std::uint64_t total = packed & ((std::uint64_t{1} << 36) - 1);
    rate = number(options, "rate", rate);
    channels = number(options, "channels", channels);
    bits = number(options, "bits", bits);
    total = number(options, "total", total);
    packed = ((rate & 0xFFFFF) << 44) | (((channels - 1) & 7) << 41) | (((bits - 1) & 31) << 36) |
             (total & ((std::uint64_t{1} << 36) - 1));
    for (int i = 25; i >= 18; --i) {
        data[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(packed);
        packed >>= 8;
    }
    return writeAll(argv[2], data) ? 0 : 1;
}

int flacFirstFrame(int argc, char** argv)
{
    std::vector<std::uint8_t> data;
    if (argc != 2 || !readAll(argv[1], data)) {
        std::fprintf(stderr, "usage: flac-first-frame FILE\n");
        return 64;
    }
    if (data.size() < 8 || std::memcmp(data.data(), "fLaC", 4) != 0) {
        std::fprintf(stderr, "flac-first-frame: %s is not a native FLAC file\n", argv[1]);
        return 1;
    }
    // Metadata blocks: a 1-byte last-flag/type, a 24-bit big-endian length.
    std::size_t offset = 4;
    for (;;) {
        if (offset + 4 > data.size()) {
            std::fprintf(stderr, "flac-first-frame: metadata runs past the end\n");
            return 1;
        }
        const bool last = (data[offset] & 0x80) != 0;
        const std::size_t length = (std::size_t{data[offset + 1]} << 16) | (std::size_t{data[offset + 2]} << 8) |
                                   data[offset + 3];
        offset += 4 + length;
        if (last) {
            break;
        }
    }
    std::printf("%zu\n", offset);
    return 0;
}

int insertBytes(int argc, char** argv)
{
    std::vector<std::uint8_t> data;
    if (argc != 6 || !readAll(argv[1], data)) {
        std::fprintf(stderr, "usage: insert-bytes IN OUT OFFSET|end COUNT VALUE\n");
        return 64;
    }
    const std::size_t offset =
        std::strcmp(argv[3], "end") == 0 ? data.size() : static_cast<std::size_t>(std::strtoull(argv[3], nullptr, 0));
    const auto count = static_cast<std::size_t>(std::strtoull(argv[4], nullptr, 0));
    const auto value = static_cast<std::uint8_t>(std::strtoul(argv[5], nullptr, 0));
    if (offset > data.size()) {
        std::fprintf(stderr, "insert-bytes: offset %s is past the end\n", argv[3]);
        return 1;
    }
    data.insert(data.begin() + static_cast<std::ptrdiff_t>(offset), count, value);
    return writeAll(argv[2], data) ? 0 : 1;
}

} // namespace

KESTRONE_TESTGEN_COMMAND("craft-wav", craftWav);
KESTRONE_TESTGEN_COMMAND("flac-first-frame", flacFirstFrame);
KESTRONE_TESTGEN_COMMAND("insert-bytes", insertBytes);
KESTRONE_TESTGEN_COMMAND("flip-byte", flipByte);
KESTRONE_TESTGEN_COMMAND("patch-flac-streaminfo", patchFlacStreaminfo);
