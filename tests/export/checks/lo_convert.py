"""Converts a file with LibreOffice (headless) under a private profile in
WORKDIR, so that parallel runs do not share one."""
import os
import subprocess


def convert(path, work, target, extension):
    """Saves PATH with the export filter TARGET into WORKDIR; returns the new
    file's path, or (None, LibreOffice's output) when it failed."""
    os.makedirs(work, exist_ok=True)
    profile = "file://" + os.path.abspath(os.path.join(work, "profile"))
    cmd = ["soffice", "-env:UserInstallation=" + profile, "--headless", "--norestore",
           "--convert-to", target, "--outdir", work, path]
    run = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=240)
    out = os.path.join(work, os.path.splitext(os.path.basename(path))[0] + extension)
    if run.returncode != 0 or not os.path.exists(out):
        return None, run.stdout.decode(errors="replace")
    return out, ""
