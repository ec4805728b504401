#!/usr/bin/python3
"""Long logs through the workbook and back: CLIN imported from the simulated
P3 server, its logs made long (10,000 characters, 9,000 "é", exactly 8,186,
the cell limit, and a 5,000-character log on every one of its 305 rows),
exported, and read back by update-from as exported and as LibreOffice saves
the file again (which writes the texts that fit in 8 bits in that form).
Every text comes back whole, so nothing is taken for an edit."""

import os
import sqlite3
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from outcome import SIGN_IN, expect, finish, run_batch, sample_workspace  # noqa: E402

batch, samples = sys.argv[1], sys.argv[2]


def text(alphabet, length):
    return (alphabet * (length // len(alphabet) + 1))[:length]


with tempfile.TemporaryDirectory() as tmp:
    folder, work, db = sample_workspace(tmp, samples)
    run_batch(batch, ["makedb"], work)
    r = run_batch(batch, ["import", "--p3-path", folder, "--project", "CLIN"] + SIGN_IN, work,
                  {"P3SIM_PROJECTS": folder})
    expect("import CLIN", r.returncode == 0, r.stderr)
    with sqlite3.connect(db) as c:
        ids = [row[0] for row in c.execute("SELECT ActivityID FROM P3Data ORDER BY rowid")]
        expect("CLIN has 305 activities", len(ids) == 305, len(ids))
        long_logs = [
            (ids[0], "Log#1", text("0123456789abcdefghij", 10000)),
            (ids[1], "Log#3", "é" * 9000),
            (ids[2], "Log#4", text("xyz", 8186)),
            (ids[3], "Log#5", text("Ωé€ab", 32767)),
        ]
        for activity, column, value in long_logs:
            c.execute("UPDATE P3Data SET [%s] = ? WHERE ActivityID = ?" % column, (value, activity))
        c.execute("UPDATE P3Data SET [Log#2] = substr(replace(hex(zeroblob(2500)), '0', 'ab'), 1, 5000)"
                  " || ActivityID")
    r = run_batch(batch, ["export", "clin.xls"], work)
    expect("export", r.returncode == 0, r.stderr)
    xls = os.path.join(work, "clin.xls")

    lo_dir = os.path.join(tmp, "lo")
    os.mkdir(lo_dir)
    profile = "file://" + os.path.join(lo_dir, "lo-profile")
    subprocess.run(["soffice", "-env:UserInstallation=" + profile, "--headless", "--convert-to",
                    "xls:MS Excel 97", "--outdir", lo_dir, xls], capture_output=True, check=True, timeout=300)
    resaved = os.path.join(lo_dir, "clin.xls")

    for name, path in (("as exported", xls), ("re-saved by LibreOffice", resaved)):
        r = run_batch(batch, ["update-from", path, "--dry-run"], work)
        expect("%s: every long log reads back whole, nothing to change" % name,
               r.returncode == 0 and "Activities that will change: 0" in r.stdout, r.stdout + r.stderr)
finish()
