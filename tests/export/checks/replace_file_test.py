#!/usr/bin/python3
"""Files Orvane writes over are replaced only when complete, and a full disk
says so.

usage: replace_file_test.py ORVANE_BATCH

A 30,000-row table is exported over an older workbook of the same name:
- killed (SIGKILL) at moments spread over the export, the file there is
  every time either the old workbook byte for byte or the new one whole;
- with writes failing past a file size (the limit stands for a disk without
  room), the old workbook stays and the command says which file;
- on a small file system that the new workbook does not fit (mounted where
  the test may mount, as root), "The disk is full" names the file and the
  old workbook stays; on the same file system made read-only, the export
  cannot start and the old workbook stays;
- pdb.mdb on a file system that fills up during a bulk copy: the command
  says the disk is full and names pdb.mdb, and the table is as before.
"""
import hashlib
import os
import resource
import shutil
import signal
import sqlite3
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "support"))
from outcome import expect, finish  # noqa: E402

batch = sys.argv[1]
ROWS = 30000


def digest(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def run(args, cwd, limit=None):
    def limited():
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))
    return subprocess.run([batch] + args, cwd=cwd, capture_output=True, text=True,
                          preexec_fn=limited if limit else None)


def table(db):
    c = sqlite3.connect(db)
    try:
        return c.execute("SELECT * FROM P3Data ORDER BY rowid").fetchall()
    finally:
        c.close()


def sql(db, statement, rows=None):
    c = sqlite3.connect(db)
    try:
        with c:
            c.executemany(statement, rows) if rows is not None else c.execute(statement)
    finally:
        c.close()


def mount_tmpfs(path, size):
    os.makedirs(path, exist_ok=True)
    return subprocess.run(["mount", "-t", "tmpfs", "-o", "size=%d" % size, "tmpfs", path],
                          capture_output=True).returncode == 0


def umount(path):
    subprocess.run(["umount", path], capture_output=True)


with tempfile.TemporaryDirectory() as work:
    run(["makedb"], work)
    db = os.path.join(work, "pdb.mdb")
    sql(db, "INSERT INTO P3Data (ActivityID, Description, EarlyFinish, [Log#1], [Log#2], [Log#3], Flag)"
            " VALUES (?, ?, ?, ?, ?, ?, 0)",
        [("A%05d" % i, "Activity %d of the plan" % i, "2003-03-%02dT00:00:00" % (1 + i % 28),
          "log one of %d: check the formwork" % i, "log two of %d" % i, "é€ %d" % i) for i in range(ROWS)])
    target = os.path.join(work, "o.xls")
    r = run(["export", "o.xls"], work)
    expect("the old workbook is exported", r.returncode == 0, r.stderr)
    old_bytes = open(target, "rb").read()
    old = digest(target)
    sql(db, "UPDATE P3Data SET [Log#1] = 'changed since: ' || ActivityID")
    started = time.monotonic()
    # The sheet takes the file's name: the reference has the same one.
    os.mkdir(os.path.join(work, "ref"))
    r = run(["export", os.path.join("ref", "o.xls")], work)
    took = time.monotonic() - started
    new = digest(os.path.join(work, "ref", "o.xls"))
    shutil.rmtree(os.path.join(work, "ref"))
    expect("the new workbook differs from the old", r.returncode == 0 and new != old, r.stderr)

    def restore_old():
        with open(target, "wb") as f:
            f.write(old_bytes)

    # --- kill -9 at moments spread over the export and a little beyond
    outcomes = {"old": 0, "new": 0, "other": 0}
    killed = 0
    rounds = 12
    for i in range(rounds):
        restore_old()
        p = subprocess.Popen([batch, "export", "o.xls"], cwd=work, stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL)
        time.sleep(took * 1.2 * (i + 0.5) / rounds)
        p.send_signal(signal.SIGKILL)
        killed += p.wait() == -signal.SIGKILL
        h = digest(target)
        outcomes["old" if h == old else "new" if h == new else "other"] += 1
    expect("after every kill the workbook is the old one or the new one whole (%s)" % outcomes,
           outcomes["other"] == 0, outcomes)
    expect("most exports were killed part-way (%d of %d)" % (killed, rounds), killed >= rounds // 2)
    restore_old()
    r = run(["export", "o.xls"], work)
    expect("an export left to end puts the new workbook in place", r.returncode == 0 and digest(target) == new,
           r.stderr)
    for name in os.listdir(work):
        if name.startswith("o.xls."):
            os.remove(name if os.path.isabs(name) else os.path.join(work, name))   # new files a kill left

    # --- writes that fail past a file size
    restore_old()
    before = sorted(os.listdir(work))
    r = run(["export", "o.xls"], work, limit=256 * 1024)
    expect("a failing write ends the export with a message naming the file",
           r.returncode == 1 and "o.xls" in r.stderr and "left as it was" in r.stderr, r.stderr)
    expect("... and leaves the old workbook and nothing else", digest(target) == old
           and sorted(os.listdir(work)) == before, sorted(os.listdir(work)))

    # --- a full disk and a read-only one
    mnt = os.path.join(work, "mnt")
    if not mount_tmpfs(mnt, len(old_bytes) + 256 * 1024):
        print("skip the full and read-only file system cases: this user cannot mount one")
    else:
        try:
            shutil.copy(target, os.path.join(mnt, "o.xls"))
            r = run(["export", os.path.join(mnt, "o.xls")], work)
            expect("on a full disk the export says so and names the file",
                   r.returncode == 1 and "The disk is full" in r.stderr and "o.xls" in r.stderr, r.stderr)
            expect("... and the old workbook stays, alone", digest(os.path.join(mnt, "o.xls")) == old
                   and os.listdir(mnt) == ["o.xls"], os.listdir(mnt))
            subprocess.run(["mount", "-o", "remount,ro", mnt], check=True)
            r = run(["export", os.path.join(mnt, "o.xls")], work)
            expect("in a read-only folder the export cannot start",
                   r.returncode == 1 and "export output file" in r.stderr, r.stderr)
            expect("... and the old workbook stays", digest(os.path.join(mnt, "o.xls")) == old)
        finally:
            umount(mnt)

        # pdb.mdb on a file system with little room left: a copy over every row fills it.
        sql(db, "PRAGMA wal_checkpoint(TRUNCATE)")
        if mount_tmpfs(mnt, os.path.getsize(db) + 128 * 1024):
            try:
                dbdir = os.path.join(mnt, "db")
                os.mkdir(dbdir)
                shutil.copy(db, os.path.join(dbdir, "pdb.mdb"))
                rows = table(os.path.join(dbdir, "pdb.mdb"))
                r = run(["copy", "desc2log", "5"], dbdir)
                expect("a bulk copy on a full disk says the disk is full and names pdb.mdb",
                       r.returncode == 1 and "The disk is full" in r.stderr and "pdb.mdb" in r.stderr
                       and "disk I/O error" not in r.stderr, r.stderr)
                expect("... and the table is as before", table(os.path.join(dbdir, "pdb.mdb")) == rows)
            finally:
                umount(mnt)
finish()
