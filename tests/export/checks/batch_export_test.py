#!/usr/bin/python3
"""orvane-batch export: the activity grid of pdb.mdb as a workbook.

usage: batch_export_test.py ORVANE_BATCH
Makes a database, fills a few rows straight into it, exports and reads the
workbook back with xlrd: band and column captions, rows in EarlyFinish order,
texts exact (Unicode included), the extension replaced, a log too long for a
cell cut and reported, usage errors.
"""
import os
import sqlite3
import subprocess
import sys
import tempfile

import xlrd

batch = sys.argv[1]
rows = [
    ("A1003", "Pour slab level 3", "2003-03-09T00:00:00", "check formwork", "Prüfung – “ok”"),
    ("A1001", "Excavate north zone", "2003-03-01T00:00:00", "crane delivery", ""),
    ("A1002", "Проверка опалубки", "2003-03-05T00:00:00", "", "混凝土浇筑 🏗"),
]

with tempfile.TemporaryDirectory() as work:
    done = subprocess.run([batch, "makedb"], cwd=work, capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    db = sqlite3.connect(os.path.join(work, "pdb.mdb"))
    for activity, description, finish, log1, log2 in rows:
        db.execute("INSERT INTO P3Data (ActivityID, Description, EarlyFinish, [Log#1], [Log#2], Flag) "
                   "VALUES (?, ?, ?, ?, ?, 0)", (activity, description, finish, log1 or None, log2 or None))
    db.commit()
    db.close()

    done = subprocess.run([batch, "export", "Plan.txt"], cwd=work, capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    out = os.path.join(work, "Plan.xls")
    assert "Exported 3 rows to Plan.xls" in done.stdout, done.stdout
    assert os.path.exists(out) and not os.path.exists(os.path.join(work, "Plan.txt"))

    book = xlrd.open_workbook(out, formatting_info=True)
    sh = book.sheet_by_index(0)
    assert sh.name == "Plan", sh.name
    assert sh.nrows == 2 + len(rows), sh.nrows
    band = sh.row_values(0)
    captions = sh.row_values(1)
    assert band[0] == "Activity Info" and band[8] == "Log records" and band[-1] == "C", band[:9]
    assert captions[:8] == ["ActivityID", "Description", "OriginalDuration", "RemainingDuration",
                            "EarlyStart", "EarlyFinish", "PercentComplete", "CalendarID"], captions[:8]
    assert captions[8:107] == ["Log#%d" % n for n in range(1, 100)]
    assert captions[107] == "Flag" and sh.ncols == 108, (captions[107:], sh.ncols)
    ordered = sorted(rows, key=lambda r: r[2])
    for i, (activity, description, _, log1, log2) in enumerate(ordered):
        got = sh.row_values(2 + i)
        assert got[0] == activity and got[1] == description, got[:2]
        assert got[8] == log1 and got[9] == log2, got[8:10]
        assert got[107] == "False", got[107]
    assert sorted(tuple(m) for m in sh.merged_cells) == [(0, 1, 0, 8), (0, 1, 8, 107)], sh.merged_cells

    # A 40,000-character log is cut to the 32,767 characters a cell holds,
    # the file is still written, and the output says how many cells were cut.
    db = sqlite3.connect(os.path.join(work, "pdb.mdb"))
    db.execute("UPDATE P3Data SET [Log#3] = ? WHERE ActivityID = 'A1001'", ("L" * 39999 + "!",))
    db.commit()
    db.close()
    done = subprocess.run([batch, "export", "Long.xls"], cwd=work, capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    assert "Exported 3 rows to Long.xls" in done.stdout, done.stdout
    assert "the text of 1 cell was cut there" in done.stderr, done.stderr
    cell = xlrd.open_workbook(os.path.join(work, "Long.xls")).sheet_by_index(0).cell_value(2, 10)
    assert cell == "L" * 32767, len(cell)

    for args in (["export"], ["export", "a.xls", "b.xls"]):
        bad = subprocess.run([batch] + args, cwd=work, capture_output=True, text=True)
        assert bad.returncode == 2, (args, bad.returncode, bad.stderr)
print("batch export: ok")
