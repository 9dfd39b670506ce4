#!/usr/bin/env python3
"""32-bit float WAV files for the LV2 render test.

  wav.py make OUT.wav RATE SECONDS   a stereo test signal: tones in every band, noise, a sweep
  wav.py same A.wav B.wav            exit 0 when both hold the same format and the same sample
                                     bytes (headers may differ: hosts write their own chunks)
"""
import array
import math
import struct
import sys


def make(path, rate, seconds):
    frames = int(rate * seconds)
    tones = [31.0, 63.0, 125.0, 250.0, 500.0, 1000.0, 2000.0, 4000.0, 8000.0, 16000.0]
    state = 0x2545F491
    samples = array.array("f")
    for n in range(frames):
        t = n / rate
        state ^= (state << 13) & 0xFFFFFFFF
        state ^= state >> 17
        state ^= (state << 5) & 0xFFFFFFFF
        noise = state / 4294967295.0 * 2.0 - 1.0
        tone = sum(0.04 * math.sin(2 * math.pi * f * t + k)
                   for k, f in enumerate(tones) if f < rate / 2)
        sweep = 0.1 * math.sin(2 * math.pi * 20.0 * (t + t * t * 2000.0))
        samples.append(tone + 0.05 * noise)
        samples.append(tone * 0.8 + sweep)
    data = samples.tobytes()
    fmt = struct.pack("<HHIIHH", 3, 2, rate, rate * 8, 8, 32)
    with open(path, "wb") as out:
        out.write(b"RIFF" + struct.pack("<I", 4 + 8 + len(fmt) + 8 + len(data)) + b"WAVE")
        out.write(b"fmt " + struct.pack("<I", len(fmt)) + fmt)
        out.write(b"data" + struct.pack("<I", len(data)) + data)


def chunks(path):
    with open(path, "rb") as f:
        b = f.read()
    if b[:4] != b"RIFF" or b[8:12] != b"WAVE":
        raise SystemExit(f"{path} is no WAV file")
    found = {}
    i = 12
    while i + 8 <= len(b):
        cid = b[i:i + 4]
        size = struct.unpack("<I", b[i + 4:i + 8])[0]
        found.setdefault(cid, b[i + 8:i + 8 + size])
        i += 8 + size + (size & 1)
    return found


def same(a, b):
    ca, cb = chunks(a), chunks(b)
    # The format's first 16 bytes: tag, channels, rate, byte rate, alignment, bits.
    if ca.get(b"fmt ", b"")[:16] != cb.get(b"fmt ", b"")[:16]:
        print(f"{a} and {b} differ in format")
        return 1
    da, db = ca.get(b"data", b""), cb.get(b"data", b"")
    if da == db:
        return 0
    if len(da) != len(db):
        print(f"{a} holds {len(da)} bytes of samples, {b} {len(db)}")
        return 1
    first = next(i for i in range(len(da)) if da[i] != db[i])
    print(f"{a} and {b} differ first in sample {first // 4}")
    return 1


if __name__ == "__main__":
    if len(sys.argv) == 5 and sys.argv[1] == "make":
        make(sys.argv[2], int(sys.argv[3]), float(sys.argv[4]))
    elif len(sys.argv) == 4 and sys.argv[1] == "same":
        sys.exit(same(sys.argv[2], sys.argv[3]))
    else:
        sys.exit(__doc__)
