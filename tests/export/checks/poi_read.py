#!/usr/bin/python3
"""Reads .xls files with Apache POI (a small reader compiled here with javac
against Debian's jars) and with xlrd, and compares them cell by cell.

usage: poi_read.py [--frozen N] [--filter REF] FILE...
Every file must open in both without a warning from xlrd, hold the same
texts, numbers and Booleans at the same places (blank cells alike), and the
same merged ranges. --frozen N: both see the first N rows frozen. --filter
REF: POI sees the hidden name _FilterDatabase referring to REF of the sheet
(for example $A$2:$DD$24) and, as the only drawing objects of the workbook,
one drop-down on each cell of REF's first row.
"""
import io
import os
import subprocess
import sys
import tempfile

import xlrd

HERE = os.path.dirname(os.path.abspath(__file__))
JARS = ["poi", "commons-collections4", "commons-math3", "commons-codec"]


def classpath():
    found = []
    for jar in JARS:
        path = "/usr/share/java/%s.jar" % jar
        if not os.path.exists(path):
            sys.exit("missing %s (Debian package libapache-poi-java)" % path)
        found.append(path)
    return found


def poi_dump(files, work):
    jars = classpath()
    subprocess.run(["javac", "-nowarn", "-d", work, "-cp", ":".join(jars), os.path.join(HERE, "PoiDump.java")],
                   check=True)
    done = subprocess.run(["java", "-cp", ":".join([work] + jars), "PoiDump"] + files, capture_output=True)
    if done.returncode != 0:
        sys.exit("POI refused the file:\n" + done.stderr.decode("utf-8", "replace")[-3000:])
    books, current = {}, None
    for line in done.stdout.decode("utf-8").split("\n"):
        if not line:
            continue
        kind, *fields = line.split("\t")
        if kind == "FILE":
            current = books[fields[0]] = {"cells": {}, "merged": set(), "names": {}, "pane": None, "shapes": []}
        elif kind == "SHEET":
            current["sheet"], current["last_row"] = unescape(fields[0]), int(fields[1])
        elif kind == "PANE":
            current["pane"] = tuple(int(v) for v in fields)
        elif kind == "NAME":
            current["names"][fields[0]] = fields[1]
        elif kind == "SHAPE":
            current["shapes"].append((int(fields[0]), fields[1]) + tuple(int(v) for v in fields[2:]))
        elif kind == "MERGED":
            current["merged"].add(tuple(int(v) for v in fields))
        elif kind == "CELL":
            row, col, kind, value = int(fields[0]), int(fields[1]), fields[2], fields[3]
            if kind == "S":
                value = unescape(value)
            elif kind == "N":
                value = float(value)
            elif kind == "B":
                value = value == "true"
            current["cells"][(row, col)] = (kind, value)
    return books


def unescape(s):
    out, i = [], 0
    while i < len(s):
        if s[i] == "\\" and i + 1 < len(s):
            out.append({"t": "\t", "n": "\n", "r": "\r", "\\": "\\"}[s[i + 1]])
            i += 2
        else:
            out.append(s[i])
            i += 1
    return "".join(out)


def area_start(ref):
    """First column, first row and last column (from 0) of "$A$2:$DD$24"."""
    def cell(part):
        letters = "".join(ch for ch in part if ch.isalpha())
        digits = "".join(ch for ch in part if ch.isdigit())
        column = 0
        for ch in letters:
            column = column * 26 + ord(ch.upper()) - ord("A") + 1
        return column - 1, int(digits) - 1
    (c1, r1), (c2, _) = (cell(p) for p in ref.split(":"))
    return c1, r1, c2


def xlrd_cells(path, problems):
    log = io.StringIO()
    book = xlrd.open_workbook(path, formatting_info=True, logfile=log)
    if log.getvalue().strip():
        problems.append("xlrd: " + log.getvalue().strip()[:300])
    sh = book.sheet_by_index(0)
    cells = {}
    kinds = {xlrd.XL_CELL_TEXT: "S", xlrd.XL_CELL_NUMBER: "N", xlrd.XL_CELL_BOOLEAN: "B"}
    for r in range(sh.nrows):
        for c in range(sh.ncols):
            cell = sh.cell(r, c)
            if cell.ctype in (xlrd.XL_CELL_EMPTY, xlrd.XL_CELL_BLANK):
                continue
            kind = kinds.get(cell.ctype, "?")
            value = bool(cell.value) if kind == "B" else cell.value
            cells[(r, c)] = (kind, value)
    merged = {(rlo, rhi - 1, clo, chi - 1) for rlo, rhi, clo, chi in sh.merged_cells}
    return sh, cells, merged


def main():
    args = sys.argv[1:]
    frozen = filter_ref = None
    while args and args[0].startswith("--"):
        if args[0] == "--frozen":
            frozen = int(args[1])
        elif args[0] == "--filter":
            filter_ref = args[1]
        args = args[2:]
    failed = 0
    with tempfile.TemporaryDirectory() as work:
        books = poi_dump(args, work)
    for path in args:
        problems = []
        poi = books[path]
        sh, cells, merged = xlrd_cells(path, problems)
        if poi["sheet"] != sh.name:
            problems.append("sheet name %r != %r" % (poi["sheet"], sh.name))
        if poi["last_row"] != sh.nrows - 1:
            problems.append("POI's last row %d, xlrd's %d" % (poi["last_row"], sh.nrows - 1))
        for where in sorted(set(cells) | set(poi["cells"])):
            if cells.get(where) != poi["cells"].get(where):
                problems.append("R%dC%d: xlrd %r, POI %r" % (where + (str(cells.get(where))[:80],
                                                                      str(poi["cells"].get(where))[:80])))
                if len(problems) > 10:
                    break
        if merged != poi["merged"]:
            problems.append("merged ranges differ: xlrd %d, POI %d" % (len(merged), len(poi["merged"])))
        if frozen is not None:
            if poi["pane"] != (1, frozen, frozen):
                problems.append("POI pane %r, expected %d frozen rows" % (poi["pane"], frozen))
            if not sh.panes_are_frozen or sh.horz_split_pos != frozen or sh.vert_split_pos != 0:
                problems.append("xlrd: frozen %r, rows %r, columns %r" % (sh.panes_are_frozen, sh.horz_split_pos,
                                                                         sh.vert_split_pos))
        if filter_ref is not None:
            formula = poi["names"].get("_FilterDatabase", "")
            if not formula.endswith("!" + filter_ref):
                problems.append("_FilterDatabase refers to %r, expected %s" % (formula, filter_ref))
            first_col, first_row, last_col = area_start(filter_ref)
            want = [(0, "HSSFCombobox", c, first_row, c + 1, first_row + 1) for c in range(first_col, last_col + 1)]
            if sorted(poi["shapes"]) != want:
                problems.append("drop-downs: POI sees %d shapes %r..., expected %d on row %d"
                                % (len(poi["shapes"]), sorted(poi["shapes"])[:2], len(want), first_row))
        if problems:
            failed += 1
            print("FAIL %s\n  %s" % (path, "\n  ".join(problems)))
        else:
            print("ok   %s: POI and xlrd agree on %d cells" % (os.path.basename(path), len(cells)))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
