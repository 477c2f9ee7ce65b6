#!/usr/bin/env python3
"""Prints a Windows program's file version (its version resource's fixed numbers, a.b.c.d).
Fails when it has none, or when the product version or the string table's texts disagree
with it, so that what Explorer shows and what a detection rule reads are one version.
Usage: pe-version.py EXE"""
import struct
import sys


def text_value(data, key):
    found = data.find((key + "\0").encode("utf-16-le"))
    if found < 0:
        return None
    at = found + 2 * (len(key) + 1)
    while data[at:at + 2] == b"\0\0":  # padding to a 32-bit boundary
        at += 2
    end = at
    while data[end:end + 2] != b"\0\0":
        end += 2
    return data[at:end].decode("utf-16-le")


def main():
    data = open(sys.argv[1], "rb").read()
    fixed = data.find(struct.pack("<I", 0xFEEF04BD))
    if fixed < 0:
        sys.exit(f"{sys.argv[1]}: no version resource")
    file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<4I", data, fixed + 8)
    numbers = lambda ms, ls: f"{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}"
    version = numbers(file_ms, file_ls)
    texts = {key: text_value(data, key) for key in ("FileVersion", "ProductVersion")}
    if numbers(product_ms, product_ls) != version or set(texts.values()) != {version}:
        sys.exit(f"{sys.argv[1]}: versions disagree: {version}, "
                 f"product {numbers(product_ms, product_ls)}, texts {texts}")
    print(version)


main()
