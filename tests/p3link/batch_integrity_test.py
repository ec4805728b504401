#!/usr/bin/python3
"""What orvane-batch must never do to the user's data, tried from outside:

- a pdb.mdb of another layout, an empty file or a file that is not a
  database: every command stops with a message, and neither the file nor P3
  changes;
- a pdb.mdb that cannot be written (the file, or its folder): export and save
  work, every change is refused and the file keeps its bytes;
- kill -9 during an import, a bulk copy and a save, early, midway and late:
  the database passes its integrity check and holds the old table or the
  whole new one; P3 stays readable with each activity old or new;
- two imports at once never mix their rows.

usage: batch_integrity_test.py ORVANE_BATCH SAMPLES_DIR
"""

import hashlib
import json
import os
import shutil
import signal
import sqlite3
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from outcome import expect, finish, sql_rows  # noqa: E402

batch, samples = os.path.abspath(sys.argv[1]), sys.argv[2]
CREDS = ["--user", "PLANNER", "--password", "SCHEDULE"]


def env_for(folder, extra=None):
    env = {k: v for k, v in os.environ.items() if not k.startswith("P3SIM_")}
    env["P3SIM_PROJECTS"] = folder
    env.update(extra or {})
    return env


def run(args, cwd, folder, extra=None, user_prefix=()):
    return subprocess.run(list(user_prefix) + [batch] + args, capture_output=True, text=True,
                          env=env_for(folder, extra), cwd=cwd)


def start(args, cwd, folder, extra=None):
    return subprocess.Popen([batch] + args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                            env=env_for(folder, extra), cwd=cwd)


