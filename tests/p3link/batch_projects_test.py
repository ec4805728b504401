#!/usr/bin/python3
"""orvane-batch projects against the sample folder of the simulated P3 server:
sign-in answered from the command line, the listing, and the errors."""

import os
import shutil
import subprocess
import sys
import tempfile

batch, samples = sys.argv[1], sys.argv[2]
failures = 0


def check(name, args, code, out_lines=None, err=None, env_extra=None):
    global failures
    env = dict(os.environ)
    for k in list(env):
        if k.startswith("P3SIM_"):
            del env[k]
    env.update(env_extra or {})
    r = subprocess.run([batch, "projects"] + args, capture_output=True, text=True, env=env)
    ok = r.returncode == code
    if out_lines is not None:
        ok = ok and r.stdout.splitlines() == out_lines
    if err is not None:
        ok = ok and err in r.stderr
    if not ok:
        failures += 1
        print("FAIL %s: exit %d\nstdout: %r\nstderr: %r" % (name, r.returncode, r.stdout, r.stderr))
    else:
        print("ok   %s" % name)


with tempfile.TemporaryDirectory() as tmp:
    folder = os.path.join(tmp, "projects")
    shutil.copytree(os.path.join(samples, "projects"), folder)
    listing = [
        "CAMP\t\tNorth Campus",
        "CAMP\tLIBR\tNorth Campus - Library",
        "CAMP\tSPRT\tNorth Campus - Sports hall",
        "CLIN\t\tRiverside Clinic",
        "DEPO\t\tBus Depot Canopy",
        "TWNT\t\tTwin Towers Fit-out",
    ]
    # The users list is the one of the server's projects folder.
    server = {"P3SIM_PROJECTS": folder}
    check("lower-case entries are upper-cased", ["--user", "planner", "--password", "schedule"],
          0, listing, env_extra=server)
    check("folder given, no users list in the server's folder", ["--folder", folder], 0, listing,
          env_extra={"P3SIM_PROJECTS": tmp})
    check("cancel leaves the session without a user", [], 1,
          err="No user is signed in to P3. Log in before listing or opening projects.", env_extra=server)
    check("wrong password", ["--folder", folder, "--user", "PLANNER", "--password", "X"], 1,
          err="Invalid user name or password.", env_extra=server)
    check("user already signed in", [], 0, listing, env_extra=dict(server, P3SIM_CURRENT_USER="PLANNER"))
    check("P3 unreachable", [], 1, err="P3 cannot be reached: Invalid class string",
          env_extra=dict(server, P3SIM_UNAVAILABLE="1"))
    check("logout failure is reported", ["--user", "PLANNER", "--password", "SCHEDULE"], 1,
          err="Server busy", env_extra=dict(server, P3SIM_FAULTS="logout-fails:Server busy"))
    check("usage error", ["--folder"], 2)

print("%d passed, %d failed" % (8 - failures, failures))
sys.exit(1 if failures else 0)
