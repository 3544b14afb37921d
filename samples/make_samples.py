#!/usr/bin/env python3
"""Writes the sample firmware files of this folder.

The files are made of our own pseudo-random bytes laid out like real firmware for the two
processor families: code and table segments spread over the flash with whole blank blocks
between them, the 48-byte identification block at 0xFF8000 (processor, version, name, each
16 bytes NUL-padded), the interrupt vector table at the top of the flash and an S0 header
holding the same name, version and processor.

The output is deterministic: running the script again writes the same bytes.

    python3 samples/make_samples.py [--out DIR] [--bin]

--bin also writes the matching flat images (<name>.bin, 0xFF where no record writes,
covering the used range rounded to 512-byte blocks) for cross-checks.
"""

import argparse
import os
import sys

BLOCK = 512


class XorShift32:
    """Small deterministic generator, independent of the Python version."""

    def __init__(self, seed):
        self.state = seed & 0xFFFFFFFF or 1

    def next(self):
        x = self.state
        x ^= (x << 13) & 0xFFFFFFFF
        x ^= x >> 17
        x ^= (x << 5) & 0xFFFFFFFF
        self.state = x
        return x

    def byte(self):
        return self.next() >> 24

    def below(self, n):
        return self.next() % n


def code_bytes(rng, length):
    """Bytes that look like machine code: random opcodes with runs of erased (0xFF)
    padding and zero fill here and there."""
    out = bytearray()
    while len(out) < length:
        roll = rng.below(100)
        if roll < 4:
            out += b"\xff" * (8 + rng.below(120))
        elif roll < 7:
            out += b"\x00" * (2 + rng.below(14))
        else:
            out += bytes(rng.byte() for _ in range(1 + rng.below(6)))
    return out[:length]


def text_field(text):
    raw = text.encode("ascii")
    assert len(raw) <= 16
    return raw + b"\x00" * (16 - len(raw))


def vector_table(rng, code_start, code_end):
    """1 KiB of 4-byte little-endian vectors pointing into the code, some unused (0xFF)."""
    out = bytearray()
    for _ in range(256):
        if rng.below(4) == 0:
            out += b"\xff\xff\xff\xff"
        else:
            target = code_start + rng.below(code_end - code_start)
            out += bytes([target & 0xFF, (target >> 8) & 0xFF, (target >> 16) & 0xFF, 0x00])
    return out


def record(rtype, address, data, addr_bytes):
    count = addr_bytes + len(data) + 1
    body = bytes([count]) + address.to_bytes(addr_bytes, "big") + data
    checksum = (~sum(body)) & 0xFF
    return "S%d%s%02X" % (rtype, body.hex().upper(), checksum)


def write_srec(path, segments, header, per_line, entry, newline, count_record):
    """segments: list of (address, bytes). S2 data records, S0 header, optional S5, S8 end."""
    lines = [record(0, 0, header, 2)]
    data_records = 0
    for address, data in segments:
        for off in range(0, len(data), per_line):
            lines.append(record(2, address + off, data[off:off + per_line], 3))
            data_records += 1
    if count_record:
        lines.append(record(5, data_records, b"", 2))
    lines.append(record(8, entry, b"", 3))
    with open(path, "w", newline="") as f:
        f.write(newline.join(lines) + newline)


def flat_image(segments):
    low = min(a for a, _ in segments) & ~(BLOCK - 1)
    high = max(a + len(d) - 1 for a, d in segments) | (BLOCK - 1)
    image = bytearray(b"\xff" * (high - low + 1))
    for address, data in segments:
        image[address - low:address - low + len(data)] = data
    return low, image


def ident_segment(rng, processor, version, name, tail):
    block = text_field(processor) + text_field(version) + text_field(name)
    return (0xFF8000, bytes(block) + code_bytes(rng, tail))


def analyzer_mb90f345():
    rng = XorShift32(0x345F0A11)
    processor, version, name = "MB90F345", "V2.14.0", "Analyzer AX-7"
    code_start, code_end = 0xF80000, 0xF82000
    segments = [
        (0xF80000, code_bytes(rng, 0x2000)),          # main program, 8 KiB
        (0xF84000, code_bytes(rng, 0x0C00)),          # tables after a gap of blank blocks
        (0xF90000, code_bytes(rng, 0x1000)),          # second bank of code
        # a block of pure 0xFF inside written data: loaded, but blank to the programmer
        (0xF91000, b"\xff" * BLOCK + code_bytes(rng, 0x0600)),
        (0xFC0200, code_bytes(rng, 0x1800)),          # starts one block into its 64 KiB bank
        (0xFF0000, code_bytes(rng, 0x1000)),
        ident_segment(rng, processor, version, name, 0x07D0),
        (0xFFFC00, vector_table(rng, code_start, code_end)),
    ]
    header = ("%s\0%s\0%s" % (name, version, processor)).encode("ascii")
    return "analyzer-mb90f345", segments, header, 32, code_start, "\r\n", True


def controller_mb90f362():
    rng = XorShift32(0x362C0DE5)
    processor, version, name = "MB90F362", "V1.3.2", "Controller CU-2"
    code_start, code_end = 0xFF0000, 0xFF3000
    segments = [
        (0xFF0000, code_bytes(rng, 0x3000)),          # main program, 12 KiB
        (0xFF4000, code_bytes(rng, 0x0800)),          # calibration tables
        ident_segment(rng, processor, version, name, 0x0FD0),
        (0xFFA000, code_bytes(rng, 0x0321)),          # odd length: ends inside a block
        (0xFFFC00, vector_table(rng, code_start, code_end)),
    ]
    header = ("%s\0%s\0%s" % (name, version, processor)).encode("ascii")
    return "controller-mb90f362", segments, header, 16, code_start, "\n", False


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", default=os.path.dirname(os.path.abspath(__file__)))
    parser.add_argument("--bin", action="store_true", help="also write the flat images")
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)
    for make in (analyzer_mb90f345, controller_mb90f362):
        stem, segments, header, per_line, entry, newline, count_record = make()
        path = os.path.join(args.out, stem + ".mhx")
        write_srec(path, segments, header, per_line, entry, newline, count_record)
        print("wrote", path)
        if args.bin:
            low, image = flat_image(segments)
            bin_path = os.path.join(args.out, stem + ".bin")
            with open(bin_path, "wb") as f:
                f.write(image)
            print("wrote %s (0x%06X..0x%06X)" % (bin_path, low, low + len(image) - 1))
    return 0


if __name__ == "__main__":
    sys.exit(main())
