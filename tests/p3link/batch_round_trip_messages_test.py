#!/usr/bin/python3
"""What import and save report when P3 misbehaves at their edges, from
orvane-batch: a sign-out that fails after the work is done is a warning
beside success; an import that receives none of the activities P3 announced
keeps the previous table; P3's own reason follows "Loading project failed!";
a log beginning with U+FEFF travels unchanged; IDs repeated in P3 and an
activity without an ID are named as such."""

import json
import os
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from outcome import SIGN_IN, expect, finish, run_batch, sql_rows as rows, sample_workspace  # noqa: E402

batch, samples = sys.argv[1], sys.argv[2]


def write_project(folder, group, activities):
    with open(os.path.join(folder, group + "dir.p3"), "w", encoding="utf-8") as f:
        json.dump({"format": "p3sim-project", "version": 1, "title": group, "activityCodes": [], "filters": [],
                   "activities": group + ".activities.jsonl"}, f)
    with open(os.path.join(folder, group + ".activities.jsonl"), "w", encoding="utf-8") as f:
        for a in activities:
            f.write(json.dumps(a, ensure_ascii=False) + "\n")


def p3_activities(folder, group):
    with open(os.path.join(folder, group + ".activities.jsonl"), encoding="utf-8") as f:
        return [json.loads(line) for line in f if line.strip()]


with tempfile.TemporaryDirectory() as tmp:
    folder, work, db = sample_workspace(tmp, samples)
    server = {"P3SIM_PROJECTS": folder}

    def run(args, faults=None):
        env = dict(server)
        if faults:
            env["P3SIM_FAULTS"] = faults
        return run_batch(batch, args, work, env)

    def p3(project):
        return ["--p3-path", folder, "--project", project] + SIGN_IN

    run(["makedb"])
    r = run(["import"] + p3("TWNT"))
    expect("import TWNT", r.returncode == 0, r.stderr)

    # A sign-out failing after the committed import: success with a warning.
    r = run(["import"] + p3("CLIN"), "logout-fails:nope")
    expect("import, logout fails: exit 0 and the warning",
           r.returncode == 0 and "The import is complete, but signing out of P3 failed: nope." in r.stderr
           and rows(db, "SELECT count(*) FROM P3Data") == [(305,)], repr((r.returncode, r.stderr)))
    rows(db, "UPDATE P3Data SET [Log#2] = 'saved anyway' WHERE ActivityID = 'A1000'")
    r = run(["save"] + p3("CLIN"), "fail:Session.Logout:1:nope")
    expect("save, logout fails: exit 0 and the warning",
           r.returncode == 0 and "The save is complete, but signing out of P3 failed: nope." in r.stderr,
           repr((r.returncode, r.stdout, r.stderr)))

    # A cursor that yields none of the 8 announced: the previous table stays.
    before = rows(db, "SELECT count(*) FROM P3Data")
    r = run(["import"] + p3("TWNT"), "short-cursor:8")
    expect("empty cursor keeps the previous table, exit 1",
           r.returncode == 1 and "P3 announced 8 activities but delivered none" in r.stderr
           and rows(db, "SELECT count(*) FROM P3Data") == before, repr((r.returncode, r.stderr)))

    # P3's reason follows the import's own message.
    r = run(["import"] + p3("NOPE"))
    lines = r.stderr.strip().splitlines()
    expect("open failure gives P3's reason on the next line",
           r.returncode == 1 and lines[0] == "Loading project failed!" and len(lines) == 2 and lines[1],
           repr(r.stderr))

    # A leading byte order mark is part of the text, both ways.
    bom = "\ufeffStarts with a byte order mark"
    write_project(folder, "BOMS", [
        {"ActivityID": "B1", "Description": "\ufeffdescription", "logs": [[1, bom]]},
        {"ActivityID": "B2", "Description": "plain", "logs": [[1, "old"]]},
    ])
    r = run(["import"] + p3("BOMS"))
    got = rows(db, "SELECT Description, [Log#1] FROM P3Data WHERE ActivityID = 'B1'")
    expect("import keeps U+FEFF", got == [("\ufeffdescription", bom)], repr(got))
    rows(db, "UPDATE P3Data SET [Log#2] = '\ufeffnew' WHERE ActivityID = 'B1'",
         "UPDATE P3Data SET [Log#1] = 'edited' WHERE ActivityID = 'B2'")
    r = run(["save"] + p3("BOMS"))
    b1 = [a for a in p3_activities(folder, "BOMS") if a["ActivityID"] == "B1"][0]
    expect("save keeps U+FEFF", r.returncode == 0 and dict(b1["logs"]) == {1: bom, 2: "\ufeffnew"}
           and b1["Description"] == "\ufeffdescription", repr((r.stdout, r.stderr, b1)))
    r = run(["status"])
    expect("nothing unsaved after it", r.stdout == "", repr(r.stdout))

    # IDs repeated in P3, and an activity without an ID.
    write_project(folder, "IDS", [
        {"ActivityID": "TW", "Description": "twin one", "logs": []},
        {"ActivityID": "TW", "Description": "twin two", "logs": []},
        {"ActivityID": "K1", "Description": "kept", "logs": []},
    ])
    run(["import", "--discard-changes"] + p3("IDS"))
    write_project(folder, "IDS", p3_activities(folder, "IDS") + [{"ActivityID": "", "Description": "no id",
                                                                   "logs": []}])
    r = run(["save"] + p3("IDS"))
    out = r.stdout.splitlines()
    expect("twins are named as IDs repeated in P3; the activity without an ID as such",
           r.returncode == 3 and out[1:] == [
               "TW is the ID of more than one activity in P3; the activity was left unchanged.",
               "TW is the ID of more than one activity in P3; the activity was left unchanged.",
               "The activity without an ID (number 4 in P3's order) is not found in local table."],
           repr(r.stdout))

finish()
