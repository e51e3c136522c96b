#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Writes a Monkey's Audio file (format version 3.99) of digital silence.

No Debian package encodes Monkey's Audio; a file whose every frame carries the
"silence" frame flag needs no entropy coder, yet goes through the real
demuxer and decoder: header, seek table, frame sizes and CRCs.
  usage: make-silent-ape.py OUT RATE CHANNELS BITS FRAMES [FRAMES_PER_APE_FRAME]
"""
import struct
import sys
import zlib


def silent_ape(path, rate, channels, bits, frames, per_frame):
    total = (frames + per_frame - 1) // per_frame
    final = frames - (total - 1) * per_frame
    width = bits // 8
    first = 52 + 24 + 4 * total  # descriptor, header, seek table
    blobs = []
    for i in range(total):
        n = per_frame if i < total - 1 else final
        crc = zlib.crc32(bytes(n * channels * width)) >> 1
        # The CRC's top bit says frame flags follow; 3 is stereo (and mono) silence.
        blobs.append(struct.pack('<II', crc | 0x80000000, 3) + bytes(8))
    seek, pos = [], first
    for blob in blobs:
        seek.append(pos)
        pos += len(blob)
    data = b''.join(blobs)
    out = b'MAC ' + struct.pack('<HH', 3990, 0)
    out += struct.pack('<IIIIIII', 52, 24, 4 * total, 0, len(data), 0, 0) + bytes(16)
    out += struct.pack('<HHIIIHHI', 2000, 0, per_frame, final, total, bits, channels, rate)
    out += struct.pack('<%dI' % total, *seek) + data
    with open(path, 'wb') as f:
        f.write(out)


if __name__ == '__main__':
    if len(sys.argv) not in (6, 7):
        sys.exit(__doc__)
    args = [int(a) for a in sys.argv[2:]]
    silent_ape(sys.argv[1], *args[:4], args[4] if len(args) > 4 else 73728)
