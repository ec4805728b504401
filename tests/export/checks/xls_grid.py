#!/usr/bin/python3
"""Checks an exported grid with xlrd against the texts the grid showed.

usage: xls_grid.py FILE.xls EXPECTED.json
EXPECTED holds "rows" (every row of the sheet as a list of texts, "" for a
cell without text), "merged" ([r1, r2, c1, c2) ranges), "colwidths" (COLINFO
widths per sheet column) and "sheet" (the sheet name). Checks every cell's
value and type, the merged ranges, the column widths, the fonts of text cells
(Tahoma 8 pt), the band row's fill colour and that the sheet's own grid lines
are off. Exit status 0 when all hold.
"""
import json
import sys

import xlrd


def main():
    path, expected = sys.argv[1], json.load(open(sys.argv[2], encoding="utf-8"))
    book = xlrd.open_workbook(path, formatting_info=True)
    problems = []
    # A second sheet, when there is one, is the export's hidden record.
    hidden = [book.sheet_by_index(i).visibility == 1 for i in range(1, book.nsheets)]
    if book.biff_version != 80 or book.nsheets > 2 or not all(hidden):
        problems.append("biff %s, %d sheets" % (book.biff_version, book.nsheets))
    sh = book.sheet_by_index(0)
    if sh.name != expected["sheet"]:
        problems.append("sheet name %r" % sh.name)
    rows = expected["rows"]
    if sh.nrows != len(rows) or sh.ncols != len(rows[0]):
        problems.append("size %dx%d, expected %dx%d" % (sh.ncols, sh.nrows, len(rows[0]), len(rows)))
    for r, row in enumerate(rows):
        for c, want in enumerate(row):
            if r >= sh.nrows or c >= sh.ncols:
                continue
            cell = sh.cell(r, c)
            if want:
                if cell.ctype != xlrd.XL_CELL_TEXT or cell.value != want:
                    problems.append("R%dC%d %r != %r" % (r, c, cell.value, want))
                    continue
                xf = book.xf_list[cell.xf_index]
                font = book.font_list[xf.font_index]
                if font.name != "Tahoma" or font.height != 160:
                    problems.append("R%dC%d font %s %d" % (r, c, font.name, font.height))
            elif cell.ctype not in (xlrd.XL_CELL_BLANK, xlrd.XL_CELL_EMPTY):
                problems.append("R%dC%d should be blank: %r" % (r, c, cell.value))
    merged = sorted(list(m) for m in sh.merged_cells)
    if merged != sorted(expected["merged"]):
        problems.append("merged %r != %r" % (merged, expected["merged"]))
    widths = [sh.colinfo_map[c].width if c in sh.colinfo_map else None for c in range(len(expected["colwidths"]))]
    if widths != expected["colwidths"]:
        problems.append("column widths %r != %r" % (widths[:10], expected["colwidths"][:10]))
    if sh.show_grid_lines:
        problems.append("the sheet's own grid lines are on")
    # Band captions sit on a button-face fill.
    xf = book.xf_list[sh.cell(0, 0).xf_index]
    if xf.background.fill_pattern != 1 or book.colour_map.get(xf.background.pattern_colour_index) is None:
        problems.append("band header without solid fill")
    for p in problems[:20]:
        print(p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
