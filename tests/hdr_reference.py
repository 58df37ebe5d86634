#!/usr/bin/env python3
"""An independent implementation of the HDR tone tables, checked line by line
against `orvane-tool hdr-table NITS`. Single-precision steps are emulated by
rounding each double result to float (exact for + - * /: a double holds the
unrounded result of two floats closely enough that rounding once more cannot
differ); exp and pow are taken in double as the tables are.

Usage: hdr_reference.py TOOL NITS...   (exit 1 on the first differing line)
       hdr_reference.py --checksums     (the constants of the unit tests)
"""
import math
import struct
import subprocess
import sys


def f32(x):
    return struct.unpack("<f", struct.pack("<f", x))[0]


def half_value(code):
    e = (code >> 10) & 0x1F
    m = code & 0x3FF
    if e == 0:
        v = f32(math.ldexp(m, -24))
    elif e == 31:
        v = 65504.0 if m == 0 else 0.0
    else:
        v = f32(math.ldexp(m + 1024, e - 25))
    if not math.isfinite(v) or not v > 0:
        v = 0.0
    return v


def srgb_table():
    exponent = f32(1.0 / f32(2.4))
    threshold, slope = f32(0.0031308), f32(12.92)
    mul, sub = f32(1.055), f32(0.055)
    table = []
    for i in range(65536):
        a = f32(i / 65535.0)
        c = min(1.0, a)
        if c <= threshold:
            r = f32(c * slope)
        else:
            r = f32(f32(f32(math.pow(c, exponent)) * mul) - sub)
        table.append(int(f32(f32(r * 255.0) + 0.5)))
    return table


def tone_tables(nits):
    scale = f32(80.0 / nits)
    linear, gain = [], []
    for code in range(0x7C01):
        h = f32(half_value(code) * scale)
        if h > 0.75:
            t = f32(math.exp(f32(-4.0 * f32(h - 0.75))))
            g = f32(f32(f32(f32(1.0 - t) * 0.25) + 0.75) / h)
        else:
            g = 1.0
        linear.append(h)
        gain.append(g)
    return linear, gain


def convert(linear, gain, srgb, red, green, blue):
    codes = [0 if c > 0x7C00 else c for c in (blue, green, red)]
    g = gain[max(codes)]
    out = []
    for code in codes:
        v = f32(g * linear[code])
        if v >= 1.0:
            out.append(255)
        elif v <= 0.0:
            out.append(0)
        else:
            out.append(srgb[int(f32(f32(v * 65535.0) + 0.5))])
    return bytes(out + [255])


def tone_lines(nits, srgb):
    linear, gain = tone_tables(nits)
    lines = []
    for code in range(0x7C01):
        b, g, r, _ = convert(linear, gain, srgb, code, code, code)
        lines.append("0x%04X %.9g %.9g %d %d %d" % (code, linear[code], gain[code], b, g, r))
    return lines


def fnv1a64(data, value=0xCBF29CE484222325):
    for byte in data:
        value = ((value ^ byte) * 0x100000001B3) & 0xFFFFFFFFFFFFFFFF
    return value


def print_checksums(srgb):
    """The constants of tests/unit/hdr_tone_test.cpp."""
    print("encode table 0x%016X" % fnv1a64(bytes(srgb)))
    for nits in (80.0, 200.0, 480.0):
        linear, gain = tone_tables(nits)
        tables = struct.pack("<%df" % len(linear), *linear) + struct.pack("<%df" % len(gain), *gain)
        pixels = bytearray()
        for code in range(65536):
            pixels += convert(linear, gain, srgb, code, code, code)
        state = 12345
        for _ in range(200000):
            rgb = []
            for _ in range(3):
                state = (state * 1664525 + 1013904223) & 0xFFFFFFFF
                rgb.append(state >> 16)
            pixels += convert(linear, gain, srgb, *rgb)
        print("%g nits: tables 0x%016X pixels 0x%016X" % (nits, fnv1a64(tables), fnv1a64(bytes(pixels))))


def main():
    if len(sys.argv) < 3 and sys.argv[1:] != ["--checksums"]:
        print(__doc__, file=sys.stderr)
        return 2
    srgb = srgb_table()
    if sys.argv[1] == "--checksums":
        print_checksums(srgb)
        return 0
    tool = sys.argv[1]
    status = 0
    for arg in sys.argv[2:]:
        nits = f32(float(arg))
        got = subprocess.run([tool, "hdr-table", arg], check=True, capture_output=True, text=True).stdout
        got_lines = got.replace("\r\n", "\n").splitlines()
        want_lines = tone_lines(nits, srgb)
        if got_lines == want_lines:
            print("hdr-table %s: all %d lines match the reference" % (arg, len(want_lines)))
            continue
        status = 1
        if len(got_lines) != len(want_lines):
            print("hdr-table %s: %d lines, expected %d" % (arg, len(got_lines), len(want_lines)), file=sys.stderr)
        for got_line, want_line in zip(got_lines, want_lines):
            if got_line != want_line:
                print("hdr-table %s: got  %s\n%*s expected %s" % (arg, got_line, len(arg) + 10, "", want_line),
                      file=sys.stderr)
                break
    return status


if __name__ == "__main__":
    sys.exit(main())
