#!/usr/bin/python3
"""usage: xls_merged.py FILE N -- xlrd sees N merged 2x2 ranges stacked in columns 0-1."""
import sys

import xlrd

book = xlrd.open_workbook(sys.argv[1], formatting_info=True)
n = int(sys.argv[2])
got = sorted(book.sheet_by_index(0).merged_cells)
want = [(2 * i, 2 * i + 2, 0, 2) for i in range(n)]
if got != want:
    print("merged ranges differ: %d read, first %r" % (len(got), got[:3]))
    sys.exit(1)
