#!/usr/bin/python3
"""A project past the .xls row limit exported whole as .xlsx by orvane-batch.

usage: xlsx_batch_test.py ORVANE_BATCH
70,000 activities: the .xls export reports the rows it leaves out, the
.xlsx export none; openpyxl reads 70,002 rows from the .xlsx, the first
65,536 equal text for text to the .xls rows and every activity's texts
equal to the table's; the sheet's XML freezes the two header rows and puts
the AutoFilter over the caption row down to the last activity; the record
sheet is hidden behind the first, active one; an unedited update-from
changes nothing; LibreOffice opens the file and reads every row. Then the
export under a numeric locale with a decimal comma, and onto a full disk.
"""
import os
import re
import sqlite3
import subprocess
import sys
import tempfile
import zipfile
from contextlib import closing

import openpyxl

sys.dont_write_bytecode = True   # keep the source folder clean
HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "..", "support"))
from lo_convert import convert  # noqa: E402
from outcome import expect, finish, run_batch  # noqa: E402

batch = sys.argv[1]
ROWS = 70000


def run(args, cwd, env=None):
    return run_batch(batch, args, cwd, env)


def table(db):
    with closing(sqlite3.connect(db)) as c:
        return {row[0]: tuple(v or "" for v in row[1:]) for row in
                c.execute("SELECT ActivityID, Description, [Log#1], [Log#50], [Log#99] FROM P3Data")}


