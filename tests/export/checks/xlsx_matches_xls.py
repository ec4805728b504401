#!/usr/bin/python3
"""An .xlsx export read with openpyxl beside the .xls export of the same grid
read with xlrd: the same sheet.

usage: xlsx_matches_xls.py FILE.xls FILE.xlsx [--rows N]
Checks, for the first sheet: the texts of every cell, the merged ranges,
the column widths (within 0.1 character), and per cell the font (name,
size, bold, colour), the fill colour, the four borders (style and colour)
and the horizontal alignment, a blank cell taking its column's format; the
frozen rows and the AutoFilter range; the hidden sheet of exported texts,
cell for cell, and that the first sheet is the active one. With --rows N
only the first N rows are compared (the .xls may hold fewer than the
.xlsx); the styles are compared on small sheets only (up to 2,000 rows).
"""
import sys

import openpyxl
import xlrd
from openpyxl.utils import get_column_letter

XLS_BORDERS = {0: None, 1: "thin", 2: "medium", 5: "thick"}


def xls_colour(book, index, automatic=None):
    value = book.colour_map.get(index)
    text = None if value is None else "%02X%02X%02X" % value
    return None if text == automatic else text


def xls_style(book, sh, r, c):
    xf = book.xf_list[sh.cell_xf_index(r, c)]
    font = book.font_list[xf.font_index]
    b = xf.border
    fill = xls_colour(book, xf.background.pattern_colour_index) if xf.background.fill_pattern == 1 else None
    borders = tuple((XLS_BORDERS.get(line), xls_colour(book, colour) if line else None)
                    for line, colour in ((b.left_line_style, b.left_colour_index),
                                         (b.right_line_style, b.right_colour_index),
                                         (b.top_line_style, b.top_colour_index),
                                         (b.bottom_line_style, b.bottom_colour_index)))
    align = {1: "left", 2: "center", 3: "right"}.get(xf.alignment.hor_align)
    return (font.name, font.height / 20, bool(font.bold), xls_colour(book, font.colour_index, "000000"), fill, borders,
            align)


def rgb(colour):
    """An explicit colour as RRGGBB; None for the automatic or theme text
    colour, which the .xls shows as its automatic (black) font colour."""
    if colour is None or colour.type != "rgb" or not isinstance(colour.rgb, str):
        return None
    return colour.rgb[-6:].upper()


def xlsx_style(ws, present, r, c):
    """The format a cell shows: its own when the sheet holds the cell, else
    its column's."""
    src = ws._cells[(r + 1, c + 1)] if (r + 1, c + 1) in present else ws.column_dimensions[get_column_letter(c + 1)]
    font, fill, border = src.font, src.fill, src.border
    solid = fill is not None and fill.fill_type == "solid"
    sides = tuple((side.style, rgb(side.color) if side.style else None)
                  for side in (border.left, border.right, border.top, border.bottom))
    return (font.name, float(font.sz), bool(font.b), rgb(font.color), rgb(fill.fgColor) if solid else None, sides,
            src.alignment.horizontal)


