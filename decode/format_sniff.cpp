// SPDX-License-Identifier: MIT
#include "decode/format_sniff.h"

#include <array>
#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

#include "decode/input_file.h"

namespace orvel {
namespace {

// Enough for three of the longest frames after a few kilobytes of padding.
constexpr std::size_t kChainWindow = 32 * 1024;
// How far after the expected start the first frame may begin.
constexpr std::size_t kSearchSpan = 4096;
constexpr int kChainFrames = 3;

struct FrameHeader {
    std::uint32_t length = 0;
    std::uint32_t fixed = 0; // the fields every frame of one stream shares
};

// MPEG-1/2/2.5 audio, layers I-III. Free format (bit-rate index 0) has no
// length in its header and is not followed.
std::optional<FrameHeader> mpegHeader(const unsigned char* h)
{
    if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0) {
        return std::nullopt;
    }
    const int version = (h[1] >> 3) & 3; // 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5
    const int layer = (h[1] >> 1) & 3;   // 3 layer I, 2 layer II, 1 layer III
    const int bitrateIndex = h[2] >> 4;
    const int rateIndex = (h[2] >> 2) & 3;
    if (version == 1 || layer == 0 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3) {
        return std::nullopt;
    }
    static constexpr std::array<std::array<int, 15>, 5> kBitrates = {{
        {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448}, // MPEG-1 layer I
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},    // MPEG-1 layer II
        {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},     // MPEG-1 layer III
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},    // MPEG-2/2.5 layer I
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},         // MPEG-2/2.5 layers II, III
    }};
    static constexpr std::array<int, 3> kRates = {44100, 48000, 32000};
    const bool mpeg1 = version == 3;
    const int table = mpeg1 ? 3 - layer : (layer == 3 ? 3 : 4);
    const std::int64_t bitrate = static_cast<std::int64_t>(kBitrates[table][bitrateIndex]) * 1000;
    const std::int64_t rate = kRates[rateIndex] >> (version == 3 ? 0 : version == 2 ? 1 : 2);
    const std::int64_t padding = (h[2] >> 1) & 1;
    std::int64_t length = 0;
    if (layer == 3) {
        length = (12 * bitrate / rate + padding) * 4;
    } else if (layer == 1 && !mpeg1) {
        length = 72 * bitrate / rate + padding;
    } else {
        length = 144 * bitrate / rate + padding;
    }
    return FrameHeader{static_cast<std::uint32_t>(length),
                       static_cast<std::uint32_t>((h[1] & 0xFE) << 8 | (h[2] & 0x0C))};
}

// ADTS (AAC): sync 0xFFF, layer 0, a sampling-rate index below 13 and a
// frame length that holds at least its own header.
std::optional<FrameHeader> adtsHeader(const unsigned char* h)
{
    if (h[0] != 0xFF || (h[1] & 0xF6) != 0xF0) {
        return std::nullopt;
    }
    const int rateIndex = (h[2] >> 2) & 0x0F;
    const int headerLength = (h[1] & 1) != 0 ? 7 : 9;
    const std::uint32_t length = static_cast<std::uint32_t>((h[3] & 3) << 11 | h[4] << 3 | h[5] >> 5);
    if (rateIndex >= 13 || length < static_cast<std::uint32_t>(headerLength)) {
        return std::nullopt;
    }
    return FrameHeader{length, static_cast<std::uint32_t>(h[1] << 8 | (h[2] & 0xFC))};
}

using HeaderReader = std::optional<FrameHeader> (*)(const unsigned char*);

bool chainAt(const std::vector<unsigned char>& bytes, std::size_t start, bool windowIsFileEnd, HeaderReader read)
{
    constexpr std::size_t kHeaderBytes = 6;
    std::optional<std::uint32_t> fixed;
    std::size_t at = start;
    for (int frame = 0; frame < kChainFrames; ++frame) {
        if (frame > 0 && windowIsFileEnd) {
            // A short stream may end after fewer frames, at the file's end or its ID3v1 tag.
            if (at == bytes.size() || (at + 3 <= bytes.size() && std::memcmp(&bytes[at], "TAG", 3) == 0)) {
                return true;
            }
        }
        if (at + kHeaderBytes > bytes.size()) {
            return false;
        }
        const std::optional<FrameHeader> header = read(&bytes[at]);
        if (!header || (fixed && *fixed != header->fixed)) {
            return false;
        }
        fixed = header->fixed;
        at += header->length;
    }
    return true;
}

