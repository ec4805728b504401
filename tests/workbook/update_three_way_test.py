#!/usr/bin/python3
"""orvane-batch update-from after the table moved on since the export: CLIN
imported and exported; then logs are edited in Orvane (a bulk copy over
every row and single cells) and in the workbook (openpyxl on LibreOffice's
.xlsx, which LibreOffice then saves as .xls again, and openpyxl on Orvane's
own .xlsx export). Only the workbook's edits
land, the table's edits survive, a cell edited on both sides differently is
printed as a conflict (by --dry-run too) and left as the table has it. A
workbook without the export's record (an older export, a file made by hand)
is updated as before, after a notice on stderr."""

import os
import sqlite3
import sys
import tempfile
from contextlib import closing

import openpyxl

from round_trip import convert, exported_clin, kept_copy
from outcome import expect, finish, run_batch  # noqa: E402  (round_trip put it on the path)

batch, samples = sys.argv[1], sys.argv[2]
RECORD = "Exported texts (do not edit)"
NOTICE = "The workbook carries no record of what was exported"
BULK_LOG = "Log#60"   # empty in CLIN at the export; the bulk copy fills it


def run(args, cwd, env_extra=None):
    return run_batch(batch, args, cwd, env_extra)


def table(db):
    """Description and the logs of every activity, by (ActivityID, field)."""
    with closing(sqlite3.connect(db)) as c:
        cur = c.execute("SELECT * FROM P3Data ORDER BY rowid")
        names = [d[0] for d in cur.description]
        return {(row[0], n): v for row in cur.fetchall() for n, v in zip(names, row)
                if n == "Description" or n.startswith("Log#")}


def set_cell(db, activity, field, text):
    with closing(sqlite3.connect(db)) as c, c:
        c.execute("UPDATE P3Data SET [%s] = ? WHERE ActivityID = ?" % field, (text, activity))


def cell_of(ws, activity, field):
    for row in ws.iter_rows():
        captions = {str(c.value).strip(): c.column for c in row if c.value is not None}
        if "ActivityID" in captions:
            header, cols = row[0].row, captions
            break
    for r in range(header + 1, ws.max_row + 1):
        if ws.cell(r, cols["ActivityID"]).value == activity:
            return ws.cell(r, cols[field])
    raise AssertionError("no row for " + activity)


