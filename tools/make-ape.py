#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Writes a Monkey's Audio file (format version 3.99, "fast" level) of stereo PCM.

No Debian package encodes Monkey's Audio. This is the encoder side of what a
3.99 decoder undoes at the fast level: mid/side, the adaptive stage-1
predictor of each channel, and the adaptive range coder with its frame CRCs.
Raw little-endian interleaved 16- or 24-bit stereo PCM comes on standard input.
  usage: make-ape.py OUT RATE BITS < PCM
"""
import struct
import sys
import zlib

BLOCKS_PER_FRAME = 73728
VERSION = 3990
FAST = 1000

# Cumulative frequencies of the first 21 overflow symbols (16-bit total).
COUNTS = [0, 19578, 36160, 48417, 56323, 60899, 63265, 64435, 64971, 65232, 65351, 65416,
          65447, 65466, 65476, 65482, 65485, 65488, 65490, 65491, 65492, 65493]
ESCAPE_SYMBOL = 63

TOP = 1 << 31
BOTTOM = TOP >> 8
SHIFT_BITS = 23

# Offsets into the predictor's history: delays and adaption signs of Y and X.
Y_DELAY_A, Y_DELAY_B, X_DELAY_A, X_DELAY_B = 50, 42, 34, 26
Y_ADAPT_A, X_ADAPT_A, Y_ADAPT_B, X_ADAPT_B = 18, 14, 10, 5
INITIAL_COEFFS_A = (360, 317, -109, 98)


def s32(value):
    value &= 0xFFFFFFFF
    return value - (1 << 32) if value & 0x80000000 else value


def inverse_sign(value):
    return (value < 0) - (value > 0)


class RangeEncoder:
    """Carry-propagating range coder with 31-bit low, bytes out at bit 23."""

    def __init__(self):
        self.low = 0
        self.range = TOP
        self.buffer = 0
        self.pending = 0
        self.out = bytearray()

    def _flush_byte(self, carry):
        self.out.append((self.buffer + carry) & 0xFF)
        self.out.extend((b'\x00' if carry else b'\xff') * self.pending)
        self.pending = 0
        self.buffer = self.low >> SHIFT_BITS

    def _normalize(self):
        while self.range <= BOTTOM:
            if self.low < (0xFF << SHIFT_BITS):
                self._flush_byte(0)
            elif self.low & TOP:
                self._flush_byte(1)
            else:
                self.pending += 1
            self.low = (self.low << 8) & (TOP - 1)
            self.range <<= 8

    def encode_shift(self, width, start, shift):
        self._normalize()
        step = self.range >> shift
        self.range = step * width
        self.low += step * start

    def encode_frequency(self, value, total):
        self._normalize()
        step = self.range // total
        self.range = step
        self.low += step * value

    def finish(self):
        self._normalize()
        last = (self.low >> SHIFT_BITS) + 1
        self.out.append((self.buffer + (1 if last > 0xFF else 0)) & 0xFF)
        self.out.extend((b'\x00' if last > 0xFF else b'\xff') * self.pending)
        self.out += bytes([last & 0xFF, 0, 0, 0])
        return bytes(self.out)


class Rice:
    def __init__(self):
        self.k = 10
        self.ksum = (1 << self.k) * 16

    def update(self, x):
        limit = (1 << (self.k + 4)) if self.k else 0
        self.ksum = (self.ksum + (x + 1) // 2 - ((self.ksum + 16) >> 5)) & 0xFFFFFFFF
        if self.ksum < limit:
            self.k -= 1
        elif self.ksum >= 1 << (self.k + 5):
            self.k += 1


def encode_value(coder, rice, value):
    x = 2 * value - 1 if value > 0 else -2 * value
    pivot = max(rice.ksum >> 5, 1)
    overflow, base = divmod(x, pivot)
    if overflow < ESCAPE_SYMBOL:
        if overflow + 1 < len(COUNTS):
            coder.encode_shift(COUNTS[overflow + 1] - COUNTS[overflow], COUNTS[overflow], 16)
        else:
            coder.encode_shift(1, overflow + 65535 - ESCAPE_SYMBOL, 16)
    else:
        coder.encode_shift(1, 65535, 16)
        coder.encode_shift(1, overflow >> 16, 16)
        coder.encode_shift(1, overflow & 0xFFFF, 16)
    if pivot < 0x10000:
        coder.encode_frequency(base, pivot)
    else:
        bits = 0
        high = pivot
        while high & ~0xFFFF:
            high >>= 1
            bits += 1
        coder.encode_frequency(base >> bits, high + 1)
        coder.encode_frequency(base & ((1 << bits) - 1), 1 << bits)
    rice.update(x)


class Predictor:
    """The decoder's stage-1 filter run forwards: from the wanted output and
    the same state, the residual the decoder must be given."""

    def __init__(self, length):
        self.history = [0] * (length + 64)
        self.position = 0
        self.last_a = [0, 0]
        self.filter_a = [0, 0]
        self.filter_b = [0, 0]
        self.coeffs_a = [list(INITIAL_COEFFS_A), list(INITIAL_COEFFS_A)]
        self.coeffs_b = [[0] * 5, [0] * 5]

    def residual(self, wanted, f, delay_a, delay_b, adapt_a, adapt_b):
        h = self.history
        p = self.position
        h[p + delay_a] = self.last_a[f]
        h[p + adapt_a] = inverse_sign(h[p + delay_a])
        h[p + delay_a - 1] = s32(h[p + delay_a] - h[p + delay_a - 1])
        h[p + adapt_a - 1] = inverse_sign(h[p + delay_a - 1])
        ca = self.coeffs_a[f]
        cb = self.coeffs_b[f]
        prediction_a = s32(sum(h[p + delay_a - i] * ca[i] for i in range(4)))
        h[p + delay_b] = s32(self.filter_a[f ^ 1] - ((self.filter_b[f] * 31) >> 5))
        h[p + adapt_b] = inverse_sign(h[p + delay_b])
        h[p + delay_b - 1] = s32(h[p + delay_b] - h[p + delay_b - 1])
        h[p + adapt_b - 1] = inverse_sign(h[p + delay_b - 1])
        self.filter_b[f] = self.filter_a[f ^ 1]
        prediction_b = s32(sum(h[p + delay_b - i] * cb[i] for i in range(5)))
        last = s32(wanted - ((self.filter_a[f] * 31) >> 5))
        residual = s32(last - (s32(prediction_a + (prediction_b >> 1)) >> 10))
        self.last_a[f] = last
        self.filter_a[f] = wanted
        direction = inverse_sign(residual)
        for i in range(4):
            ca[i] = s32(ca[i] + h[p + adapt_a - i] * direction)
        for i in range(5):
            cb[i] = s32(cb[i] + h[p + adapt_b - i] * direction)
        return residual


def encode_frame(left, right):
    predictor = Predictor(len(left))
    coder = RangeEncoder()
    rice_y = Rice()
    rice_x = Rice()
    for l, r in zip(left, right):
        side = r - l
        mid = l + int(side / 2)  # the decoder's C division truncates
        residual_y = predictor.residual(side, 0, Y_DELAY_A, Y_DELAY_B, Y_ADAPT_A, Y_ADAPT_B)
        residual_x = predictor.residual(mid, 1, X_DELAY_A, X_DELAY_B, X_ADAPT_A, X_ADAPT_B)
        predictor.position += 1
        encode_value(coder, rice_y, residual_y)
        encode_value(coder, rice_x, residual_x)
    return coder.finish()


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    out = sys.argv[1]
    rate, bits = int(sys.argv[2]), int(sys.argv[3])
    if bits not in (16, 24):
        sys.exit('16 or 24 bits')
    raw = sys.stdin.buffer.read()
    width = bits // 8
    total = len(raw) // (2 * width)
    left = [int.from_bytes(raw[2 * i * width:(2 * i + 1) * width], 'little', signed=True) for i in range(total)]
    right = [int.from_bytes(raw[(2 * i + 1) * width:(2 * i + 2) * width], 'little', signed=True)
             for i in range(total)]
    frames = (total + BLOCKS_PER_FRAME - 1) // BLOCKS_PER_FRAME
    blobs = []
    for f in range(frames):
        a, b = f * BLOCKS_PER_FRAME, min(total, (f + 1) * BLOCKS_PER_FRAME)
        crc = zlib.crc32(raw[a * 2 * width:b * 2 * width]) >> 1
        stream = struct.pack('>I', crc) + encode_frame(left[a:b], right[a:b])
        stream += bytes(-len(stream) % 4)
        # Frames are read as little-endian 32-bit words of a big-endian stream.
        blobs.append(b''.join(stream[i:i + 4][::-1] for i in range(0, len(stream), 4)))
    first = 52 + 24 + 4 * frames  # descriptor, header, seek table
    seek = []
    position = first
    for blob in blobs:
        seek.append(position)
        position += len(blob)
    data = b''.join(blobs)
    final_blocks = total - (frames - 1) * BLOCKS_PER_FRAME
    result = b'MAC ' + struct.pack('<HH', VERSION, 0)
    result += struct.pack('<IIIIIII', 52, 24, 4 * frames, 0, len(data), 0, 0) + bytes(16)
    result += struct.pack('<HHIIIHHI', FAST, 0, BLOCKS_PER_FRAME, final_blocks, frames, bits, 2, rate)
    result += struct.pack('<%dI' % frames, *seek) + data
    with open(out, 'wb') as target:
        target.write(result)


if __name__ == '__main__':
    main()
