"""Reference LZSS decoder sharing no code with the C++ codec: DIR/NAME.lzs (4-byte little-endian length,
then the stream) becomes DIR/NAME.out, cut at that length; prints "NAME <decoded length> <header length>".
No ring buffer: window position p holds the newest output byte i with (4078 + i) % 4096 == p, else zero."""
import os, struct, sys


def window_byte(out, position):
    i = (position - 4078) % 4096
    return out[i + (len(out) - 1 - i) // 4096 * 4096] if i < len(out) else 0


def decode(stream):
    out, pos, n = bytearray(), 0, len(stream)
    while pos < n:
        flags, pos = stream[pos], pos + 1
        for bit in range(8):
            if flags >> bit & 1:
                if pos >= n:
                    return out
                out.append(stream[pos])
                pos += 1
            else:
                if pos + 2 > n:
                    return out
                a, b, pos = stream[pos], stream[pos + 1], pos + 2
                for k in range(b // 16 + 3):
                    out.append(window_byte(out, (a + 256 * (b % 16) + k) % 4096))
    return out


folder = sys.argv[1]
for name in sorted(f[:-4] for f in os.listdir(folder) if f.endswith(".lzs")):
    data = open(os.path.join(folder, name + ".lzs"), "rb").read()
    (length,) = struct.unpack("<I", data[:4])
    out = decode(data[4:])
    open(os.path.join(folder, name + ".out"), "wb").write(out[:length])
    print(name, len(out), length)
