"""What the workbook round-trip tests share: CLIN imported from the simulated
P3 server into a new pdb.mdb and exported, and LibreOffice saving a workbook
in another format."""

import os
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from outcome import SIGN_IN, expect, run_batch  # noqa: E402


def exported_clin(batch, samples, tmp):
    """A work folder under tmp whose pdb.mdb holds CLIN, exported as
    clin.xls beside it; returns the folder and the database's path."""
    folder = os.path.join(tmp, "projects")
    shutil.copytree(os.path.join(samples, "projects"), folder)
    work = os.path.join(tmp, "work")
    os.mkdir(work)
    run_batch(batch, ["makedb"], work)
    r = run_batch(batch, ["import", "--p3-path", folder, "--project", "CLIN"] + SIGN_IN, work,
                  {"P3SIM_PROJECTS": folder})
    expect("import CLIN", r.returncode == 0, r.stderr)
    r = run_batch(batch, ["export", "clin.xls"], work)
    expect("export", r.returncode == 0, r.stderr)
    return work, os.path.join(work, "pdb.mdb")


def convert(src, ext, outdir, filt=None):
    """LibreOffice's save of src as ext (with an export filter) in outdir."""
    os.makedirs(outdir, exist_ok=True)
    target = ext if not filt else "%s:%s" % (ext, filt)
    profile = "file://" + os.path.join(outdir, "lo-profile")
    subprocess.run(["soffice", "-env:UserInstallation=" + profile, "--headless", "--convert-to", target,
                    "--outdir", outdir, src], capture_output=True, check=True, timeout=300)
    return os.path.join(outdir, os.path.splitext(os.path.basename(src))[0] + "." + ext)


def kept_copy(db, tmp):
    """Copies the database as it is now; returns what puts that copy back."""
    pristine = os.path.join(tmp, "pristine.mdb")
    shutil.copy(db, pristine)

    def restore():
        shutil.copy(pristine, db)
        for suffix in ("-wal", "-shm"):
            if os.path.exists(db + suffix):
                os.remove(db + suffix)
    return restore
