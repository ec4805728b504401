"""orvane-batch makedb: the exact 148-column layout, and no overwriting."""
import hashlib
import os
import sqlite3
import subprocess
import sys
import tempfile

batch = sys.argv[1]
expected = (["ActivityID", "Description", "OriginalDuration", "RemainingDuration", "TotalFloat",
             "FreeFloat", "PercentComplete", "EarlyStart", "LateStart", "EarlyFinish", "LateFinish",
             "ActualStart", "ActualFinish", "ActualDuration", "SuspendDate", "ResumeDate",
             "ActivityType", "EarlyConstraintType", "EarlyConstraintDate", "LateConstraintType",
             "LateConstraintDate", "MandatoryConstraintType", "MandatoryConstraintDate",
             "ExpectedFinishDate", "WBSCodeWithSeparators", "FloatConstraintType", "WBSCode",
             "CalendarID"]
            + ["ActivityCode%d" % k for k in range(1, 21)]
            + ["Log#%d" % n for n in range(1, 100)]
            + ["Flag"])

with tempfile.TemporaryDirectory() as work:
    # Default name in the current directory.
    done = subprocess.run([batch, "makedb"], cwd=work, capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    path = os.path.join(work, "pdb.mdb")
    db = sqlite3.connect(path)
    columns = [row[1] for row in db.execute("PRAGMA table_info(P3Data)")]
    assert columns == expected, columns
    assert db.execute("SELECT count(*) FROM P3Data").fetchone()[0] == 0
    db.execute("INSERT INTO P3Data (ActivityID, [Log#1]) VALUES ('A1', 'kept')")
    db.commit()
    db.close()

    before = hashlib.sha256(open(path, "rb").read()).hexdigest()
    again = subprocess.run([batch, "makedb"], cwd=work, capture_output=True, text=True)
    assert again.returncode == 1, again.returncode
    assert "already exists" in again.stderr, again.stderr
    assert hashlib.sha256(open(path, "rb").read()).hexdigest() == before

    # An explicit file name, and a usage error.
    other = subprocess.run([batch, "makedb", "other.mdb"], cwd=work, capture_output=True, text=True)
    assert other.returncode == 0 and os.path.exists(os.path.join(work, "other.mdb"))
    usage = subprocess.run([batch, "makedb", "a", "b"], cwd=work, capture_output=True, text=True)
    assert usage.returncode == 2, usage.returncode
print("ok")
