#!/usr/bin/python3
"""orvane-batch projects, import and save against a copy of the sample
projects on the simulated P3 server: sign-in answered from the command line,
the listing, an import, an edit, a save and a second import that shows the
edit, the missing-activity list and its exit status, and the errors."""

import os
import sqlite3
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from outcome import SIGN_IN, expect, finish, run_batch, sample_workspace  # noqa: E402

batch, samples = sys.argv[1], sys.argv[2]
CREDS = SIGN_IN


def run(args, cwd, env_extra=None):
    return run_batch(batch, args, cwd, env_extra)


def check(name, result, code, out_lines=None, err=None):
    ok = result.returncode == code
    if out_lines is not None:
        ok = ok and result.stdout.splitlines() == out_lines
    if err is not None:
        ok = ok and err in result.stderr
    expect(name, ok, ": exit %d\nstdout: %r\nstderr: %r" % (result.returncode, result.stdout, result.stderr))


def rows(db, sql):
    with sqlite3.connect(db) as c:
        return c.execute(sql).fetchall()


with tempfile.TemporaryDirectory() as tmp:
    folder, work, db = sample_workspace(tmp, samples)
    server = {"P3SIM_PROJECTS": folder}
    listing = [
        "CAMP\t\tNorth Campus",
        "CAMP\tLIBR\tNorth Campus - Library",
        "CAMP\tSPRT\tNorth Campus - Sports hall",
        "CLIN\t\tRiverside Clinic",
        "DEPO\t\tBus Depot Canopy",
        "TWNT\t\tTwin Towers Fit-out",
    ]
    p3 = ["--p3-path", folder]

    # --- projects
    check("projects: lower-case entries are upper-cased", run(["projects"] + p3 + CREDS, work, server), 0, listing)
    check("projects: cancel leaves the session without a user", run(["projects"] + p3, work, server), 1,
          err="No user is signed in to P3. Log in before listing or opening projects.")
    check("projects: wrong password", run(["projects"] + p3 + ["--user", "PLANNER", "--password", "X"], work, server),
          1, err="Invalid user name or password.")
    check("projects: user already signed in", run(["projects"] + p3, work, dict(server, P3SIM_CURRENT_USER="PLANNER")),
          0, listing)
    check("projects: folder without a project file lists nothing", run(["projects", "--p3-path", work] + CREDS, work,
                                                                       server), 0, [])
    check("projects: logout failure is reported", run(["projects"] + p3 + CREDS, work,
                                                      dict(server, P3SIM_FAULTS="logout-fails:Server busy")),
          1, err="Server busy")
    check("projects: usage error", run(["projects"], work, server), 2)

    # --- import, edit, save, import again
    check("import without a database", run(["import"] + p3 + ["--project", "CLIN"] + CREDS, work, server), 1)
    check("makedb", run(["makedb"], work), 0)
    check("import CLIN", run(["import"] + p3 + ["--project", "CLIN"] + CREDS, work, server), 0,
          ["Get 305 Activities"])
    expect("305 rows, none flagged", rows(db, "SELECT COUNT(*), SUM(Flag) FROM P3Data") == [(305, 0)])
    with sqlite3.connect(db) as c:
        c.execute("UPDATE P3Data SET [Log#1] = 'edited by script', [Log#3] = NULL, [Log#7] = 'seventh' "
                  "WHERE ActivityID = 'A1000'")
    check("save CLIN", run(["save"] + p3 + ["--project", "CLIN"] + CREDS, work, server), 0, ["Save 305 Activities"])
    with sqlite3.connect(db) as c:
        c.execute("DELETE FROM P3Data")
    check("import CLIN again", run(["import"] + p3 + ["--project", "CLIN"] + CREDS, work, server), 0,
          ["Get 305 Activities"])
    got = rows(db, "SELECT [Log#1], [Log#3], [Log#7] FROM P3Data WHERE ActivityID = 'A1000'")
    expect("the edit came back", got == [("edited by script", None, "seventh")], repr(got))

    # --- a filter, a subproject, a missing list
    check("import with filter EL", run(["import"] + p3 + ["--project", "CLIN", "--filter", "EL"] + CREDS, work,
                                       server), 0)
    n = rows(db, "SELECT COUNT(*) FROM P3Data")[0][0]
    expect("the filter leaves fewer rows", 0 < n < 305, repr(n))
    check("unknown filter", run(["import"] + p3 + ["--project", "CLIN", "--filter", "QQ"] + CREDS, work, server), 1,
          err="Filter QQ is not in the project's filter list.")
    check("import a subproject", run(["import"] + p3 + ["--project", "CAMP/LIBR"] + CREDS, work, server), 0)
    libr = [r[0] for r in rows(db, "SELECT ActivityID FROM P3Data ORDER BY rowid")]
    r = run(["save"] + p3 + ["--project", "CAMP"] + CREDS, work, server)
    out = r.stdout.splitlines()
    expect("save into the whole group lists the other subproject's activities, exit 3",
           r.returncode == 3 and out[0] == "Save %d Activities" % len(libr) and len(out) > 1
           and all(line.endswith(" is not found in local table.") for line in out[1:]), repr(r.stdout[:300]))
    check("unknown project", run(["import"] + p3 + ["--project", "NOPE"] + CREDS, work, server), 1,
          err="Loading project failed!")
    check("save into an unknown project", run(["save"] + p3 + ["--project", "NOPE"] + CREDS, work, server), 1,
          err="Can't open project NOPE Save failed!")
    check("save, P3 returns no project", run(["save"] + p3 + ["--project", "CLIN"] + CREDS, work,
                                             dict(server, P3SIM_FAULTS="open-empty")), 1,
          err="Can't open project! Save failed!")
    check("import, usage error", run(["import"] + p3, work, server), 2)

finish()
