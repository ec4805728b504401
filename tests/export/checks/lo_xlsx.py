#!/usr/bin/python3
"""Opens an .xls in LibreOffice (headless), saves it as .xlsx and reads the
sheet's AutoFilter range and frozen pane from the saved sheet.

usage: lo_xlsx.py FILE.xls WORKDIR [--filter A2:DD24] [--frozen N]
--filter REF: the sheet has an AutoFilter over exactly REF (--filter none: no
AutoFilter at all). --frozen N: the first N rows are frozen and the rows
below start at row N + 1. Uses a private profile under WORKDIR.
"""
import sys
import zipfile
import xml.etree.ElementTree as ET

sys.dont_write_bytecode = True   # keep the source folder clean
from lo_convert import convert  # noqa: E402

NS = {"m": "http://schemas.openxmlformats.org/spreadsheetml/2006/main"}


def main():
    path, work, opts = sys.argv[1], sys.argv[2], sys.argv[3:]
    want = dict(zip(opts[::2], opts[1::2]))
    out, failure = convert(path, work, "xlsx:Calc MS Excel 2007 XML", ".xlsx")
    if out is None:
        print("soffice failed: %s" % failure)
        return 1
    with zipfile.ZipFile(out) as z:
        sheet = ET.fromstring(z.read("xl/worksheets/sheet1.xml"))
    problems = []
    auto = sheet.find("m:autoFilter", NS)
    got_filter = auto.get("ref") if auto is not None else "none"
    if "--filter" in want and got_filter != want["--filter"]:
        problems.append("AutoFilter %s, expected %s" % (got_filter, want["--filter"]))
    if "--frozen" in want:
        rows = int(want["--frozen"])
        pane = sheet.find("m:sheetViews/m:sheetView/m:pane", NS)
        got = None if pane is None else (pane.get("state"), pane.get("ySplit"), pane.get("xSplit", "0"),
                                         pane.get("topLeftCell"))
        if got != ("frozen", str(rows), "0", "A%d" % (rows + 1)):
            problems.append("pane %r, expected %d frozen rows" % (got, rows))
    for p in problems:
        print(p)
    if not problems:
        print("ok   AutoFilter %s, pane as expected" % got_filter)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
