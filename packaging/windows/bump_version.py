#!/usr/bin/env python3
"""Copies a DLL with the last part of its version resource's version raised by one
(1.0.0.1 becomes 1.0.0.2): the "newer build" that the setup program's upgrade test
installs over the real one.  Usage: bump_version.py IN.dll OUT.dll"""
import struct
import sys

SIGNATURE = struct.pack("<I", 0xFEEF04BD)


def main(source, target):
    data = bytearray(open(source, "rb").read())
    at = data.find(SIGNATURE)
    if at < 0 or data.find(SIGNATURE, at + 1) >= 0:
        sys.exit(f"{source}: not exactly one VS_FIXEDFILEINFO")
    # dwSignature, dwStrucVersion, then file version MS/LS and product version MS/LS.
    file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<4I", data, at + 8)
    old = f"{file_ms >> 16}.{file_ms & 0xFFFF}.{file_ls >> 16}.{file_ls & 0xFFFF}"
    new = f"{file_ms >> 16}.{file_ms & 0xFFFF}.{file_ls >> 16}.{(file_ls & 0xFFFF) + 1}"
    if len(new) != len(old):
        sys.exit(f"{source}: version {old} cannot be raised in place")
    struct.pack_into("<4I", data, at + 8, file_ms, file_ls + 1, product_ms, product_ls + 1)
    # The texts "FileVersion" and "ProductVersion" of the string table (UTF-16).
    old_text, new_text = old.encode("utf-16-le"), new.encode("utf-16-le")
    if data.count(old_text) == 0:
        sys.exit(f"{source}: the version text {old} is not in the string table")
    data = data.replace(old_text, new_text)
    open(target, "wb").write(data)
    print(f"{target}: version {new}")


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2])
