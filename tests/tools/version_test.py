#!/usr/bin/python3
"""orvane-batch --version shows the version of the project() line in the
top CMakeLists.txt, the one place the version is kept; --help names the
option; anything else after --version is a usage error."""
import re
import subprocess
import sys

batch, source_root = sys.argv[1], sys.argv[2]
with open(source_root + "/CMakeLists.txt", encoding="utf-8") as f:
    project_version = re.search(r"^project\(Orvane VERSION ([0-9.]+)", f.read(), flags=re.M).group(1)

cases = [
    # arguments, exit status, stdout, a text in stderr
    (["--version"], 0, "orvane-batch %s\n" % project_version, ""),
    (["--help"], 0, "", "--version"),
    (["--version", "extra"], 2, "", "unknown command: --version"),
]
for args, status, stdout, in_stderr in cases:
    done = subprocess.run([batch] + args, capture_output=True, text=True)
    assert (done.returncode, done.stdout) == (status, stdout), (args, done.returncode, done.stdout, done.stderr)
    assert in_stderr in done.stderr, (args, done.stderr)
