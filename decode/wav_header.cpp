// SPDX-License-Identifier: MIT
#include "decode/wav_header.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "decode/input_file.h"

namespace orvel {
namespace {

using Container = WavHeaderFacts::Container;
using Bytes = const unsigned char*;

// A crafted file can hold any number of tiny chunks; real ones have a handful.
constexpr int kMaxChunks = 65536;
constexpr std::uint32_t kUnknownSize32 = 0xFFFFFFFFu;
constexpr std::uint32_t kWaveFormatExtensible = 0xFFFE;
constexpr std::uint32_t kWaveFormatAlaw = 6;
constexpr std::uint32_t kWaveFormatMulaw = 7;

std::uint32_t u16(Bytes p, bool bigEndian)
{
    return bigEndian ? (std::uint32_t{p[0]} << 8) | p[1] : (std::uint32_t{p[1]} << 8) | p[0];
}

std::uint32_t u32(Bytes p, bool bigEndian)
{
    return bigEndian ? (u16(p, true) << 16) | u16(p + 2, true) : (u16(p + 2, false) << 16) | u16(p, false);
}

std::uint64_t u64(Bytes p, bool bigEndian)
{
    return bigEndian ? (std::uint64_t{u32(p, true)} << 32) | u32(p + 4, true)
                     : (std::uint64_t{u32(p + 4, false)} << 32) | u32(p, false);
}

bool is(Bytes p, const char* id) { return std::memcmp(p, id, 4) == 0; }

// WAVEFORMATEX, optionally WAVEFORMATEXTENSIBLE, of a RIFF-family "fmt " chunk.
bool parseFmt(Bytes p, std::size_t size, bool bigEndian, WavHeaderFacts& facts)
{
    if (size < 16) {
        return false;
    }
    facts.formatTag = u16(p, bigEndian);
    facts.channels = u16(p + 2, bigEndian);
    facts.sampleRate = u32(p + 4, bigEndian);
    facts.blockAlign = u16(p + 12, bigEndian);
    facts.bitsPerSample = u16(p + 14, bigEndian);
    if (facts.formatTag == kWaveFormatExtensible && size >= 40 && u16(p + 16, bigEndian) >= 22) {
        facts.validBitsPerSample = u16(p + 18, bigEndian);
        // The sub-format GUID starts with the plain format tag.
        facts.formatTag = u16(p + 24, bigEndian);
    }
    return true;
}

std::optional<std::uint64_t> framesOf(std::optional<std::uint64_t> dataBytes, const WavHeaderFacts& facts)
{
    std::uint64_t blockAlign = facts.blockAlign;
    if (blockAlign == 0) {
        blockAlign = std::uint64_t{facts.channels} * ((facts.bitsPerSample + 7) / 8);
    }
    if (!dataBytes || blockAlign == 0) {
        return std::nullopt;
    }
    return *dataBytes / blockAlign;
}

std::optional<WavHeaderFacts> scanRiff(const InputFile& file, Container container)
{
    const bool bigEndian = container == Container::Rifx;
    WavHeaderFacts facts;
    facts.container = container;
    bool haveFmt = false;
    bool haveData = false;
    std::optional<std::uint64_t> ds64DataBytes;
    std::optional<std::uint64_t> dataBytes;
    std::uint64_t offset = 12;
    for (int chunk = 0; chunk < kMaxChunks && !(haveFmt && haveData); ++chunk) {
        std::array<unsigned char, 8> header{};
        if (file.readAt(offset, header.data(), header.size()) < header.size()) {
            break;
        }
        const std::uint32_t size = u32(header.data() + 4, bigEndian);
        std::uint64_t bodySize = size;
        if (is(header.data(), "ds64") && container == Container::Rf64) {
            std::array<unsigned char, 16> body{};
            if (file.readAt(offset + 8, body.data(), body.size()) == body.size()) {
                ds64DataBytes = u64(body.data() + 8, false);
            }
        } else if (is(header.data(), "fmt ") && !haveFmt) {
            std::array<unsigned char, 40> body{};
            const std::size_t got = file.readAt(offset + 8, body.data(), std::min<std::size_t>(size, body.size()));
            haveFmt = parseFmt(body.data(), got, bigEndian, facts);
        } else if (is(header.data(), "data")) {
            haveData = true;
            if (container == Container::Rf64 && size == kUnknownSize32) {
                dataBytes = ds64DataBytes;
                bodySize = ds64DataBytes.value_or(0);
            } else if (!(container == Container::Riff && size == kUnknownSize32)) {
                dataBytes = size;
            }
        }
        if (bodySize >= file.size()) {
            break; // nothing can follow a chunk that runs past the end
        }
        offset += 8 + bodySize + (bodySize & 1);
    }
    if (!haveFmt) {
        return std::nullopt;
    }
    facts.dataFrames = framesOf(dataBytes, facts);
    return facts;
}

constexpr std::array<unsigned char, 12> kWave64GuidTail = {0xF3, 0xAC, 0xD3, 0x11, 0x8C, 0xD1,
                                                           0x00, 0xC0, 0x4F, 0x8E, 0xDB, 0x8A};

bool isWave64Guid(Bytes p, const char* id)
{
    return is(p, id) && std::memcmp(p + 4, kWave64GuidTail.data(), kWave64GuidTail.size()) == 0;
}

std::optional<WavHeaderFacts> scanWave64(const InputFile& file)
{
    WavHeaderFacts facts;
    facts.container = Container::Wave64;
    bool haveFmt = false;
    bool haveData = false;
    std::optional<std::uint64_t> dataBytes;
    std::uint64_t offset = 40;
    for (int chunk = 0; chunk < kMaxChunks && !(haveFmt && haveData); ++chunk) {
        std::array<unsigned char, 24> header{};
        if (file.readAt(offset, header.data(), header.size()) < header.size()) {
            break;
        }
        // Wave64 sizes count the 24-byte chunk header; chunks align to 8 bytes.
        const std::uint64_t size = u64(header.data() + 16, false);
        if (size < 24) {
            break;
        }
        if (isWave64Guid(header.data(), "fmt ") && !haveFmt) {
            std::array<unsigned char, 40> body{};
            const std::size_t got =
                file.readAt(offset + 24, body.data(), static_cast<std::size_t>(std::min<std::uint64_t>(size - 24, 40)));
            haveFmt = parseFmt(body.data(), got, false, facts);
        } else if (isWave64Guid(header.data(), "data")) {
            haveData = true;
            dataBytes = size - 24;
        }
        if (size > ~std::uint64_t{0} - offset - 8) {
            break;
        }
        offset += (size + 7) & ~std::uint64_t{7};
    }
    if (!haveFmt) {
        return std::nullopt;
    }
    facts.dataFrames = framesOf(dataBytes, facts);
    return facts;
}

// The 80-bit IEEE extended sample rate of an AIFF COMM chunk.
std::uint32_t extendedToRate(Bytes p)
{
    const int exponent = static_cast<int>(((p[0] & 0x7F) << 8) | p[1]);
    const std::uint64_t mantissa = u64(p + 2, true);
    if ((p[0] & 0x80) != 0 || mantissa == 0) {
        return 0;
    }
    const double value = std::ldexp(static_cast<double>(mantissa), exponent - 16383 - 63);
    if (!(value < 4294967295.0)) {
        return 0xFFFFFFFFu;
    }
    return static_cast<std::uint32_t>(value);
}

std::uint32_t aifcFormatTag(Bytes compression)
{
    for (const char* id : {"NONE", "twos", "sowt", "raw ", "in24", "in32", "42ni", "23ni"}) {
        if (is(compression, id)) {
            return WavHeaderFacts::kFormatPcm;
        }
    }
    for (const char* id : {"fl32", "FL32", "fl64", "FL64"}) {
        if (is(compression, id)) {
            return WavHeaderFacts::kFormatIeeeFloat;
        }
    }
    if (is(compression, "ulaw") || is(compression, "ULAW")) {
        return kWaveFormatMulaw;
    }
    if (is(compression, "alaw") || is(compression, "ALAW")) {
        return kWaveFormatAlaw;
    }
    return WavHeaderFacts::kFormatCompressed;
}

std::optional<WavHeaderFacts> scanAiff(const InputFile& file, Container container)
{
    WavHeaderFacts facts;
    facts.container = container;
    facts.formatTag = WavHeaderFacts::kFormatPcm;
    bool haveComm = false;
    bool haveSound = false;
    std::uint64_t commFrames = 0;
    std::uint64_t offset = 12;
    for (int chunk = 0; chunk < kMaxChunks && !(haveComm && haveSound); ++chunk) {
        std::array<unsigned char, 8> header{};
        if (file.readAt(offset, header.data(), header.size()) < header.size()) {
            break;
        }
        const std::uint32_t size = u32(header.data() + 4, true);
        if (is(header.data(), "COMM") && !haveComm) {
            std::array<unsigned char, 22> body{};
            const std::size_t got = file.readAt(offset + 8, body.data(), std::min<std::size_t>(size, body.size()));
            if (got >= 18) {
                haveComm = true;
                facts.channels = u16(body.data(), true);
                commFrames = u32(body.data() + 2, true);
                facts.bitsPerSample = u16(body.data() + 6, true);
                facts.sampleRate = extendedToRate(body.data() + 8);
                if (container == Container::Aifc) {
                    facts.formatTag = got >= 22 ? aifcFormatTag(body.data() + 18) : WavHeaderFacts::kFormatCompressed;
                }
                facts.blockAlign = facts.channels * ((facts.bitsPerSample + 7) / 8);
            }
        } else if (is(header.data(), "SSND")) {
            haveSound = true;
        }
        offset += 8 + std::uint64_t{size} + (size & 1);
    }
    if (!haveComm) {
        return std::nullopt;
    }
    if (haveSound) {
        facts.dataFrames = commFrames;
    }
    return facts;
}

constexpr std::array<unsigned char, 16> kWave64Riff = {0x72, 0x69, 0x66, 0x66, 0x2E, 0x91, 0xCF, 0x11,
                                                       0xA5, 0xD6, 0x28, 0xDB, 0x04, 0xC1, 0x00, 0x00};

} // namespace

std::optional<WavHeaderFacts> scanWavHeader(const InputFile& file)
{
    std::array<unsigned char, 40> start{};
    const std::size_t got = file.readAt(0, start.data(), start.size());
    if (got < 12) {
        return std::nullopt;
    }
    const Bytes p = start.data();
    if (is(p + 8, "WAVE")) {
        if (is(p, "RIFF")) {
            return scanRiff(file, Container::Riff);
        }
        if (is(p, "RIFX")) {
            return scanRiff(file, Container::Rifx);
        }
        if (is(p, "RF64") || is(p, "BW64")) {
            return scanRiff(file, Container::Rf64);
        }
    }
    if (is(p, "FORM")) {
        if (is(p + 8, "AIFF")) {
            return scanAiff(file, Container::Aiff);
        }
        if (is(p + 8, "AIFC")) {
            return scanAiff(file, Container::Aifc);
        }
    }
    if (got == start.size() && std::memcmp(p, kWave64Riff.data(), kWave64Riff.size()) == 0 &&
        isWave64Guid(p + 24, "wave")) {
        return scanWave64(file);
    }
    return std::nullopt;
}

} // namespace orvel
