#!/usr/bin/python3
"""Edits an .xlsx as a user in a spreadsheet program would, only faster:
every activity's Log#1 on the first sheet gets a new text (an inline string),
so that an update from the workbook has one cell to write per row. The
hidden record of the export is left as it is.

usage: edit_every_row.py IN.xlsx OUT.xlsx"""

import re
import sys
import zipfile

MAIN_SHEET = "xl/worksheets/sheet1.xml"


def shared_strings(z):
    xml = z.read("xl/sharedStrings.xml").decode("utf-8")
    return [re.sub(r"<[^>]+>", "", si) for si in re.findall(r"<si>(.*?)</si>", xml, re.S)]


def main():
    src, dst = sys.argv[1], sys.argv[2]
    with zipfile.ZipFile(src) as z:
        strings = shared_strings(z)
        sheet = z.read(MAIN_SHEET).decode("utf-8")
        parts = {name: z.read(name) for name in z.namelist()}
    cell = re.compile(r'<c r="([A-Z]+)(\d+)"([^>]*?)(?:/>|>(.*?)</c>)', re.S)
    column, caption_row = None, None
    for m in cell.finditer(sheet):
        value = re.search(r"<v>(\d+)</v>", m.group(4) or "")
        if 't="s"' in m.group(3) and value and strings[int(value.group(1))] == "Log#1":
            column, caption_row = m.group(1), int(m.group(2))
            break
    if column is None:
        sys.exit("no Log#1 caption")

    def edit(m):
        if m.group(1) != column or int(m.group(2)) <= caption_row:
            return m.group(0)
        style = re.search(r'\ss="\d+"', m.group(3))
        return '<c r="%s%s"%s t="inlineStr"><is><t>edited in the workbook, row %s</t></is></c>' % (
            m.group(1), m.group(2), style.group(0) if style else "", m.group(2))

    parts[MAIN_SHEET] = cell.sub(edit, sheet).encode("utf-8")
    with zipfile.ZipFile(dst, "w", zipfile.ZIP_DEFLATED) as out:
        for name, data in parts.items():
            out.writestr(name, data)


if __name__ == "__main__":
    main()
