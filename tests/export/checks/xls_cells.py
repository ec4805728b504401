#!/usr/bin/python3
"""Reads an .xls with xlrd and checks cell texts.

usage: xls_cells.py FILE [COL,ROW=TEXT ...] [sheet=NAME]
Exit status 0 when every listed cell holds exactly TEXT as a text cell.
"""
import sys

import xlrd


def main():
    path, checks = sys.argv[1], sys.argv[2:]
    book = xlrd.open_workbook(path, formatting_info=True)
    # A second sheet, when there is one, is the export's hidden record.
    hidden = [book.sheet_by_index(i).visibility == 1 for i in range(1, book.nsheets)]
    if book.biff_version != 80 or book.nsheets > 2 or not all(hidden):
        print("biff %s, %d sheets" % (book.biff_version, book.nsheets))
        return 1
    sh = book.sheet_by_index(0)
    bad = 0
    for item in checks:
        key, _, want = item.partition("=")
        if key == "size":
            cols, rows = (int(v) for v in want.split("x"))
            if (sh.ncols, sh.nrows) != (cols, rows):
                print("size %dx%d != %s" % (sh.ncols, sh.nrows, want))
                bad += 1
            continue
        if key == "sheet":
            if sh.name != want:
                print("sheet name %r != %r" % (sh.name, want))
                bad += 1
            continue
        col, row = (int(v) for v in key.split(","))
        cell = sh.cell(row, col)
        if cell.ctype != xlrd.XL_CELL_TEXT or cell.value != want:
            print("C%dR%d: %r (type %d) != %r" % (col, row, cell.value[:80] if isinstance(cell.value, str) else cell.value,
                                                   cell.ctype, want[:80]))
            bad += 1
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
