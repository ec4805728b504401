"""Prints, as one JSON object, the texts of the first sheet of each .xls
named on the command line, as xlrd reads them: {file: [[cell, ...], ...]}."""
import json
import sys

import xlrd

out = {}
for path in sys.argv[1:]:
    sheet = xlrd.open_workbook(path).sheet_by_index(0)
    out[path] = [[str(sheet.cell_value(r, c)) for c in range(sheet.ncols)] for r in range(sheet.nrows)]
json.dump(out, sys.stdout)
