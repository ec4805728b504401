#!/usr/bin/python3
"""Workbooks of orvane-batch export read by every independent reader.

usage: readers_test.py ORVANE_BATCH SAMPLES_DIR
The CLIN sample project imported from the simulated P3 server and exported,
and a table of 7,000 activities whose workbook needs DIFAT sectors: Apache
POI and xlrd (without a warning) agree cell for cell and see the two header
rows frozen and the filter over the caption row; LibreOffice keeps the
AutoFilter and the frozen pane when it saves the file as .xlsx; Gnumeric,
where installed, reads the same texts as xlrd.
"""
import csv
import os
import shutil
import sqlite3
import struct
import subprocess
import sys
import tempfile

import xlrd

batch, samples = sys.argv[1], sys.argv[2]
HERE = os.path.dirname(os.path.abspath(__file__))
failed = 0


def expect(name, condition, detail=""):
    global failed
    print(("ok   %s" if condition else "FAIL %s " + str(detail)) % name)
    failed += 0 if condition else 1


def run(args, cwd, env=None):
    full = {k: v for k, v in os.environ.items() if not k.startswith("P3SIM_")}
    full.update(env or {})
    return subprocess.run(args, cwd=cwd, capture_output=True, text=True, env=full)


def check_script(name, script, *args):
    done = subprocess.run(["/usr/bin/python3", os.path.join(HERE, script)] + list(args), capture_output=True,
                          text=True)
    expect(name, done.returncode == 0, done.stdout[-2000:] + done.stderr[-2000:])


def gnumeric_matches_xlrd(path, work):
    out = os.path.join(work, "gnumeric.csv")
    done = subprocess.run(["ssconvert", "--export-type=Gnumeric_stf:stf_csv", path, out], capture_output=True,
                          text=True)
    if done.returncode != 0:
        return "ssconvert: " + done.stderr[-500:]
    with open(out, encoding="utf-8", newline="") as f:
        got = list(csv.reader(f))
    sh = xlrd.open_workbook(path).sheet_by_index(0)
    want = [[str(v) for v in sh.row_values(r)] for r in range(sh.nrows)]
    got = [row + [""] * (sh.ncols - len(row)) for row in got]
    if got != want:
        bad = next(r for r in range(min(len(got), len(want))) if got[r] != want[r]) if len(got) == len(want) else -1
        return "%d rows, xlrd %d; first difference in row %d" % (len(got), len(want), bad)
    return ""


with tempfile.TemporaryDirectory() as tmp:
    folder = os.path.join(tmp, "projects")
    shutil.copytree(os.path.join(samples, "projects"), folder)

    # The CLIN sample project as P3 serves it.
    clin = os.path.join(tmp, "clin")
    os.mkdir(clin)
    expect("makedb", run([batch, "makedb"], clin).returncode == 0)
    done = run([batch, "import", "--p3-path", folder, "--project", "CLIN", "--user", "PLANNER", "--password",
                "SCHEDULE"], clin, {"P3SIM_PROJECTS": folder})
    expect("import CLIN", done.returncode == 0, done.stderr)
    done = run([batch, "export", "CLIN.xls"], clin)
    expect("export CLIN", done.returncode == 0 and "Exported 305 rows" in done.stdout, done.stdout + done.stderr)
    clin_xls = os.path.join(clin, "CLIN.xls")
    expect("CLIN: the file ends with a whole sector", os.path.getsize(clin_xls) % 512 == 0,
           os.path.getsize(clin_xls))
    # 108 columns (A to DD), the caption row 2 and 305 records below it.
    check_script("CLIN: POI and xlrd", "poi_read.py", "--frozen", "2", "--filter", "$A$2:$DD$307", clin_xls)
    check_script("CLIN: LibreOffice keeps filter and frozen rows", "lo_xlsx.py", clin_xls, os.path.join(tmp, "lo"),
                 "--filter", "A2:DD307", "--frozen", "2")
    if shutil.which("ssconvert"):
        problem = gnumeric_matches_xlrd(clin_xls, tmp)
        expect("CLIN: Gnumeric reads what xlrd reads", not problem, problem)
    else:
        print("skip Gnumeric: ssconvert is not installed")

    # 7,000 activities: a Workbook stream beyond what 109 FAT sectors cover.
    big = os.path.join(tmp, "big")
    os.mkdir(big)
    expect("makedb (big)", run([batch, "makedb"], big).returncode == 0)
    with sqlite3.connect(os.path.join(big, "pdb.mdb")) as db:
        db.executemany("INSERT INTO P3Data (ActivityID, Description, EarlyFinish, [Log#1], [Log#50], [Log#99], Flag) "
                       "VALUES (?, ?, ?, ?, ?, ?, 0)",
                       [("B%05d" % i, "Activity %d – Übergabe" % i, "2004-%02d-%02dT00:00:00" % (i % 12 + 1, i % 28 + 1),
                         "log one of %d" % i, "x" * (i % 300), "last line %d" % i if i % 3 else None)
                        for i in range(7000)])
    done = run([batch, "export", "Big.xls"], big)
    expect("export 7,000 rows", done.returncode == 0 and "Exported 7000 rows" in done.stdout,
           done.stdout + done.stderr)
    big_xls = os.path.join(big, "Big.xls")
    with open(big_xls, "rb") as f:
        header = f.read(512)
    difat_sectors = struct.unpack_from("<I", header, 72)[0]
    expect("Big: the file has DIFAT sectors", difat_sectors > 0, difat_sectors)
    expect("Big: the file ends with a whole sector", os.path.getsize(big_xls) % 512 == 0, os.path.getsize(big_xls))
    check_script("Big: POI and xlrd", "poi_read.py", "--frozen", "2", "--filter", "$A$2:$DD$7002", big_xls)

print("%d failed" % failed)
sys.exit(1 if failed else 0)
