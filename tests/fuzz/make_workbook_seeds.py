#!/usr/bin/python3
"""Writes the seed corpus of the workbook readers' fuzz targets: small real
workbooks (exported by orvane-batch, written by xlwt and openpyxl) and a few
hand-made and damaged ones. The .xlsx seeds are in the fuzz target's own
form: the XML parts one after another, each after a line "@@part@@" (see
xlsx_reader_fuzzer.cpp). Run it again only to change the corpus.

usage: make_workbook_seeds.py ORVANE_BATCH
"""
import datetime
import io
import os
import sqlite3
import subprocess
import sys
import tempfile
import zipfile

import openpyxl
import xlwt

HERE = os.path.dirname(os.path.abspath(__file__))
XLSX_DIR = os.path.join(HERE, "corpus", "xlsx_reader")
XLS_DIR = os.path.join(HERE, "corpus", "xls_reader")
PARTS = ["xl/worksheets/sheet1.xml", "xl/sharedStrings.xml", "xl/styles.xml", "xl/workbook.xml",
         "xl/_rels/workbook.xml.rels", "xl/worksheets/sheet2.xml"]
SEPARATOR = b"\n@@part@@\n"


def parts_seed(parts):
    """parts: the texts of PARTS in order (None or missing: the fuzzer's plain part)."""
    out = []
    for p in parts:
        out.append(b"" if p is None else p if isinstance(p, bytes) else p.encode())
    while out and out[-1] == b"":
        out.pop()
    return SEPARATOR.join(out) if len(out) > 1 else (out[0] if out else b"")


def from_xlsx(data):
    with zipfile.ZipFile(io.BytesIO(data)) as z:
        names = set(z.namelist())
        return parts_seed([z.read(n) if n in names else None for n in PARTS])


def write(folder, name, data):
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def exported(batch, work):
    subprocess.run([batch, "makedb"], cwd=work, check=True, capture_output=True)
    with sqlite3.connect(os.path.join(work, "pdb.mdb")) as c:
        c.execute("INSERT INTO P3Data (ActivityID, Description, [Log#1], [Log#2], OriginalDuration) "
                  "VALUES ('A1', 'pour & cure', 'caf\u00e9 <x>', 'line1\nline2', 5)")
        c.execute("INSERT INTO P3Data (ActivityID, Description, [Log#1]) VALUES ('A2', 'second', '\U0001F600 emoji')")
    for name in ("grid.xls", "grid.xlsx"):
        subprocess.run([batch, "export", name], cwd=work, check=True, capture_output=True)
    with open(os.path.join(work, "grid.xls"), "rb") as f:
        xls = f.read()
    with open(os.path.join(work, "grid.xlsx"), "rb") as f:
        xlsx = f.read()
    return xls, xlsx


def xlwt_workbook():
    wb = xlwt.Workbook()
    ws = wb.add_sheet("Sheet")
    for c, caption in enumerate(["ID", "Kept", "Other"]):
        ws.write(0, c, caption)
    ws.write(1, 0, "A1")
    ws.write(1, 1, "caf\u00e9 & more")
    ws.write(1, 2, 3.5)
    ws.write(2, 0, "A2")
    ws.write(2, 1, datetime.datetime(2026, 1, 5, 10, 30), xlwt.easyxf(num_format_str="yyyy-mm-dd hh:mm"))
    ws.write(2, 2, True)
    ws.write(4, 1, "x" * 300)
    out = io.BytesIO()
    wb.save(out)
    return out.getvalue()


def openpyxl_workbook():
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.append(["ID", "Kept", "Other"])
    ws.append(["A1", "shared & <escaped>", 2.5])
    ws.append(["A2", datetime.datetime(2026, 1, 5), True])
    ws.append(["A1", "shared & <escaped>", "=B2&\"!\""])
    out = io.BytesIO()
    wb.save(out)
    return out.getvalue()


SHEET = '<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><sheetData>%s</sheetData></worksheet>'
SHARED = ('<sst><si><t>ID</t></si><si><r><rPr><b/></rPr><t>Ke</t></r><r><t xml:space="preserve">pt </t></r>'
          '<rPh sb="0" eb="1"><t>PH</t></rPh></si><si><t>a &amp; b &lt;c&gt; &#233;&#x1F600;</t></si>'
          '<si><t>one&#13;&#10;two</t></si><si/></sst>')
STYLES = ('<styleSheet><numFmts><numFmt numFmtId="164" formatCode="yyyy\\-mm\\-dd"/></numFmts>'
          '<cellXfs><xf numFmtId="0"/><xf numFmtId="14"/><xf numFmtId="164"/></cellXfs></styleSheet>')
ROWS = ('<row r="1"><c r="A1" t="s"><v>0</v></c><c r="B1" t="s"><v>1</v></c></row>'
        '<row r="2"><c r="A2" t="inlineStr"><is><t>A1</t></is></c><c r="B2" t="s"><v>2</v></c>'
        '<c r="D2" t="inlineStr"><is><t><![CDATA[<raw> & ]]>more</t></is></c><c r="E2" s="1"><v>45000.5</v></c></row>'
        '<row r="4"><c t="b"><v>1</v></c><c t="e"><v>#N/A</v></c><c r="G4" t="str"><f>A1</f><v>x</v></c>'
        '<c r="H4" s="2"><v>1E3</v></c></row>')


def hand_made():
    whole = parts_seed([SHEET % ROWS, SHARED, STYLES])
    yield "hand_made.parts", whole
    yield "prefixed.parts", parts_seed([
        '<x:worksheet xmlns:x="m"><x:sheetData><x:row r="1"><x:c r="B1" t="s"><x:v>0</x:v></x:c></x:row>'
        '<!-- note --><?pi data?></x:sheetData></x:worksheet>', SHARED])
    yield "truncated.parts", whole[:len(whole) // 3]
    yield "doctype.parts", parts_seed([
        '<?xml version="1.0"?><!DOCTYPE worksheet [<!ENTITY a "aaaaaaaaaa"><!ENTITY b "&a;&a;&a;&a;">]>'
        + SHEET % '<row><c t="inlineStr"><is><t>&b;</t></is></c></row>'])
    yield "bad_references.parts", parts_seed([SHEET % (
        '<row r="0"><c r="A0" t="s"><v>9</v></c></row><row r="1048577"><c r="XFE1"/></row>'
        '<row r="3"><c r="1A" t="n"><v>x</v></c></row>')])


def main():
    batch = sys.argv[1]
    os.makedirs(XLSX_DIR, exist_ok=True)
    os.makedirs(XLS_DIR, exist_ok=True)
    with tempfile.TemporaryDirectory() as work:
        xls, xlsx = exported(batch, work)
    write(XLS_DIR, "exported.xls", xls)
    write(XLSX_DIR, "exported.parts", from_xlsx(xlsx))
    small = xlwt_workbook()
    write(XLS_DIR, "xlwt.xls", small)
    write(XLS_DIR, "xlwt_truncated.xls", small[:len(small) * 2 // 3])
    # Its first sector damaged.
    looped = bytearray(small)
    looped[0x200:0x204] = b"\x00\x00\x00\x00"
    write(XLS_DIR, "xlwt_fat_loop.xls", bytes(looped))
    write(XLSX_DIR, "openpyxl.parts", from_xlsx(openpyxl_workbook()))
    for name, data in hand_made():
        write(XLSX_DIR, name, data)


if __name__ == "__main__":
    main()
