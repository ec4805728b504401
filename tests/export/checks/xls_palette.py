#!/usr/bin/python3
"""usage: xls_palette.py FILE COL,ROW=RRGGBB ... -- the cell's solid fill colour, through xlrd's palette."""
import sys

import xlrd

book = xlrd.open_workbook(sys.argv[1], formatting_info=True)
sh = book.sheet_by_index(0)
bad = 0
for item in sys.argv[2:]:
    key, _, want = item.partition("=")
    col, row = (int(v) for v in key.split(","))
    xf = book.xf_list[sh.cell_xf_index(row, col)]
    rgb = book.colour_map.get(xf.background.pattern_colour_index)
    got = "%02x%02x%02x" % rgb if rgb else None
    if xf.background.fill_pattern != 1 or got != want:
        print("C%dR%d: pattern %d colour %s != %s" % (col, row, xf.background.fill_pattern, got, want))
        bad += 1
sys.exit(1 if bad else 0)
