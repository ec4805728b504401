#!/usr/bin/python3
"""Reads compound files with olefile and checks their one stream.

usage: ole_stream.py FILE LENGTH [FILE LENGTH ...]
Each FILE must hold exactly a 'Workbook' stream of LENGTH bytes whose byte i
is (i * 7 + i // 512) & 0xFF. Exit status 0 when all match.
"""
import os
import sys

import olefile


def check(path, length):
    if not olefile.isOleFile(path):
        return "not a compound file"
    # The file ends with whole sectors; any defect olefile notes fails the
    # check.
    size = os.path.getsize(path)
    if size % 512:
        return "file size %d is not a multiple of the sector size" % size
    ole = olefile.OleFileIO(path, raise_defects=olefile.DEFECT_INCORRECT)
    try:
        if ole.listdir() != [["Workbook"]]:
            return "streams: %r" % ole.listdir()
        if ole.get_size("Workbook") != length:
            return "size %d" % ole.get_size("Workbook")
        data = ole.openstream("Workbook").read()
    finally:
        ole.close()
    want = bytes(((i * 7 + (i >> 9)) & 0xFF) for i in range(length))
    if data != want:
        first = next(i for i in range(min(len(data), length)) if data[i] != want[i]) if len(data) == length else -1
        return "content differs (length %d, first difference at %d)" % (len(data), first)
    return None


def main():
    args = sys.argv[1:]
    bad = 0
    for path, length in zip(args[0::2], args[1::2]):
        err = check(path, int(length))
        if err:
            bad += 1
            print("%s: %s" % (path, err))
    sys.exit(1 if bad else 0)


if __name__ == "__main__":
    main()
