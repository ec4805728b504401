"""The checks of the Python test scripts: each check prints one line, "ok" or
"FAIL" with what was seen, and finish() ends the script with status 1 when
any check failed."""

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
