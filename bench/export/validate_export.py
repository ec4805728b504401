#!/usr/bin/env python3
"""The peers' validate.py for Orvane's own workbooks.

usage: validate_export.py PEERS_DIR IN.tsv OUT.xls|OUT.xlsx

Orvane's exports carry a hidden second sheet, the record of what was
exported, which the peers' check of an .xls ("one sheet") does not expect.
This runs the peers' check unchanged on the sheets a user sees, after making
sure every sheet it leaves aside is that hidden record.
"""
import importlib.util
import os
import sys

import xlrd

RECORD = "Exported texts (do not edit)"


class VisibleSheets:
    """An xlrd book that counts only its visible sheets."""

    def __init__(self, book):
        self._book = book
        self.nsheets = sum(1 for i in range(book.nsheets) if book.sheet_by_index(i).visibility == 0)

    def __getattr__(self, name):
        return getattr(self._book, name)


def open_visible(*args, **kwargs):
    book = xlrd.open_workbook_original(*args, **kwargs)
    for i in range(1, book.nsheets):
        sheet = book.sheet_by_index(i)
        if sheet.name != RECORD or sheet.visibility == 0:
            return book   # the peers' check then reports the extra sheet
    return VisibleSheets(book)


def main():
    peers, tsv, out = sys.argv[1:4]
    spec = importlib.util.spec_from_file_location("validate", os.path.join(peers, "validate.py"))
    validate = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(validate)
    xlrd.open_workbook_original = xlrd.open_workbook
    xlrd.open_workbook = open_visible
    sys.argv = [sys.argv[0], tsv, out]
    validate.main()


if __name__ == "__main__":
    main()
