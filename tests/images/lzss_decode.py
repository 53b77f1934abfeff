"""Reference LZSS decoder, sharing no code with the C++ codec.

Usage: lzss_decode.py DIR. Decodes each DIR/NAME.lzs (4-byte little-endian
length, then the stream) into DIR/NAME.out, cut at that length, and prints
"NAME <bytes the whole stream decodes to> <header length>".
It keeps no ring buffer: window position p holds the newest output byte i with
(4078 + i) % 4096 == p, or zero when there is none yet.
"""
import os
import struct
import sys

WINDOW = 4096
START = 4078


def window_byte(out, position):
    # Newest index i < len(out) with (START + i) % WINDOW == position.
    i = (position - START) % WINDOW
    if i >= len(out):
        return 0
    i += ((len(out) - 1 - i) // WINDOW) * WINDOW
    return out[i]


def decode(stream):
    out = bytearray()
    pos = 0
    n = len(stream)
    while pos < n:
        flags = stream[pos]
        pos += 1
        for bit in range(8):
            if flags >> bit & 1:
                if pos >= n:
                    return out
                out.append(stream[pos])
                pos += 1
            else:
                if pos + 2 > n:
                    return out
                a, b = stream[pos], stream[pos + 1]
                pos += 2
                where = a + 256 * (b % 16)
                for k in range(b // 16 + 3):
                    out.append(window_byte(out, (where + k) % WINDOW))
    return out


def main():
    folder = sys.argv[1]
    for name in sorted(os.listdir(folder)):
        if not name.endswith(".lzs"):
            continue
        with open(os.path.join(folder, name), "rb") as f:
            data = f.read()
        (length,) = struct.unpack("<I", data[:4])
        out = decode(data[4:])
        with open(os.path.join(folder, name[:-4] + ".out"), "wb") as f:
            f.write(out[:length])
        print(name[:-4], len(out), length)


if __name__ == "__main__":
    main()
