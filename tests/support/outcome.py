"""The checks of the Python test scripts: each check prints one line, "ok" or
"FAIL" with what was seen, and finish() ends the script with status 1 when
any check failed."""

import os
import shutil
import sqlite3
import subprocess
import sys

counts = {"passed": 0, "failed": 0}


def expect(name, condition, detail=""):
    if condition:
        counts["passed"] += 1
        print("ok   %s" % name)
    else:
        counts["failed"] += 1
        print("FAIL %s %s" % (name, detail))


def finish():
    print("%d passed, %d failed" % (counts["passed"], counts["failed"]))
    sys.exit(1 if counts["failed"] else 0)


SIGN_IN = ["--user", "planner", "--password", "schedule"]


def run_batch(batch, args, cwd, env_extra=None):
    """Runs orvane-batch in cwd; the simulated server sees only env_extra's
    P3SIM_ settings, never the caller's."""
    env = {k: v for k, v in os.environ.items() if not k.startswith("P3SIM_")}
    env.update(env_extra or {})
    return subprocess.run([batch] + args, capture_output=True, text=True, env=env, cwd=cwd)


def sample_workspace(tmp, samples):
    """A copy of the sample P3 projects and an empty work folder under tmp:
    returns the projects folder, the work folder and the work folder's
    pdb.mdb (not made yet)."""
    folder = os.path.join(tmp, "projects")
    shutil.copytree(os.path.join(samples, "projects"), folder)
    work = os.path.join(tmp, "work")
    os.mkdir(work)
    return folder, work, os.path.join(work, "pdb.mdb")


def sql_rows(db, *statements):
    """Runs statements on pdb.mdb through a connection of its own, committed
    and closed at once, and returns the rows of the last. (A connection left
    open loses its locks when this process closes any other handle of the
    file, and Orvane could then take it for closed.)"""
    c = sqlite3.connect(db)
    try:
        with c:
            results = [c.execute(s).fetchall() for s in statements]
    finally:
        c.close()
    return results[-1]
