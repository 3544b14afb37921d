#!/usr/bin/env python3
"""Writes full firmware images for the speed benchmarks: the whole flash of a processor
covered by S2 records, every 512-byte block holding at least one byte other than 0xFF, so
the programming run sends every block.

    python3 bench/speed/make_images.py --out DIR [--chip MB90F345|MB90F362 ...]

Prints one line per file: "<chip> <path> <low> <high> <blocks>". The bytes are deterministic.
"""

import argparse
import os
import sys

BLOCK = 512
BYTES_PER_RECORD = 32
IDENT_ADDRESS = 0xFF8000

# Flash ranges of the processors the benchmarks program (inclusive).
FLASH = {
    "MB90F345": (0xF80000, 0xFFFFFF),
    "MB90F362": (0xFF0000, 0xFFFFFF),
}


def pseudo_random(seed, length):
    """XorShift32 bytes: independent of the Python version, cheap, never runs of 0xFF."""
    x = seed & 0xFFFFFFFF or 1
    out = bytearray(length)
    for i in range(length):
        x ^= (x << 13) & 0xFFFFFFFF
        x ^= x >> 17
        x ^= (x << 5) & 0xFFFFFFFF
        out[i] = x >> 24
    return out


def text_field(text):
    raw = text.encode("ascii")
    if len(raw) > 16:
        raise ValueError("identification text longer than 16 bytes: %r" % text)
    return raw + b"\x00" * (16 - len(raw))


def full_image(chip, name="Speed bench", version="V1.0.0"):
    """The flat image of the chip's whole flash: (low address, bytes)."""
    low, high = FLASH[chip]
    image = pseudo_random(hash_seed(chip), high - low + 1)
    ident = text_field(chip) + text_field(version) + text_field(name)
    offset = IDENT_ADDRESS - low
    image[offset:offset + len(ident)] = ident
    # Random bytes are never a whole block of 0xFF in practice; make it certain.
    for block in range(0, len(image), BLOCK):
        if all(b == 0xFF for b in image[block:block + BLOCK]):
            image[block] = 0x00
    return low, bytes(image)


def hash_seed(chip):
    seed = 0x5EED0000
    for ch in chip.encode("ascii"):
        seed = (seed * 31 + ch) & 0xFFFFFFFF
    return seed


def record(rtype, address, data, address_bytes):
    count = address_bytes + len(data) + 1
    body = bytes([count]) + address.to_bytes(address_bytes, "big") + data
    return "S%d%s%02X" % (rtype, body.hex().upper(), (~sum(body)) & 0xFF)


def srec_text(low, image, header):
    lines = [record(0, 0, header, 2)]
    for off in range(0, len(image), BYTES_PER_RECORD):
        lines.append(record(2, low + off, image[off:off + BYTES_PER_RECORD], 3))
    lines.append(record(8, low, b"", 3))
    return "\n".join(lines) + "\n"


def write_image(chip, directory):
    low, image = full_image(chip)
    header = ("Speed bench\0V1.0.0\0%s" % chip).encode("ascii")
    path = os.path.join(directory, "full-%dk-%s.mhx" % (len(image) // 1024, chip.lower()))
    with open(path, "w", newline="") as f:
        f.write(srec_text(low, image, header))
    return path, low, low + len(image) - 1, len(image) // BLOCK


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", required=True)
    parser.add_argument("--chip", action="append", choices=sorted(FLASH))
    args = parser.parse_args(argv)
    os.makedirs(args.out, exist_ok=True)
    for chip in args.chip or sorted(FLASH):
        path, low, high, blocks = write_image(chip, args.out)
        print("%s %s 0x%06X 0x%06X %d" % (chip, path, low, high, blocks))
    return 0


if __name__ == "__main__":
    sys.exit(main())