def digest(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def tree_digest(folder):
    out = {}
    for name in sorted(os.listdir(folder)):
        path = os.path.join(folder, name)
        if os.path.isfile(path):
            out[name] = digest(path)
    return out


def table(db):
    """The table's rows as tuples, in rowid order."""
    with sqlite3.connect("file:%s?mode=ro" % db, uri=True) as c:
        return c.execute("SELECT * FROM P3Data ORDER BY rowid").fetchall()


def integrity(db):
    with sqlite3.connect(db) as c:
        return c.execute("PRAGMA integrity_check").fetchone()[0]


def new_workspace(tmp, name, projects=("CLIN",)):
    root = os.path.join(tmp, name)
    folder = os.path.join(root, "projects")
    os.makedirs(folder)
    for project in projects:
        for f in os.listdir(os.path.join(samples, "projects")):
            if f.upper().startswith(project):
                shutil.copy(os.path.join(samples, "projects", f), folder)
    shutil.copy(os.path.join(samples, "projects", "p3users.json"), folder)
    work = os.path.join(root, "work")
    os.mkdir(work)
    assert run(["makedb"], work, folder).returncode == 0
    return folder, work


def import_project(work, folder, project):
    r = run(["import", "--p3-path", folder, "--project", project] + CREDS, work, folder)
    assert r.returncode == 0, r.stderr
    return r


def generate(folder, group, count, max_logs=20):
    subprocess.run(["/usr/bin/python3", os.path.join(samples, "generate_large_project.py"), folder,
                    "--group", group, "--activities", str(count), "--max-logs", str(max_logs)],
                   check=True, capture_output=True)


def commands(folder, out):
    p3 = ["--p3-path", folder]
    return [
        ("import", ["import"] + p3 + ["--project", "CLIN"] + CREDS),
        ("save", ["save"] + p3 + ["--project", "CLIN"] + CREDS),
        ("copy", ["copy", "log2log", "1", "2"]),
        ("export", ["export", out]),
    ]


def declare_log3_integer(c):
    """P3Data made again with [Log#3] declared INTEGER, its rows kept."""
    sql = c.execute("SELECT sql FROM sqlite_schema WHERE name = 'P3Data'").fetchone()[0]
    c.execute("ALTER TABLE P3Data RENAME TO Previous")
    c.execute(sql.replace("[Log#3] TEXT", "[Log#3] INTEGER"))
    c.execute("INSERT INTO P3Data SELECT * FROM Previous")
    c.execute("DROP TABLE Previous")


def check_refused_files(tmp):
    cases = [
        ("149 columns", lambda c: c.execute("ALTER TABLE P3Data ADD COLUMN Extra TEXT"), "expected layout"),
        ("147 columns", lambda c: c.execute("ALTER TABLE P3Data DROP COLUMN Flag"), "expected layout"),
        ("typed Log#3 INTEGER", declare_log3_integer, "'Log#3' is declared 'INTEGER'"),
    ]
    for name, change, message in cases:
        folder, work = new_workspace(tmp, "refused-" + name.split()[0])
        import_project(work, folder, "CLIN")
        db = os.path.join(work, "pdb.mdb")
        with sqlite3.connect(db) as c:
            c.execute("UPDATE P3Data SET [Log#1] = 'edited locally'")
            change(c)
        with sqlite3.connect(db) as c:
            c.execute("PRAGMA wal_checkpoint(TRUNCATE)")
        before, p3_before = digest(db), tree_digest(folder)
        out = os.path.join(work, "out.xls")
        for command, args in commands(folder, out):
            r = run(args, work, folder)
            expect("%s: %s refused" % (name, command), r.returncode == 1 and message in r.stderr,
                   "exit %d %r" % (r.returncode, r.stderr))
        expect("%s: file unchanged" % name, digest(db) == before)
        expect("%s: P3 unchanged" % name, tree_digest(folder) == p3_before)
        expect("%s: no export written" % name, not os.path.exists(out))

    for name, content in (("empty file", b""), ("not a database", b"just some text, not a database\n" * 40)):
        folder, work = new_workspace(tmp, "bad-" + name.split()[0])
        db = os.path.join(work, "pdb.mdb")
        os.remove(db)
        with open(db, "wb") as f:
            f.write(content)
        p3_before = tree_digest(folder)
        for command, args in commands(folder, os.path.join(work, "out.xls")):
            r = run(args, work, folder)
            expect("%s: %s refused" % (name, command), r.returncode == 1 and "pdb.mdb" in r.stderr,
                   "exit %d %r" % (r.returncode, r.stderr))
        with open(db, "rb") as f:
            expect("%s: file keeps its bytes" % name, f.read() == content)
        expect("%s: no side files" % name, sorted(os.listdir(work)) == ["pdb.mdb"], os.listdir(work))
        expect("%s: P3 unchanged" % name, tree_digest(folder) == p3_before)


def check_read_only(tmp):
    # Root ignores permission bits: the commands then run as an ordinary user.
    as_user = ("setpriv", "--reuid=65534", "--regid=65534", "--clear-groups") if os.geteuid() == 0 else ()
    for name in ("read-only file", "read-only folder"):
        folder, work = new_workspace(tmp, name.replace(" ", "-"))
        import_project(work, folder, "CLIN")
        db = os.path.join(work, "pdb.mdb")
        with sqlite3.connect(db) as c:
            c.execute("UPDATE P3Data SET [Log#1] = 'edited while writable' WHERE ActivityID = 'A1000'")
        with sqlite3.connect(db) as c:
            c.execute("PRAGMA wal_checkpoint(TRUNCATE)")
        out_dir = os.path.join(tmp, name.replace(" ", "-"), "out")
        os.mkdir(out_dir)
        for path in (os.path.dirname(work), out_dir, folder):
            os.chmod(path, 0o777)
        for f in os.listdir(folder):
            os.chmod(os.path.join(folder, f), 0o666)
        os.chmod(db, 0o444)
        os.chmod(work, 0o555 if name == "read-only folder" else 0o777)
        if name == "read-only folder":
            os.chmod(db, 0o666)
        for f in os.listdir(work):
            if f != "pdb.mdb":
                os.remove(os.path.join(work, f))
        before = digest(db)
        extra = {"HOME": out_dir}
        out = os.path.join(out_dir, "grid.xls")
        r = run(["export", out], work, folder, extra, as_user)
        expect("%s: export works" % name, r.returncode == 0 and os.path.getsize(out) > 0, r.stderr)
        r = run(["save", "--p3-path", folder, "--project", "CLIN"] + CREDS, work, folder, extra, as_user)
        expect("%s: save works" % name, r.returncode == 0, r.stderr)
        with open(os.path.join(folder, "CLIN.activities.jsonl"), encoding="utf-8") as f:
            expect("%s: the edit reached P3" % name, "edited while writable" in f.read())
        for command, args in (("copy", ["copy", "log2log", "1", "2"]),
                              ("import", ["import", "--p3-path", folder, "--project", "CLIN"] + CREDS)):
            r = run(args, work, folder, extra, as_user)
            expect("%s: %s refused" % (name, command),
                   r.returncode == 1 and "pdb.mdb is read-only" in r.stderr, "exit %d %r" % (r.returncode, r.stderr))
        expect("%s: file keeps its bytes" % name, digest(db) == before)
        os.chmod(work, 0o777)
        os.chmod(db, 0o666)


def wait_for_calls(log, count, process, limit=60):
    """Waits until the P3 call log holds `count` lines (or the process ends)."""
    deadline = time.time() + limit
    while time.time() < deadline and process.poll() is None:
        try:
            with open(log, "rb") as f:
                if f.read().count(b"\n") >= count:
                    return
        except FileNotFoundError:
            pass
        time.sleep(0.002)


def kill_midway(args, work, folder, total, fraction, label):
    """Runs args with a P3 call log and kills it with SIGKILL once `fraction`
    of `total` calls were made; checks that it was still running."""
    log = os.path.join(work, "calls.log")
    if os.path.exists(log):
        os.remove(log)
    p = start(args, work, folder, {"P3SIM_CALL_LOG": log})
    wait_for_calls(log, int(total * fraction), p)
    p.send_signal(signal.SIGKILL)
    p.wait()
    expect("%s: killed while running" % label, p.returncode == -signal.SIGKILL)


def calls_of(args, work, folder):
    """How many P3 calls a whole run of args makes."""
    log = os.path.join(work, "count.log")
    r = run(args, work, folder, {"P3SIM_CALL_LOG": log})
    assert r.returncode == 0, r.stderr
    with open(log, "rb") as f:
        n = f.read().count(b"\n")
    os.remove(log)
    return n


def p3_logs(work, folder, project):
    """Every activity's logs as P3 holds them, read back by a fresh import."""
    check = os.path.join(work, "check")
    shutil.rmtree(check, ignore_errors=True)
    os.mkdir(check)
    subprocess.run([batch, "makedb"], cwd=check, check=True, capture_output=True)
    r = run(["import", "--p3-path", folder, "--project", project] + CREDS, check, folder)
    assert r.returncode == 0, r.stderr
    return {row[0]: row[48:147] for row in table(os.path.join(check, "pdb.mdb"))}


def check_kill(tmp):
    folder, work = new_workspace(tmp, "kill")
    generate(folder, "KILL", 3000)
    db = os.path.join(work, "pdb.mdb")
    import_project(work, folder, "CLIN")
    clin_rows = table(db)

    # Import: the old table or the whole new one.
    args = ["import", "--p3-path", folder, "--project", "KILL"] + CREDS
    total = calls_of(args, work, folder)
    new_rows = table(db)
    expect("kill setup: new project imported", len(new_rows) == 3000)
    for fraction in (0.05, 0.5, 0.95):
        label = "kill import at %d%%" % (fraction * 100)
        import_project(work, folder, "CLIN")
        kill_midway(args, work, folder, total, fraction, label)
        rows = table(db)
        expect("%s: integrity" % label, integrity(db) == "ok")
        expect("%s: old or whole new table" % label, rows == clin_rows or rows == new_rows, "%d rows" % len(rows))

    # Bulk copy: the column all old or all new.
    import_project(work, folder, "KILL")
    before = table(db)
    for delay in (0.0, 0.01, 0.03):
        p = start(["copy", "log2log", "2", "1"], work, folder)
        time.sleep(delay)
        p.send_signal(signal.SIGKILL)
        p.wait()
        rows = table(db)
        expect("kill copy after %g s: integrity" % delay, integrity(db) == "ok")
        copied = [r[:48] + (r[49],) + r[49:] for r in before]
        expect("kill copy after %g s: old or new column" % delay, rows == before or rows == copied)
        before = rows

    # Save: every activity old or new in P3, the local file untouched.
    with sqlite3.connect(db) as c:
        c.execute("UPDATE P3Data SET [Log#1] = 'saved ' || ActivityID")
    old = p3_logs(work, folder, "KILL")
    args = ["save", "--p3-path", folder, "--project", "KILL"] + CREDS
    spare = os.path.join(os.path.dirname(folder), "spare")
    for fraction in (0.05, 0.5, 0.95):
        label = "kill save at %d%%" % (fraction * 100)
        # The calls of a whole save from here, counted on a copy of the project.
        shutil.rmtree(spare, ignore_errors=True)
        shutil.copytree(folder, spare)
        total = calls_of(["save", "--p3-path", spare, "--project", "KILL"] + CREDS, work, spare)
        with sqlite3.connect(db) as c:
            c.execute("PRAGMA wal_checkpoint(TRUNCATE)")
        local_digest = digest(db)
        kill_midway(args, work, folder, total, fraction, label)
        expect("%s: local file untouched" % label, digest(db) == local_digest)
        now = p3_logs(work, folder, "KILL")
        bad = [i for i, logs in now.items()
               if logs != old[i] and logs != ("saved " + i,) + old[i][1:]]
        expect("%s: P3 readable, each activity old or new" % label,
               len(now) == 3000 and not bad, "%d bad, e.g. %r" % (len(bad), bad[:3]))


def check_two_imports(tmp):
    # Sample IDs begin with A or M, generated ones with B.
    folder, work = new_workspace(tmp, "twice")
    generate(folder, "TWOA", 2000)
    db = os.path.join(work, "pdb.mdb")
    a = start(["import", "--p3-path", folder, "--project", "TWOA"] + CREDS, work, folder)
    b = start(["import", "--p3-path", folder, "--project", "CLIN"] + CREDS, work, folder)
    ra, rb = a.wait(), b.wait()
    errors = (a.stderr.read() + b.stderr.read())
    rows = table(db)
    ids = [r[0] for r in rows]
    expect("two imports: each ends or stops with a clear message",
           all(code == 0 for code in (ra, rb)) or "Another program is changing the database" in errors,
           "%d %d %r" % (ra, rb, errors))
    expect("two imports: one project's rows, never mixed",
           (len(rows) == 305 and not any(i.startswith("B") for i in ids) and len(set(ids)) == 305)
           or (len(rows) == 2000 and all(i.startswith("B") for i in ids) and len(set(ids)) == 2000),
           "%d rows" % len(rows))


def colleague_edits(folder, project, edits):
    """Sets logs in the project file as a colleague's P3 does: edits maps an
    activity ID to {number: text}."""
    path = os.path.join(folder, project + ".activities.jsonl")
    with open(path, encoding="utf-8") as f:
        lines = [json.loads(line) for line in f if line.strip()]
    for a in lines:
        for number, text in edits.get(a["ActivityID"], {}).items():
            a["logs"] = [log for log in a["logs"] if log[0] != number] + [[number, text]]
    with open(path, "w", encoding="utf-8") as f:
        f.write("".join(json.dumps(a) + "\n" for a in lines))


def check_kill_three_way(tmp):
    """A three-way save killed part-way, twice, then run whole: the user's
    edits all reach P3, the colleague's texts all stay, nothing is written
    twice, and the conflicts are named. The calls are counted by saving into
    a copy of the project in another folder, which is another project: that
    save must not move the base of the imported one."""
    folder, work = new_workspace(tmp, "kill3")
    generate(folder, "KIL3", 3000)
    db = os.path.join(work, "pdb.mdb")
    import_project(work, folder, "KIL3")
    ids = [r[0] for r in table(db)]
    theirs = {i: {2: "colleague " + i} for i in ids[:50]}
    conflicts = ids[100:110]
    for i in conflicts:
        theirs.setdefault(i, {})[1] = "colleague wins " + i
    colleague_edits(folder, "KIL3", theirs)
    sql_rows(db, "UPDATE P3Data SET [Log#1] = 'mine ' || ActivityID")
    args = ["save", "--p3-path", folder, "--project", "KIL3"] + CREDS
    spare = os.path.join(os.path.dirname(folder), "spare3")
    for fraction in (0.3, 0.8):
        label = "kill three-way save at %d%%" % (fraction * 100)
        shutil.rmtree(spare, ignore_errors=True)
        shutil.copytree(folder, spare)
        # Into the copy the save has no base: it writes without conflicts.
        total = calls_of(["save", "--p3-path", spare, "--project", "KIL3"] + CREDS, work, spare)
        kill_midway(args, work, folder, total, fraction, label)
        now = p3_logs(work, folder, "KIL3")
        lost = [i for i in theirs for n, text in theirs[i].items() if now[i][n - 1] != text]
        expect("%s: every colleague's text still in P3" % label, not lost, repr(lost[:3]))
        expect("%s: integrity" % label, integrity(db) == "ok")

    r = run(args, work, folder)
    named = sorted(line.split()[0] for line in r.stdout.splitlines()[1:])
    expect("three-way save after the kills names exactly the conflicts, exit 3",
           r.returncode == 3 and named == sorted(conflicts), repr(r.stdout[-300:]))
    now = p3_logs(work, folder, "KIL3")
    wrong = [i for i in ids if now[i][0] != ("colleague wins " + i if i in conflicts else "mine " + i)
             or (i in theirs and 2 in theirs[i] and now[i][1] != theirs[i][2])]
    expect("three-way save after the kills: the user's edits and the colleague's texts in P3", not wrong,
           repr([(i, now[i][:2]) for i in wrong[:3]]))
    r = run(["save", "--dry-run"] + args[1:], work, folder)
    kinds = {line.split("\t")[0] for line in r.stdout.splitlines()}
    expect("after it, a save has nothing left to write or take", kinds == {"conflict"}, repr(kinds))


with tempfile.TemporaryDirectory() as tmp:
    os.chmod(tmp, 0o755)
    check_refused_files(tmp)
    check_read_only(tmp)
    check_two_imports(tmp)
    check_kill(tmp)
    check_kill_three_way(tmp)

finish()
