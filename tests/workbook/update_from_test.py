#!/usr/bin/python3
"""orvane-batch update-from, a real round trip: CLIN imported from the
simulated P3 server and exported; LibreOffice re-saves the workbook as .xlsx
and as .xls; openpyxl edits the .xlsx (LibreOffice turns the edited .xlsx
into .xls, so the .xls is edited before it is re-saved). Exactly the edited
cells change; unedited workbooks change nothing; --dry-run changes nothing."""

import os
import sqlite3
import sys
import tempfile

import openpyxl

from round_trip import convert, exported_clin, kept_copy
from outcome import expect, finish, run_batch  # noqa: E402  (round_trip put it on the path)

batch, samples = sys.argv[1], sys.argv[2]


def run(args, cwd, env_extra=None):
    return run_batch(batch, args, cwd, env_extra)


def table(db):
    """Every cell of P3Data by (ActivityID, column): storage class and value."""
    with sqlite3.connect(db) as c:
        cur = c.execute("SELECT * FROM P3Data ORDER BY rowid")
        names = [d[0] for d in cur.description]
        cells = {}
        for row in cur.fetchall():
            for name, value in zip(names, row):
                cells[(row[0], name)] = (type(value).__name__, value)
        return cells


def changed(before, after):
    return {k: after[k][1] for k in after if before.get(k) != after[k]}


def caption_columns(ws):
    for row in ws.iter_rows():
        captions = {str(c.value).strip(): c.column for c in row if c.value is not None}
        if "ActivityID" in captions:
            return row[0].row, captions
    raise AssertionError("no caption row")


def row_of(ws, header_row, id_col, activity_id):
    for r in range(header_row + 1, ws.max_row + 1):
        if ws.cell(r, id_col).value == activity_id:
            return r
    raise AssertionError("no row for " + activity_id)


with tempfile.TemporaryDirectory() as tmp:
    work, db = exported_clin(batch, samples, tmp)
    restore = kept_copy(db, tmp)
    start = table(db)

    # --- unedited workbooks, as written and as re-saved, change nothing
    xls = os.path.join(work, "clin.xls")
    lo_dir = os.path.join(tmp, "lo")
    os.mkdir(lo_dir)
    xlsx = convert(xls, "xlsx", lo_dir)
    lo_xls_dir = os.path.join(tmp, "lo-xls")
    os.mkdir(lo_xls_dir)
    lo_xls = convert(xlsx, "xls", lo_xls_dir, "MS Excel 97")
    for name, path in (("as exported", xls), ("re-saved .xlsx", xlsx), ("re-saved .xls", lo_xls)):
        r = run(["update-from", path], work)
        expect("unedited %s: nothing to change" % name,
               r.returncode == 0 and "Activities that will change: 0" in r.stdout and table(db) == start,
               "%r %r" % (r.stdout, r.stderr))

    # --- edit the re-saved .xlsx: move a column, delete one, add one, edit cells
    wb = openpyxl.load_workbook(xlsx)
    ws = wb.worksheets[0]
    header, cols = caption_columns(ws)
    ids = [ws.cell(r, cols["ActivityID"]).value for r in range(header + 1, ws.max_row + 1)]
    ids = [i for i in ids if i]
    a, b, c, d = ids[3], ids[10], ids[20], ids[40]
    ws.cell(row_of(ws, header, cols["ActivityID"], a), cols["Log#1"]).value = "Rebar delivered late — crane idle"
    ws.cell(row_of(ws, header, cols["ActivityID"], b), cols["Log#2"]).value = None
    ws.cell(row_of(ws, header, cols["ActivityID"], c), cols["Log#3"]).value = 42
    ws.cell(row_of(ws, header, cols["ActivityID"], c), cols["Log#4"]).value = 2.5
    ws.cell(row_of(ws, header, cols["ActivityID"], d), cols["Description"]).value = "Renamed on site"
    # A log of row a in a column that is then deleted must stay as it is.
    ws.cell(row_of(ws, header, cols["ActivityID"], a), cols["Log#9"]).value = "lost with its column"
    ws.delete_cols(cols["Log#9"])
    ws.insert_cols(1)
    ws.cell(header, 1).value = "Site manager"
    ws.cell(header + 1, 1).value = "initials"
    # An ID the table does not have, a row without ID, a repeated ID.
    last = ws.max_row
    _, cols = caption_columns(ws)
    ws.cell(last + 1, cols["ActivityID"]).value = "ZZ-NEW"
    ws.cell(last + 1, cols["Log#1"]).value = "unknown activity"
    ws.cell(last + 2, cols["Log#1"]).value = "row without id"
    ws.cell(last + 3, cols["ActivityID"]).value = ids[50]
    ws.cell(last + 3, cols["Log#1"]).value = "second row for one id"
    edited = os.path.join(tmp, "edited.xlsx")
    wb.save(edited)
    edited_dir = os.path.join(tmp, "edited-xls")
    os.mkdir(edited_dir)
    edited_xls = convert(edited, "xls", edited_dir, "MS Excel 97")

    expected = {
        (a, "Log#1"): "Rebar delivered late — crane idle",
        (b, "Log#2"): None,
        (c, "Log#3"): "42",
        (c, "Log#4"): "2.5",
        (d, "Description"): "Renamed on site",
    }
    expected = {k: v for k, v in expected.items() if start[k][1] != v}
    expect("the edits are real edits", len(expected) >= 4, repr(expected))

    dry = run(["update-from", edited, "--dry-run"], work)
    expect("dry run prints the preview and changes nothing",
           dry.returncode == 0 and "Dry run: nothing was changed." in dry.stdout
           and "IDs the table does not have: 1 (ZZ-NEW)" in dry.stdout and "Rows without an ID: 1" in dry.stdout
           and ("IDs on more than one row of the workbook, left alone: 1 (%s)" % ids[50]) in dry.stdout
           and "Columns not recognised, left alone: 1 (Site manager)" in dry.stdout
           and table(db) == start, dry.stdout + dry.stderr)

    for name, path in (("edited .xlsx", edited), ("edited, re-saved .xls", edited_xls)):
        restore()
        r = run(["update-from", path], work)
        got = changed(start, table(db))
        expect("%s: exactly the edited cells change" % name, r.returncode == 0 and got == expected,
               "\nstdout %r\nstderr %r\ngot %r\nwant %r" % (r.stdout, r.stderr, got, expected))

    # --- errors: not a workbook, no such file, usage
    with open(os.path.join(work, "notes.txt"), "w") as f:
        f.write("not a workbook")
    r = run(["update-from", "notes.txt"], work)
    expect("a file that is no workbook is refused", r.returncode == 1 and "is not an .xls or .xlsx" in r.stderr,
           r.stderr)
    r = run(["update-from", "missing.xlsx"], work)
    expect("a missing file is refused", r.returncode == 1, r.stderr)
    expect("usage error", run(["update-from"], work).returncode == 2)

finish()
