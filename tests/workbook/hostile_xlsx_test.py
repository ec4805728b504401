#!/usr/bin/python3
"""update-from --dry-run of hostile .xlsx files, under a memory limit
(ulimit -v): small zips that expand into huge XML. Each ends with a clear
message naming what is too large, never with "std::bad_alloc", and the
table is unchanged.

usage: hostile_xlsx_test.py ORVANE_BATCH
"""
import os
import resource
import sqlite3
import struct
import subprocess
import sys
import tempfile
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from outcome import expect, finish  # noqa: E402

batch = sys.argv[1]
# The limits the reader states (SheetReader.h) fit well under this.
MEMORY_LIMIT = 3 << 30

WORKBOOK = ('<?xml version="1.0" encoding="UTF-8"?><workbook xmlns="http://schemas.openxmlformats.org/'
            'spreadsheetml/2006/main" xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/'
            'relationships"><sheets><sheet name="s" sheetId="1" r:id="rId1"/></sheets></workbook>')
RELS = ('<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/'
        'package/2006/relationships"><Relationship Id="rId1" Type="http://schemas.openxmlformats.org/'
        'officeDocument/2006/relationships/worksheet" Target="worksheets/sheet1.xml"/></Relationships>')
SHEET_HEAD = '<?xml version="1.0" encoding="UTF-8"?><worksheet xmlns="http://schemas.openxmlformats.org/' \
             'spreadsheetml/2006/main"><sheetData>'
SHEET_TAIL = '</sheetData></worksheet>'
CAPTIONS = ["ActivityID", "Description"] + ["Log#%d" % n for n in range(1, 100)]


def inline(text):
    return '<c t="inlineStr"><is><t>%s</t></is></c>' % text


def write_xlsx(path, sheet_pieces, shared=None):
    """sheet_pieces: an iterable of str written one after another into the
    sheet part, so that a part of gigabytes never stands in memory."""
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED, compresslevel=1) as z:
        z.writestr("xl/workbook.xml", WORKBOOK)
        z.writestr("xl/_rels/workbook.xml.rels", RELS)
        if shared is not None:
            z.writestr("xl/sharedStrings.xml", shared)
        with z.open("xl/worksheets/sheet1.xml", "w", force_zip64=True) as part:
            for piece in sheet_pieces:
                part.write(piece.encode())


def caption_row():
    return "<row>" + "".join(inline(c) for c in CAPTIONS) + "</row>"


def many_cells(total_bytes):
    """A caption row, then rows of 101 small number cells up to about total_bytes."""
    yield SHEET_HEAD + caption_row()
    row = "<row>" + "<c><v>1</v></c>" * len(CAPTIONS) + "</row>"
    block = row * 1000
    for _ in range(total_bytes // len(block)):
        yield block
    yield SHEET_TAIL


def one_long_text(chars):
    yield SHEET_HEAD + caption_row() + '<row><c t="inlineStr"><is><t>'
    for _ in range(chars // (1 << 20)):
        yield "x" * (1 << 20)
    yield "</t></is></c></row>" + SHEET_TAIL


def nested(depth):
    yield SHEET_HEAD + caption_row() + "<row>" + "<a>" * depth + "</a>" * depth + "</row>" + SHEET_TAIL


def long_shared_string_pieces(pieces):
    """A shared string whose text comes in many <t> runs: each run is short,
    the string is not."""
    return ('<?xml version="1.0" encoding="UTF-8"?><sst xmlns="http://schemas.openxmlformats.org/'
            'spreadsheetml/2006/main"><si>' + "<r><t>%s</t></r>" % ("y" * 1000) * pieces + "</si></sst>")


def declared_larger(path, size):
    """Patches the sheet part's uncompressed size in the zip's headers, as a
    crafted file may state it."""
    with open(path, "r+b") as f:
        data = bytearray(f.read())
        name = b"xl/worksheets/sheet1.xml"
        central = data.rfind(b"PK\x01\x02", 0, data.rfind(name))
        # A zip64 entry keeps its sizes in the extra field, others in the header.
        extra_len = struct.unpack_from("<H", data, central + 30)[0]
        name_len = struct.unpack_from("<H", data, central + 28)[0]
        extra = central + 46 + name_len
        patched = False
        while extra < central + 46 + name_len + extra_len:
            tag, length = struct.unpack_from("<HH", data, extra)
            if tag == 1 and struct.unpack_from("<I", data, central + 24)[0] == 0xFFFFFFFF:
                struct.pack_into("<Q", data, extra + 4, size)
                patched = True
            extra += 4 + length
        if not patched:
            struct.pack_into("<I", data, central + 24, size)
        f.seek(0)
        f.write(data)


def table(db):
    with sqlite3.connect(db) as c:
        return c.execute("SELECT * FROM P3Data ORDER BY rowid").fetchall()


def limited():
    resource.setrlimit(resource.RLIMIT_AS, (MEMORY_LIMIT, MEMORY_LIMIT))


with tempfile.TemporaryDirectory() as work:
    subprocess.run([batch, "makedb"], cwd=work, check=True, capture_output=True)
    db = os.path.join(work, "pdb.mdb")
    with sqlite3.connect(db) as c:
        c.execute("INSERT INTO P3Data (ActivityID, Description, [Log#1]) VALUES ('1', 'first', 'kept')")
    before = table(db)

    cases = [
        ("1 GiB of sheet XML: a million small cells and more", "many.xlsx",
         lambda p: write_xlsx(p, many_cells(1 << 30)), "more than Orvane reads from one workbook"),
        ("one cell text of 200 MB", "longtext.xlsx", lambda p: write_xlsx(p, one_long_text(200 << 20)),
         "longer than 4 MiB"),
        ("a shared string of 60,000 characters in short runs", "shared.xlsx",
         lambda p: write_xlsx(p, [SHEET_HEAD + caption_row() + SHEET_TAIL], long_shared_string_pieces(60)),
         "longer than the 32,767 characters a cell holds"),
        ("elements nested 100,000 deep", "deep.xlsx", lambda p: write_xlsx(p, nested(100000)),
         "nested more than 256 deep"),
        ("a sheet part that says it holds 3 GiB", "declared.xlsx",
         lambda p: (write_xlsx(p, [SHEET_HEAD + caption_row() + SHEET_TAIL]), declared_larger(p, 3 << 30)),
         "larger than the 2 GiB Orvane reads"),
    ]
    for name, file, make, words in cases:
        path = os.path.join(work, file)
        make(path)
        r = subprocess.run([batch, "update-from", path, "--dry-run"], cwd=work, capture_output=True, text=True,
                           preexec_fn=limited, timeout=600)
        expect("%s (%d KB file): refused with a message" % (name, os.path.getsize(path) // 1024),
               r.returncode == 1 and words in r.stderr and "Cannot read the workbook" in r.stderr
               and "bad_alloc" not in r.stderr, "exit %d: %r" % (r.returncode, r.stderr[-500:]))
        expect("%s: the table is unchanged" % name, table(db) == before)
        os.remove(path)
finish()
