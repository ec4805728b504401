#!/usr/bin/python3
"""Two planners in the sample project TWNT, from orvane-batch: a colleague
changes logs in P3 after the import while the user edits the table. status
lists the user's edits, save --dry-run says what a save would do and changes
nothing, save writes the user's edits, keeps the colleague's and names the
text changed on both sides (exit 3), import refuses to drop unsaved changes
unless told to, and --overwrite-conflicts lets the user's text win."""

import hashlib
import json
import os
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from outcome import SIGN_IN, expect, finish, run_batch, sql_rows as sql, sample_workspace  # noqa: E402

batch, samples = sys.argv[1], sys.argv[2]


def p3_logs(folder, activity):
    with open(os.path.join(folder, "TWNT.activities.jsonl"), encoding="utf-8") as f:
        for line in f:
            a = json.loads(line)
            if a["ActivityID"] == activity:
                return {n: text for n, text in a["logs"]}
    return None


def colleague_sets(folder, activity, number, text):
    path = os.path.join(folder, "TWNT.activities.jsonl")
    with open(path, encoding="utf-8") as f:
        lines = [json.loads(line) for line in f if line.strip()]
    for a in lines:
        if a["ActivityID"] == activity:
            a["logs"] = [log for log in a["logs"] if log[0] != number] + [[number, text]]
    with open(path, "w", encoding="utf-8") as f:
        f.write("".join(json.dumps(a) + "\n" for a in lines))


def digest(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def local(db, activity, column):
    return sql(db, "SELECT [%s] FROM P3Data WHERE ActivityID = '%s'" % (column, activity))[0][0]


def table_dump(db):
    return [sql(db, "SELECT * FROM %s ORDER BY rowid" % t) for t in ("P3Data", "ImportBase", "P3DataImport")]


with tempfile.TemporaryDirectory() as tmp:
    folder, work, db = sample_workspace(tmp, samples)
    server = {"P3SIM_PROJECTS": folder}
    p3 = ["--p3-path", folder, "--project", "TWNT"] + SIGN_IN

    def run(args, env=server):
        return run_batch(batch, args, work, env)

    run(["makedb"])
    r = run(["import"] + p3)
    expect("import TWNT", r.returncode == 0, r.stderr)
    r = run(["status"])
    expect("status after the import lists nothing", r.returncode == 0 and r.stdout == "", repr(r.stdout))

    old_t020 = p3_logs(folder, "T020")[1]
    old_t030 = p3_logs(folder, "T030")[3]
    colleague_sets(folder, "T020", 1, "Colleague: delivery moved to week 48")
    colleague_sets(folder, "T030", 3, "Colleague: submittal rejected")
    sql(db, "UPDATE P3Data SET [Log#2] = 'Mine: crane booked' || char(10) || 'for Monday' WHERE ActivityID = 'T050'",
        "UPDATE P3Data SET [Log#3] = 'Mine: submittal approved' WHERE ActivityID = 'T030'")

    r = run(["status"])
    expect("status lists the two edits, texts escaped",
           r.stdout.splitlines() == ["T030\tLog#3\t%s\tMine: submittal approved" % old_t030,
                                     "T050\tLog#2\t\tMine: crane booked\\nfor Monday"], repr(r.stdout))

    before_p3 = digest(os.path.join(folder, "TWNT.activities.jsonl"))
    before_db = table_dump(db)
    r = run(["save", "--dry-run"] + p3)
    expect("dry run: write, take and conflict lines, exit 3",
           r.returncode == 3 and r.stdout.splitlines() == [
               "write\tT050\tLog#2\tMine: crane booked\\nfor Monday\t",
               "take\tT020\tLog#1\t%s\tColleague: delivery moved to week 48" % old_t020,
               "conflict\tT030\tLog#3\tMine: submittal approved\tColleague: submittal rejected"], repr(r.stdout))
    expect("dry run changes neither P3 nor pdb.mdb",
           digest(os.path.join(folder, "TWNT.activities.jsonl")) == before_p3 and table_dump(db) == before_db)

    r = run(["save"] + p3)
    expect("save names the conflict and exits 3",
           r.returncode == 3 and r.stdout.splitlines() == [
               "Save 8 Activities",
               "T030 Log#3 was changed in P3 since the import; your text was not written."], repr(r.stdout))
    expect("the colleague's T020 note stays in P3", p3_logs(folder, "T020")[1] == "Colleague: delivery moved to week 48")
    expect("the colleague's T030 note stays in P3", p3_logs(folder, "T030")[3] == "Colleague: submittal rejected")
    expect("the user's T050 note reached P3", p3_logs(folder, "T050")[2] == "Mine: crane booked\nfor Monday")
    expect("the table shows the colleague's T020 note",
           local(db, "T020", "Log#1") == "Colleague: delivery moved to week 48")
    expect("the table keeps the user's T030 text", local(db, "T030", "Log#3") == "Mine: submittal approved")
    r = run(["status"])
    expect("only the conflict is still unsaved", r.stdout.splitlines() == [
        "T030\tLog#3\t%s\tMine: submittal approved" % old_t030], repr(r.stdout))

    r = run(["import"] + p3)
    expect("import refuses to drop the unsaved change",
           r.returncode == 1 and "1 activity has changes that were not saved to P3" in r.stderr
           and local(db, "T030", "Log#3") == "Mine: submittal approved", r.stderr)

    r = run(["save", "--overwrite-conflicts"] + p3)
    expect("--overwrite-conflicts writes the user's text", r.returncode == 0
           and p3_logs(folder, "T030")[3] == "Mine: submittal approved", r.stdout + r.stderr)
    r = run(["status"])
    expect("nothing unsaved after that", r.stdout == "", repr(r.stdout))

    sql(db, "UPDATE P3Data SET [Log#9] = 'dropped' WHERE ActivityID = 'T010'")
    r = run(["import", "--discard-changes"] + p3)
    expect("import --discard-changes drops them", r.returncode == 0 and local(db, "T010", "Log#9") is None, r.stderr)

    # A table filled before the base was kept is saved as before, after a notice.
    sql(db, "DROP TABLE ImportBase", "UPDATE P3Data SET [Log#9] = 'old table' WHERE ActivityID = 'T010'")
    r = run(["save"] + p3)
    expect("no base: a one-line notice, then saved", r.returncode == 0
           and "cannot tell your edits from changes made in P3" in r.stderr
           and p3_logs(folder, "T010")[9] == "old table", r.stderr)
    r = run(["status"])
    expect("status without a base says so", r.returncode == 1 and "no record of what was imported" in r.stderr)

finish()
