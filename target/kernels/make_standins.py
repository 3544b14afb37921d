#!/usr/bin/env python3
"""Writes the stand-in flash kernels 134.bin and 148.bin next to this script.

Each image has the size of the kernel it stands in for and starts with 0x60 0xFE, a branch
to itself: a unit that receives one just idles until it is reset. The rest is zero bytes.
"""
import pathlib

SIZES = {134: 912, 148: 873}
BRANCH_TO_SELF = bytes([0x60, 0xFE])


def main() -> None:
    here = pathlib.Path(__file__).resolve().parent
    for resource_id, size in SIZES.items():
        image = BRANCH_TO_SELF + bytes(size - len(BRANCH_TO_SELF))
        (here / f"{resource_id}.bin").write_bytes(image)


if __name__ == "__main__":
    main()
