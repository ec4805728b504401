#!/usr/bin/python3
"""Opens an .xls in LibreOffice (headless), saves it as UTF-8 CSV and
compares every row with the expected texts.

usage: lo_csv.py FILE.xls EXPECTED.json WORKDIR
Uses a private LibreOffice profile under WORKDIR so that parallel runs do not
share one. Exit status 0 when every cell text matches.
"""
import csv
import json
import sys

sys.dont_write_bytecode = True   # keep the source folder clean
from lo_convert import convert  # noqa: E402


def main():
    path, expected, work = sys.argv[1], json.load(open(sys.argv[2], encoding="utf-8")), sys.argv[3]
    out, failure = convert(path, work, "csv:Text - txt - csv (StarCalc):44,34,76,1", ".csv")
    if out is None:
        print("soffice failed: %s" % failure)
        return 1
    with open(out, encoding="utf-8", newline="") as f:
        got = list(csv.reader(f))
    want = expected["rows"]
    problems = []
    if len(got) != len(want):
        problems.append("%d rows, expected %d" % (len(got), len(want)))
    for r, (g, w) in enumerate(zip(got, want)):
        g = g + [""] * (len(w) - len(g))
        if g != w:
            diff = [c for c in range(len(w)) if g[c] != w[c]]
            problems.append("row %d differs at columns %s: %r != %r" % (r, diff[:5], g[diff[0]], w[diff[0]]))
    for p in problems[:20]:
        print(p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
