// SPDX-License-Identifier: MIT
// adts-sine-window: rewrites an ADTS stream so that every frame asks the
// decoder for the sine window. ffmpeg's aac encoder codes long blocks with the
// KBD window; with window_shape cleared its output decodes to what a
// sine-window encoder's bitstream would give: the same quantised coefficients,
// zeros included, synthesised by the sine-window inverse MDCT.
// Handles what can be patched without parsing the spectral data: frames whose
// first element is a single channel (SCE) or a channel pair with a common
// window (CPE); any other frame is an error, so a stream is never half patched.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "tools/testgen/testgen.h"

namespace {

constexpr std::size_t kHeaderBits = 56; // ADTS header without CRC

bool bitAt(const std::vector<std::uint8_t>& data, std::size_t frame, std::size_t bit)
{
    return ((data[frame + bit / 8] >> (7 - bit % 8)) & 1) != 0;
}

void clearBit(std::vector<std::uint8_t>& data, std::size_t frame, std::size_t bit)
{
    data[frame + bit / 8] = static_cast<std::uint8_t>(data[frame + bit / 8] & ~(1u << (7 - bit % 8)));
}

unsigned bitsAt(const std::vector<std::uint8_t>& data, std::size_t frame, std::size_t bit, unsigned count)
{
    unsigned value = 0;
    for (unsigned i = 0; i < count; ++i) {
        value = (value << 1) | (bitAt(data, frame, bit + i) ? 1u : 0u);
    }
    return value;
}

int adtsSineWindow(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: adts-sine-window IN.aac OUT.aac\n");
        return 64;
    }
    std::ifstream in(argv[1], std::ios::binary);
    std::vector<std::uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.eof() && in.fail()) {
        std::fprintf(stderr, "adts-sine-window: cannot read %s\n", argv[1]);
        return 1;
    }

    std::size_t frames = 0;
    std::size_t pos = 0;
    while (pos < data.size()) {
        if (data.size() - pos < 9 || data[pos] != 0xFF || (data[pos + 1] & 0xF6) != 0xF0) {
            std::fprintf(stderr, "adts-sine-window: no ADTS sync at byte %zu\n", pos);
            return 1;
        }
        const bool protectionAbsent = bitAt(data, pos, 15);
        const unsigned frameLength = bitsAt(data, pos, 30, 13);
        const unsigned rawBlocks = bitsAt(data, pos, 54, 2);
        if (!protectionAbsent || rawBlocks != 0 || frameLength < 9 || frameLength > data.size() - pos) {
            std::fprintf(stderr, "adts-sine-window: frame at byte %zu has a CRC, several blocks or a bad length\n", pos);
            return 1;
        }
        // raw_data_block: id_syn_ele (3), element_instance_tag (4), then
        // SCE: global_gain (8) + ics_info; CPE: common_window (1) + ics_info.
        // ics_info: ics_reserved_bit (1), window_sequence (2), window_shape (1).
        const unsigned element = bitsAt(data, pos, kHeaderBits, 3);
        std::size_t icsInfo = 0;
        if (element == 0) {
            icsInfo = kHeaderBits + 3 + 4 + 8;
        } else if (element == 1 && bitAt(data, pos, kHeaderBits + 7)) {
            icsInfo = kHeaderBits + 3 + 4 + 1;
        } else {
            std::fprintf(stderr, "adts-sine-window: frame at byte %zu starts with element %u without a common window\n",
                         pos, element);
            return 1;
        }
        clearBit(data, pos, icsInfo + 3);
        ++frames;
        pos += frameLength;
    }
    if (frames == 0) {
        std::fprintf(stderr, "adts-sine-window: %s holds no frames\n", argv[1]);
        return 1;
    }

    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "adts-sine-window: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}

} // namespace

KESTRONE_TESTGEN_COMMAND("adts-sine-window", adtsSineWindow);