with tempfile.TemporaryDirectory() as tmp:
    work, db = exported_clin(batch, samples, tmp)
    r = run(["export", "clin.xlsx"], work)
    expect("the same table exported as .xlsx", r.returncode == 0, r.stdout + r.stderr)
    exported = table(db)
    ids = sorted({k[0] for k in exported})
    with_log = [i for i in ids if exported[(i, "Log#1")] and exported[(i, "Log#2")]]
    a, c, d, e, f = with_log[3], with_log[10], with_log[20], with_log[30], with_log[40]
    b, g = ids[5], ids[60]
    expect("the bulk column is empty at the export", all(exported[(i, BULK_LOG)] is None for i in ids))

    # Each case: a cell, its text in the table after the export (None: as
    # exported), its text in the workbook (None: as exported), and what the
    # update makes of it.
    cases = [
        ("edited in the workbook only", a, "Log#1", None, "Rebar delivered late — crane idle", "written"),
        ("description edited in the workbook only", b, "Description", None, "Renamed on site", "written"),
        ("log emptied in the workbook only", c, "Log#1", None, "", "written"),
        ("edited in Orvane only", d, "Log#1", "typed in the grid", None, "kept"),
        ("edited in both alike", e, "Log#2", "agreed text", "agreed text", "kept"),
        ("edited in both differently", f, "Log#1", "mine in Orvane", "theirs in the workbook", "conflict"),
        ("bulk copy here, edited there", g, BULK_LOG, None, "site note", "conflict"),
    ]
    cases = [cs for cs in cases if cs[4] is None or (exported[(cs[1], cs[2])] or "") != cs[4]]
    expect("every case edits a real cell", len(cases) == 7, repr(cases))

    # The workbook as LibreOffice saves it, edited with openpyxl, and the
    # edited .xlsx saved by LibreOffice as .xls again.
    xlsx = convert(os.path.join(work, "clin.xls"), "xlsx", os.path.join(tmp, "lo"))
    wb = openpyxl.load_workbook(xlsx)
    expect("LibreOffice keeps the record hidden behind the first sheet",
           wb.sheetnames[1:] == [RECORD] and wb[RECORD].sheet_state == "hidden"
           and wb.worksheets[0].sheet_state == "visible", repr(wb.sheetnames))
    for name, activity, field, _, in_workbook, _ in cases:
        if in_workbook is not None:
            cell_of(wb.worksheets[0], activity, field).value = in_workbook or None
    edited = os.path.join(tmp, "edited.xlsx")
    wb.save(edited)
    edited_xls = convert(edited, "xls", os.path.join(tmp, "edited-xls"), "MS Excel 97")
    # Orvane's own .xlsx, edited alike.
    own = openpyxl.load_workbook(os.path.join(work, "clin.xlsx"))
    expect("Orvane's .xlsx keeps the record hidden behind the first sheet",
           own.sheetnames[1:] == [RECORD] and own[RECORD].sheet_state == "hidden", repr(own.sheetnames))
    for name, activity, field, _, in_workbook, _ in cases:
        if in_workbook is not None:
            cell_of(own.worksheets[0], activity, field).value = in_workbook or None
    edited_own = os.path.join(tmp, "edited-own.xlsx")
    own.save(edited_own)

    # Orvane's edits: a bulk copy over every row, then single cells.
    r = run(["copy", "desc2log", BULK_LOG[4:]], work)
    expect("bulk copy", r.returncode == 0, r.stderr)
    for name, activity, field, in_table, _, _ in cases:
        if in_table is not None:
            set_cell(db, activity, field, in_table)
    restore = kept_copy(db, tmp)
    before = table(db)

    bulk_filled = sum(1 for i in ids if before[(i, BULK_LOG)])
    expect("the bulk copy filled the column", bulk_filled > 100, bulk_filled)

    # --- the unedited export: the table's edits since it all survive
    restore()
    for unedited in ("clin.xls", "clin.xlsx"):
        r = run(["update-from", unedited], work)
        expect("unedited %s after edits in Orvane: nothing changes" % unedited,
               r.returncode == 0 and "Activities that will change: 0" in r.stdout and table(db) == before
               and NOTICE not in r.stderr, r.stdout + r.stderr)

    # The export records a digest of each text, not the text: a conflict
    # line shows the two sides.
    conflict_lines = sorted("Conflict: %s %s: table \"%s\", workbook \"%s\""
                            % (act, field, before[(act, field)], wbk)
                            for _, act, field, _, wbk, outcome in cases if outcome == "conflict")
    for label, path in (("edited .xlsx", edited), ("edited, re-saved .xls", edited_xls),
                        ("Orvane's .xlsx, edited", edited_own)):
        restore()
        dry = run(["update-from", path, "--dry-run"], work)
        printed = sorted(line for line in dry.stdout.splitlines() if line.startswith("Conflict: "))
        expect("%s: --dry-run prints each conflict on its line and changes nothing" % label,
               dry.returncode == 0 and printed == conflict_lines and table(db) == before
               and "Cells edited both in the table and in the workbook, left as the table has them: 2"
               in dry.stdout, "\n%s\n%r" % (dry.stdout, conflict_lines))
        r = run(["update-from", path], work)
        after = table(db)
        printed = sorted(line for line in r.stdout.splitlines() if line.startswith("Conflict: "))
        expect("%s: the update prints the conflicts too" % label, printed == conflict_lines, r.stdout)
        for name, activity, field, in_table, in_workbook, outcome in cases:
            want = (in_workbook or None) if outcome == "written" else before[(activity, field)]
            expect("%s: %s" % (label, name), after[(activity, field)] == want,
                   "%r, want %r" % (after[(activity, field)], want))
        touched = {(cs[1], cs[2]) for cs in cases if cs[5] == "written"}
        others = {k: v for k, v in after.items() if k not in touched}
        expect("%s: no other cell changes (the bulk copy's %d logs survive)" % (label, bulk_filled),
               r.returncode == 0 and others == {k: v for k, v in before.items() if k not in touched})

    # --- without the record: an older export, a file made by hand
    wb = openpyxl.load_workbook(edited)
    del wb[RECORD]
    older = os.path.join(tmp, "older.xlsx")
    wb.save(older)
    hand = openpyxl.Workbook()
    hand.active.append(["ActivityID", "Log#1", BULK_LOG])
    hand.active.append([d, exported[(d, "Log#1")], None])
    hand.active.append([a, "from a hand-made file", None])
    handmade = os.path.join(tmp, "handmade.xlsx")
    hand.save(handmade)
    for label, path, reverted in (("older export", older, [(d, "Log#1"), (f, "Log#1"), (g, BULK_LOG)]),
                                  ("hand-made file", handmade, [(d, "Log#1")])):
        restore()
        r = run(["update-from", path], work)
        after = table(db)
        notices = [line for line in r.stderr.splitlines() if NOTICE in line]
        expect("%s: one notice line on stderr" % label, r.returncode == 0 and len(notices) == 1, r.stderr)
        expect("%s: no conflicts without a record" % label, "Conflict: " not in r.stdout, r.stdout)
        for activity, field in reverted:
            expect("%s: %s %s takes the workbook's text as before" % (label, activity, field),
                   after[(activity, field)] != before[(activity, field)], after[(activity, field)])

finish()