bool hasChain(const InputFile& file, std::uint64_t offset, HeaderReader read)
{
    std::vector<unsigned char> bytes(kChainWindow);
    bytes.resize(file.readAt(offset, bytes.data(), bytes.size()));
    const bool windowIsFileEnd = offset + bytes.size() >= file.size();
    const std::size_t span = std::min(kSearchSpan, bytes.size());
    for (std::size_t start = 0; start < span; ++start) {
        if (bytes[start] == 0xFF && chainAt(bytes, start, windowIsFileEnd, read)) {
            return true;
        }
    }
    return false;
}

bool startsWith(std::string_view head, std::size_t at, std::string_view magic)
{
    return head.size() >= at + magic.size() && head.substr(at, magic.size()) == magic;
}

} // namespace

std::uint64_t offsetAfterId3v2(const InputFile& file)
{
    std::array<unsigned char, 10> tag{};
    if (file.readAt(0, tag.data(), tag.size()) != tag.size() || std::memcmp(tag.data(), "ID3", 3) != 0) {
        return 0;
    }
    for (std::size_t i = 6; i < 10; ++i) {
        if ((tag[i] & 0x80) != 0) {
            return 0; // not a synchsafe size: no tag
        }
    }
    const std::uint64_t size = std::uint64_t{tag[6]} << 21 | std::uint64_t{tag[7]} << 14 |
                               std::uint64_t{tag[8]} << 7 | std::uint64_t{tag[9]};
    const std::uint64_t footer = (tag[5] & 0x10) != 0 ? 10 : 0;
    return 10 + size + footer;
}

bool hasMpegAudioFrameChain(const InputFile& file, std::uint64_t offset) { return hasChain(file, offset, mpegHeader); }

bool hasAdtsFrameChain(const InputFile& file, std::uint64_t offset) { return hasChain(file, offset, adtsHeader); }

ContentFormat formatOfContent(const InputFile& file)
{
    std::array<char, 16> buffer{};
    const std::string_view head(buffer.data(), file.readAt(0, buffer.data(), buffer.size()));
    if (startsWith(head, 0, "fLaC")) {
        return ContentFormat::Flac;
    }
    for (const std::string_view riff : {"RIFF", "RIFX", "RF64", "BW64"}) {
        if (startsWith(head, 0, riff) && startsWith(head, 8, "WAVE")) {
            return ContentFormat::WavAiff;
        }
    }
    // Wave64: the GUID of its "riff" chunk.
    static constexpr std::array<unsigned char, 16> kWave64 = {0x72, 0x69, 0x66, 0x66, 0x2E, 0x91, 0xCF, 0x11,
                                                              0xA5, 0xD6, 0x28, 0xDB, 0x04, 0xC1, 0x00, 0x00};
    if (head.size() >= kWave64.size() && std::memcmp(head.data(), kWave64.data(), kWave64.size()) == 0) {
        return ContentFormat::WavAiff;
    }
    if (startsWith(head, 0, "FORM") && (startsWith(head, 8, "AIFF") || startsWith(head, 8, "AIFC"))) {
        return ContentFormat::WavAiff;
    }
    // ASF (WMA): the first bytes of its header object's GUID.
    static constexpr std::array<unsigned char, 8> kAsf = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11};
    // Matroska: the EBML magic.
    static constexpr std::array<unsigned char, 4> kEbml = {0x1A, 0x45, 0xDF, 0xA3};
    if (startsWith(head, 4, "ftyp") || startsWith(head, 0, "caff") || startsWith(head, 0, "OggS") ||
        startsWith(head, 0, "wvpk") || startsWith(head, 0, "MAC ") || startsWith(head, 0, "TTA1") ||
        startsWith(head, 0, "tBaK") ||
        (head.size() >= kAsf.size() && std::memcmp(head.data(), kAsf.data(), kAsf.size()) == 0) ||
        (head.size() >= kEbml.size() && std::memcmp(head.data(), kEbml.data(), kEbml.size()) == 0)) {
        return ContentFormat::Ffmpeg;
    }
    const std::uint64_t audioStart = offsetAfterId3v2(file);
    std::array<char, 4> afterTag{};
    if (audioStart > 0 && file.readAt(audioStart, afterTag.data(), afterTag.size()) == afterTag.size() &&
        std::string_view(afterTag.data(), afterTag.size()) == "fLaC") {
        return ContentFormat::Flac; // libFLAC skips the tag
    }
    if (hasAdtsFrameChain(file, audioStart) || hasMpegAudioFrameChain(file, audioStart)) {
        return ContentFormat::Ffmpeg;
    }
    return ContentFormat::Unknown;
}

} // namespace orvel