with tempfile.TemporaryDirectory() as tmp:
    expect("makedb", run(["makedb"], tmp).returncode == 0)
    db = os.path.join(tmp, "pdb.mdb")
    with closing(sqlite3.connect(db)) as c, c:
        c.executemany("INSERT INTO P3Data (ActivityID, Description, EarlyFinish, [Log#1], [Log#50], [Log#99], Flag) "
                      "VALUES (?, ?, ?, ?, ?, ?, 0)",
                      [("B%05d" % i, "Activity %d – Übergabe" % i, "2004-%02d-%02dT00:00:00" % (i % 12 + 1, i % 28 + 1),
                        "log one of %d" % i, "x" * (i % 300), "last line %d\nsecond line" % i if i % 3 else None)
                       for i in range(ROWS)])
    before = table(db)

    r = run(["export", "Big.xls"], tmp, {"LC_ALL": "C.UTF-8"})
    expect(".xls: the rows past the sheet's limit are reported",
           "The sheet holds only 65,534 of the 70,000 rows shown; the last 4,466 rows were left out." in r.stderr
           or "The sheet holds only 65534 of the 70000 rows shown; the last 4466 rows were left out." in r.stderr,
           r.stderr)
    r = run(["export", "Big.xlsx"], tmp)
    expect(".xlsx: every row, nothing reported", r.returncode == 0 and r.stdout.strip() ==
           "Exported %d rows to Big.xlsx" % ROWS and not r.stderr.strip(), r.stdout + r.stderr)
    xls, xlsx = os.path.join(tmp, "Big.xls"), os.path.join(tmp, "Big.xlsx")

    done = subprocess.run(["/usr/bin/python3", os.path.join(HERE, "xlsx_matches_xls.py"), "--rows", "65536", xls, xlsx],
                          capture_output=True, text=True)
    expect("the first 65,536 rows equal the .xls rows text for text", done.returncode == 0, done.stdout + done.stderr)

    wb = openpyxl.load_workbook(xlsx, read_only=True)
    rows = list(wb.worksheets[0].iter_rows(values_only=True))
    expect("70,002 rows: band, captions and every activity", len(rows) == ROWS + 2, len(rows))
    captions = list(rows[1])
    cols = [captions.index(n) for n in ("ActivityID", "Description", "Log#1", "Log#50", "Log#99")]
    got = {row[cols[0]]: tuple(row[c] or "" for c in cols[1:]) for row in rows[2:]}
    expect("every activity's texts as the table holds them", got == before,
           next(((k, got.get(k), v) for k, v in before.items() if got.get(k) != v), None))
    hidden = wb.worksheets[1]
    expect("the record sheet is hidden behind the first", wb.sheetnames[1] == "Exported texts (do not edit)"
           and hidden.sheet_state == "hidden" and wb.worksheets[0].sheet_state == "visible")
    wb.close()

    with zipfile.ZipFile(xlsx) as z:
        sheet = z.read("xl/worksheets/sheet1.xml").decode("utf-8")
        book = z.read("xl/workbook.xml").decode("utf-8")
    pane = re.search(r"<pane [^>]*/>", sheet)
    expect("the two header rows frozen", pane and 'ySplit="2"' in pane.group(0) and 'state="frozen"' in pane.group(0)
           and "xSplit" not in pane.group(0), pane and pane.group(0))
    auto = re.search(r'<autoFilter ref="([^"]+)"', sheet)
    expect("the AutoFilter on the caption row down to the last activity",
           auto and auto.group(1) == "A2:DD%d" % (ROWS + 2), auto and auto.group(1))
    expect("the first sheet is the active one", 'activeTab="1"' not in book, book)

    r = run(["update-from", "Big.xlsx"], tmp)
    expect("an unedited update-from changes nothing", r.returncode == 0
           and "Activities that will change: 0" in r.stdout and table(db) == before, r.stdout[-500:] + r.stderr)

    out, failure = convert(xlsx, os.path.join(tmp, "lo"), "csv:Text - txt - csv (StarCalc):44,34,76,1", ".csv")
    if out is None:
        expect("LibreOffice opens the .xlsx", False, failure)
    else:
        with open(out, encoding="utf-8", newline="") as f:
            lines = sum(1 for _ in __import__("csv").reader(f))
        expect("LibreOffice opens the .xlsx and reads every row", lines == ROWS + 2, lines)

    # A decimal comma in the numeric locale leaves the numbers of the XML
    # (column widths) as the format has them.
    locales = os.path.join(tmp, "locales")
    os.mkdir(locales)
    made = subprocess.run(["localedef", "-i", "de_DE", "-f", "UTF-8", os.path.join(locales, "de_DE.UTF-8")],
                          capture_output=True)
    if made.returncode == 0:
        r = run(["export", "German.xlsx"], tmp, {"LOCPATH": locales, "LC_ALL": "de_DE.UTF-8"})
        with zipfile.ZipFile(os.path.join(tmp, "German.xlsx")) as z:
            widths = re.findall(r'<col [^>]*width="([^"]+)"', z.read("xl/worksheets/sheet1.xml").decode("utf-8"))
        expect("German locale: the column widths keep their decimal points",
               r.returncode == 0 and widths and all("," not in w for w in widths), widths[:3])
        openpyxl.load_workbook(os.path.join(tmp, "German.xlsx"), read_only=True).close()
    else:
        print("skip the German locale: localedef failed")

    # A full disk: the message the .xls export gives, and the old file kept.
    with open(os.path.join(tmp, "Full.xlsx"), "wb") as f:
        f.write(b"the old file")
    # RLIMIT_FSIZE: every write past 2 MB fails as on a full disk (EFBIG,
    # the signal ignored).
    full = subprocess.run(["/usr/bin/python3", "-c",
                           "import os, resource, signal, sys; signal.signal(signal.SIGXFSZ, signal.SIG_IGN); "
                           "resource.setrlimit(resource.RLIMIT_FSIZE, (2 << 20, 2 << 20)); "
                           "os.execv(sys.argv[1], sys.argv[1:])", batch, "export", "Full.xlsx"],
                          cwd=tmp, capture_output=True, text=True)
    with open(os.path.join(tmp, "Full.xlsx"), "rb") as f:
        kept = f.read()
    expect("a write that fails part-way: exit 1 with a message, the old file kept",
           full.returncode == 1 and "could not be written" in full.stderr and kept == b"the old file",
           "%d %s %r" % (full.returncode, full.stderr, kept[:20]))

finish()
