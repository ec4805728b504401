#!/usr/bin/python3
"""usage: xls_formats.py FILE COL,ROW=FORMAT_KEY:VALUE ...
xlrd reads the cell as a number with that built-in number format and value
(dates read as their serial)."""
import sys

import xlrd
from xlrd.formatting import FDT

book = xlrd.open_workbook(sys.argv[1], formatting_info=True)
sh = book.sheet_by_index(0)
bad = 0
for item in sys.argv[2:]:
    key, _, want = item.partition("=")
    col, row = (int(v) for v in key.split(","))
    fmt, _, value = want.partition(":")
    cell = sh.cell(row, col)
    xf = book.xf_list[cell.xf_index]
    kind = book.format_map[xf.format_key].type
    if xf.format_key != int(fmt) or float(cell.value) != float(value):
        print("C%dR%d: format %d value %r != %s" % (col, row, xf.format_key, cell.value, want))
        bad += 1
    elif int(fmt) in (14, 21, 22) and (cell.ctype != xlrd.XL_CELL_DATE or kind != FDT):
        print("C%dR%d: not read as a date (type %d)" % (col, row, cell.ctype))
        bad += 1
sys.exit(1 if bad else 0)