def main():
    args = sys.argv[1:]
    rows_limit = None
    if "--rows" in args:
        i = args.index("--rows")
        rows_limit = int(args[i + 1])
        del args[i:i + 2]
    xls_path, xlsx_path = args
    problems = []
    book = xlrd.open_workbook(xls_path, formatting_info=True)
    sh = book.sheet_by_index(0)
    small = sh.nrows <= 2000
    wb = openpyxl.load_workbook(xlsx_path, read_only=not small)
    ws = wb.worksheets[0]
    present = set(ws._cells) if small else set()   # before reading makes cells of every place
    if ws.title != sh.name:
        problems.append("sheet name %r, .xls %r" % (ws.title, sh.name))
    if wb.active.title != ws.title:
        problems.append("the active sheet is %r" % wb.active.title)

    # Texts, row by row.
    want_rows = rows_limit or sh.nrows
    got = []
    for row in ws.iter_rows(min_row=1, max_row=want_rows, max_col=sh.ncols, values_only=True):
        got.append(["" if v is None else v for v in row] + [""] * (sh.ncols - len(row)))
    for r in range(min(want_rows, sh.nrows)):
        want = sh.row_values(r)
        if got[r] != want:
            bad = next(c for c in range(sh.ncols) if got[r][c] != want[c])
            problems.append("row %d column %d: .xlsx %r, .xls %r" % (r, bad, got[r][bad], want[bad]))
            break
    if small:
        merged = sorted((m.min_row - 1, m.max_row, m.min_col - 1, m.max_col) for m in ws.merged_cells.ranges)
        if merged != sorted(sh.merged_cells):
            problems.append("merged %r, .xls %r" % (merged[:4], sorted(sh.merged_cells)[:4]))
        for c in range(sh.ncols):
            want_width = sh.colinfo_map[c].width / 256 if c in sh.colinfo_map else None
            dim = ws.column_dimensions.get(get_column_letter(c + 1))
            got_width = dim.width if dim is not None and dim.width else 9.140625
            if want_width is not None and abs(got_width - want_width) > 0.1:
                problems.append("column %d width %.3f, .xls %.3f" % (c, got_width, want_width))
        # A merged range shows its first cell's format; the others are not
        # compared, nor the first cell's borders, which openpyxl redraws
        # along the range's edges.
        covered = {(r, c) for r1, r2, c1, c2 in sh.merged_cells for r in range(r1, r2) for c in range(c1, c2)
                   if (r, c) != (r1, c1)}
        anchors = {(r1, c1) for r1, _, c1, _ in sh.merged_cells}
        for r in range(sh.nrows):
            for c in range(sh.ncols):
                if (r, c) in covered:
                    continue
                a, b = xls_style(book, sh, r, c), xlsx_style(ws, present, r, c)
                if (r, c) in anchors:
                    a, b = a[:5] + a[6:], b[:5] + b[6:]
                if a != b:
                    problems.append("R%dC%d style: .xlsx %r, .xls %r" % (r, c, b, a))
                    break
            if len(problems) > 5:
                break
        want_filter = None
        for name in book.name_obj_list:
            if name.name == "_FilterDatabase":
                _, rlo, rhi, clo, chi = name.area2d()
                want_filter = "%s%d:%s%d" % (get_column_letter(clo + 1), rlo + 1, get_column_letter(chi), rhi)
        if ws.auto_filter.ref != want_filter:
            problems.append("AutoFilter %r, .xls %r" % (ws.auto_filter.ref, want_filter))
        frozen = ws.freeze_panes
        want_frozen = "A%d" % (sh.horz_split_pos + 1) if sh.panes_are_frozen else None
        if frozen != want_frozen:
            problems.append("frozen at %r, .xls %r" % (frozen, want_frozen))
    hidden = [w for w in wb.worksheets[1:]]
    xls_hidden = [book.sheet_by_index(i) for i in range(1, book.nsheets)]
    if [w.title for w in hidden] != [s.name for s in xls_hidden] or any(w.sheet_state != "hidden" for w in hidden):
        problems.append("hidden sheets %r, .xls %r" % ([(w.title, w.sheet_state) for w in hidden],
                                                      [s.name for s in xls_hidden]))
    elif hidden:
        got_hidden = [["" if v is None else v for v in row] for row in hidden[0].iter_rows(values_only=True)]
        want_hidden = [xls_hidden[0].row_values(r) for r in range(xls_hidden[0].nrows)]
        if rows_limit is None:
            if got_hidden != want_hidden:
                problems.append("the hidden sheet's texts differ")
        else:
            # The record's lines, one per activity, run on from cell to
            # cell down column A: the .xls holds those of its first rows.
            def lines(rows):
                return "\n".join(str(row[0]) for row in rows[1:]).split("\n")
            got_lines, want_lines = lines(got_hidden), lines(want_hidden)
            if got_hidden[:1] != want_hidden[:1] or got_lines[:len(want_lines)] != want_lines:
                problems.append("the hidden sheet's first records differ")
    for p in problems[:10]:
        print(p)
    if not problems:
        print("ok   %s matches %s" % (xlsx_path, xls_path))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
