#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Writes a TAK file that stores 16- or 24-bit PCM verbatim.

No Debian package encodes TAK. The format lets a frame give each channel's
samples as residuals of no predictor, each in a fixed number of bits, so a
real TAK stream (stream information, frame headers, CRC-24 checks) can hold
any PCM without a compressor. Raw little-endian interleaved PCM comes on
standard input.
  usage: make-raw-tak.py OUT RATE CHANNELS BITS < PCM
"""
import sys

CODEC_MONO_STEREO = 2
# Frame size types of 4096, 2048, 1024 and 512 samples; a frame may not be
# longer than a quarter second.
FRAME_SIZES = ((4, 4096), (9, 2048), (8, 1024), (7, 512))


def frame_size(rate):
    return next(size for size in FRAME_SIZES if size[1] <= rate * 8 >> 5)


class Bits:
    """Little-endian bit writer: a value's least significant bit goes first."""

    def __init__(self):
        self.out = bytearray()
        self.acc = 0
        self.n = 0

    def put(self, value, width):
        self.acc |= (value & ((1 << width) - 1)) << self.n
        self.n += width
        while self.n >= 8:
            self.out.append(self.acc & 0xFF)
            self.acc >>= 8
            self.n -= 8

    def align(self):
        if self.n:
            self.put(0, 8 - self.n)

    def bytes(self):
        assert self.n == 0
        return bytes(self.out)


def crc24(data):
    """CRC-24 (polynomial 0x864CFB, start 0xB704CE), stored little-endian."""
    crc = 0xB704CE
    for byte in data:
        crc ^= byte << 16
        for _ in range(8):
            crc <<= 1
            if crc & 0x1000000:
                crc ^= 0x1864CFB
    return (crc & 0xFFFFFF).to_bytes(3, 'little')


def put_stream_info(bits, rate, channels, width, total):
    bits.put(CODEC_MONO_STEREO, 6)
    bits.put(0, 4)  # profile
    bits.put(frame_size(rate)[0], 4)
    bits.put(total, 35)
    bits.put(0, 3)  # integer data
    bits.put(rate - 6000, 18)
    bits.put(width - 8, 5)
    bits.put(channels - 1, 4)
    bits.put(0, 1)  # no channel layout


# Residual codes: (bits per value, escape) of the codes whose values are plain
# fixed-width numbers below the escape, and need one 0 bit after them above it.
CODES = {16: (29, 0xB000), 24: (45, 0xB00000)}


def frame(number, last, samples, width, rate, total):
    count = len(samples[0])
    header = Bits()
    header.put(0xA0FF, 16)
    # Every frame carries the stream information, as the decoder wants it.
    header.put((1 if last else 0) | 2, 3)
    header.put(number, 21)
    if last:
        header.put(count - 1, 14)
        header.put(0, 2)
    put_stream_info(header, rate, len(samples), width, total)
    header.put(0, 6)
    header.align()
    head = header.bytes()
    data = Bits()
    if count < 16:  # short frames hold plain samples
        for channel in samples:
            for value in channel:
                data.put(value, width)
    else:
        mode, escape = CODES[width]
        for channel in samples:
            data.put(0, 1)  # no sample shift
            data.put(channel[0], width)
            data.put(0, 2)  # no integration
            data.put(0, 3)  # one subframe
            data.put(0, 1)  # no prediction filter
            data.put(0, 1)  # one code for the whole subframe
            data.put(mode, 6)
            for value in channel[1:]:
                code = value * 2 if value >= 0 else -value * 2 - 1
                data.put(code, width)
                if code >= escape:
                    data.put(0, 1)
        if len(samples) == 2:
            data.put(0, 1)  # one decorrelation subframe
            data.put(0, 3)  # channels stored as they are
    data.align()
    body = data.bytes()
    return head + crc24(head) + body + crc24(body)


def main():
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    out = sys.argv[1]
    rate, channels, width = (int(a) for a in sys.argv[2:])
    if width not in CODES or not 1 <= channels <= 2:
        sys.exit('16 or 24 bits, 1 or 2 channels')
    raw = sys.stdin.buffer.read()
    step = width // 8
    total = len(raw) // (step * channels)
    planes = [[] for _ in range(channels)]
    for i in range(total):
        for c in range(channels):
            at = (i * channels + c) * step
            planes[c].append(int.from_bytes(raw[at:at + step], 'little', signed=True))
    info = Bits()
    put_stream_info(info, rate, channels, width, total)
    info.align()
    block = info.bytes()
    result = bytearray(b'tBaK')
    result += bytes([1]) + (len(block) + 3).to_bytes(3, 'little') + block + crc24(block)
    result += bytes([0, 0, 0, 0])  # end of metadata
    samples = frame_size(rate)[1]
    frames = (total + samples - 1) // samples
    for f in range(frames):
        part = [plane[f * samples:(f + 1) * samples] for plane in planes]
        result += frame(f, f == frames - 1, part, width, rate, total)
    with open(out, 'wb') as target:
        target.write(result)


if __name__ == '__main__':
    main()
