#!/usr/bin/python3
"""Two programs at once on one pdb.mdb: `update-from` beside a `copy` that
sets the very column the workbook edits, with an `export` reading beside
both, many rounds with their starts shifted against each other.

Each round must end as if the two writers had run one after the other:
both succeed, the copy's changes are all there except where the update
wrote after it, and the edited rows hold either all the workbook's texts
(update last) or all the copy's (copy last), never a mix and never the
table as it was before. The reader never fails ("database is locked").

usage: update_race_test.py ORVANE_BATCH SAMPLES_DIR"""

import os
import shutil
import sqlite3
import subprocess
import sys
import tempfile
import time

import openpyxl

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from outcome import SIGN_IN, expect, finish, run_batch  # noqa: E402

batch, samples = os.path.abspath(sys.argv[1]), sys.argv[2]
ACTIVITIES = 20000
ROUNDS = 16
EDITED = 6


def start(args, cwd):
    env = {k: v for k, v in os.environ.items() if not k.startswith("P3SIM_")}
    return subprocess.Popen([batch] + args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                            env=env, cwd=cwd)


def logs(db):
    """ActivityID -> (Log#1, Log#2) of every row."""
    with sqlite3.connect("file:%s?mode=ro" % db, uri=True) as c:
        return {row[0]: (row[1], row[2]) for row in c.execute("SELECT ActivityID, [Log#1], [Log#2] FROM P3Data")}


with tempfile.TemporaryDirectory() as tmp:
    folder = os.path.join(tmp, "projects")
    os.mkdir(folder)
    shutil.copy(os.path.join(samples, "projects", "p3users.json"), folder)
    subprocess.run(["/usr/bin/python3", os.path.join(samples, "generate_large_project.py"), folder,
                    "--group", "RACE", "--activities", str(ACTIVITIES), "--max-logs", "3"],
                   check=True, capture_output=True)
    work = os.path.join(tmp, "work")
    os.mkdir(work)
    db = os.path.join(work, "pdb.mdb")
    run_batch(batch, ["makedb"], work)
    imported = run_batch(batch, ["import", "--p3-path", folder, "--project", "RACE"] + SIGN_IN, work,
                         {"P3SIM_PROJECTS": folder})
    expect("import", imported.returncode == 0, imported.stderr)
    with sqlite3.connect(db) as c:
        c.execute("PRAGMA wal_checkpoint(TRUNCATE)")
    pristine = os.path.join(tmp, "pristine.mdb")
    shutil.copy(db, pristine)
    before = logs(db)

    # The workbook: Log#2 edited on a few rows spread over the table; its
    # other rows and columns are not there, so only these cells can change.
    ids = sorted(before)
    edited = {ids[k * (len(ids) - 1) // (EDITED - 1)]: "edited in the workbook %d" % k for k in range(EDITED)}
    book = openpyxl.Workbook()
    sheet = book.active
    sheet.append(["ActivityID", "Log#2"])
    for activity, text in edited.items():
        sheet.append([activity, text])
    workbook = os.path.join(tmp, "edited.xlsx")
    book.save(workbook)

    orders = {}
    for round_ in range(ROUNDS):
        for suffix in ("", "-wal", "-shm"):
            if os.path.exists(db + suffix):
                os.remove(db + suffix)
        shutil.copy(pristine, db)
        # Shifts the copy's start over the update's reading and writing.
        delay = 0.02 * (round_ % 8)
        update = start(["update-from", workbook], work)
        time.sleep(delay)
        copy = start(["copy", "log2log", "1", "2"], work)
        reader = start(["export", os.path.join(tmp, "read%d.xls" % round_)], work)
        results = {name: (p.wait(timeout=300), p.stdout.read(), p.stderr.read())
                   for name, p in (("update", update), ("copy", copy), ("export", reader))}
        for name, (code, out, err) in results.items():
            expect("round %d: %s succeeds" % (round_, name), code == 0, "exit %d %r" % (code, err))
        expect("round %d: the copy changed every row" % round_,
               "%d rows changed" % ACTIVITIES in results["copy"][1], results["copy"][1])

        after = logs(db)
        lost = [a for a in after if a not in edited and after[a][1] != after[a][0]]
        expect("round %d: no change of the copy lost" % round_, not lost, lost[:5])
        expect("round %d: Log#1 untouched" % round_, all(after[a][0] == before[a][0] for a in after))
        if all(after[a][1] == text for a, text in edited.items()):
            order = "copy, then update"
        elif all(after[a][1] == after[a][0] for a in edited):
            order = "update, then copy"
        else:
            order = None
        expect("round %d: the edited rows show one order" % round_, order is not None,
               {a: after[a][1] for a in edited})
        orders[order] = orders.get(order, 0) + 1
        with sqlite3.connect(db) as c:
            expect("round %d: integrity" % round_, c.execute("PRAGMA integrity_check").fetchone()[0] == "ok")
    print("orders seen: %r" % orders)

finish()
