#!/usr/bin/python3
"""The filter's drop-down objects of a CLIN export, parsed back record by
record beside LibreOffice's own .xls of the same workbook.

usage: drawing_test.py ORVANE_BATCH SAMPLES_DIR
The CLIN sample project imported from the simulated P3 server and exported;
LibreOffice opens the export and saves it as .xls again. In both files the
drawing group's counts, clusters and largest shape id agree with the shapes
of the sheets' drawings. Orvane's file has one drop-down (shape and OBJ of
object type 0x14) per filtered column, anchored on the caption row (row 1
from 0), in the records and containers LibreOffice writes for them; the
hidden record sheet has no drawing. LibreOffice's file holds the same cells
as Orvane's, as xlrd reads them.
"""
import os
import shutil
import subprocess
import sys
import tempfile

import xlrd

sys.dont_write_bytecode = True   # keep the source folder clean
HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "..", "support"))
from lo_convert import convert  # noqa: E402
from outcome import expect, finish  # noqa: E402
import xls_drawing  # noqa: E402

CLUSTER = 1024
CAPTION_ROW = 1
COLUMNS = 108   # A to DD


def count_problems(book):
    """What in a workbook's drawings does not add up: the group's counts
    against the drawings' shapes, each drawing's own counts, the clusters."""
    problems = list(book["problems"])
    if not book["group"]:
        return problems + ["no drawing group"]
    fdgg = next(n for n in xls_drawing.walk(book["group"]) if n["name"] == "FDGG")
    drawings = [s for s in book["sheets"] if s["dg"]]
    spids = [shape["spid"] for s in drawings for shape in s["shapes"]]
    if len(set(spids)) != len(spids):
        problems.append("shape ids used twice")
    if fdgg["cdgSaved"] != len(drawings):
        problems.append("cdgSaved %d, %d drawings" % (fdgg["cdgSaved"], len(drawings)))
    if fdgg["cspSaved"] != sum(s["dg"]["csp"] for s in drawings):
        problems.append("cspSaved %d, drawings count %d" % (fdgg["cspSaved"], sum(s["dg"]["csp"] for s in drawings)))
    if spids and fdgg["spidMax"] != max(spids):
        problems.append("spidMax %d, largest shape id %d" % (fdgg["spidMax"], max(spids)))
    if fdgg["cidcl"] != len(fdgg["clusters"]) + 1:
        problems.append("cidcl %d for %d clusters" % (fdgg["cidcl"], len(fdgg["clusters"])))
    for sheet in drawings:
        ids = [shape["spid"] for shape in sheet["shapes"]]
        if sheet["dg"]["csp"] != len(ids) or sheet["dg"]["spidCur"] != max(ids):
            problems.append("%s: FDG %r for shapes %d..%d" % (sheet["name"], sheet["dg"], min(ids), max(ids)))
        for spid in ids:
            k = spid // CLUSTER - 1
            cluster = fdgg["clusters"][k] if 0 <= k < len(fdgg["clusters"]) else None
            used = sum(1 for i in ids if i // CLUSTER == spid // CLUSTER)
            if cluster != {"dgid": sheet["dg"]["dgid"], "cspidCur": used}:
                problems.append("%s: shape %d in cluster %r, drawing %d uses %d ids there"
                                % (sheet["name"], spid, cluster, sheet["dg"]["dgid"], used))
                break
    return problems


def drop_downs(sheet):
    """(shape part, OBJ without its id) per drop-down of a sheet; the object ids."""
    shapes = [s for s in sheet["shapes"] if s.get("shapeType") == 201]
    objs = [[{k: v for k, v in sub.items() if k != "id"} for sub in obj] for obj in sheet["objs"]]
    ids = [sub["id"] for obj in sheet["objs"] for sub in obj if sub["ft"] == 0x15]
    return [({k: v for k, v in s.items() if k != "spid"}, o) for s, o in zip(shapes, objs)], ids


def structure(nodes):
    """A drawing tree as its record names, versions and instances."""
    return [(n["name"], n["ver"], n["inst"], structure(n.get("children", []))) for n in nodes]


def sheet_cells(path):
    sh = xlrd.open_workbook(path).sheet_by_index(0)
    return [sh.row_values(r) for r in range(sh.nrows)]


def main(batch, samples):
    with tempfile.TemporaryDirectory() as tmp:
        folder = os.path.join(tmp, "projects")
        shutil.copytree(os.path.join(samples, "projects"), folder)
        env = {k: v for k, v in os.environ.items() if not k.startswith("P3SIM_")}
        env["P3SIM_PROJECTS"] = folder
        for args in (["makedb"], ["import", "--p3-path", folder, "--project", "CLIN", "--user", "PLANNER",
                                  "--password", "SCHEDULE"], ["export", "CLIN.xls"]):
            done = subprocess.run([batch] + args, cwd=tmp, env=env, capture_output=True, text=True)
            expect(" ".join(args[:1]), done.returncode == 0, done.stdout + done.stderr)
        ours_path = os.path.join(tmp, "CLIN.xls")
        lo_path, failure = convert(ours_path, os.path.join(tmp, "lo"), "xls:MS Excel 97", ".xls")
        expect("LibreOffice saves the export as .xls", lo_path is not None, failure)
        if lo_path is None:
            return
        ours, lo = xls_drawing.summary(ours_path), xls_drawing.summary(lo_path)

        for name, book in (("Orvane", ours), ("LibreOffice", lo)):
            problems = count_problems(book)
            expect("%s: the drawing group's counts and ids agree with the shapes" % name, not problems, problems)

        visible, hidden = ours["sheets"]
        expect("the hidden record sheet has no drawing and no objects",
               hidden["hidden"] == 1 and hidden["dg"] is None and not hidden["objs"], hidden["recordOrder"][:5])
        shapes = visible["shapes"]
        expect("the drawing's first shape is its group", shapes and shapes[0].get("flags") == 0x5, shapes[:1])
        anchors = [(s["anchor"]["col1"], s["anchor"]["row1"], s["anchor"]["col2"], s["anchor"]["row2"])
                   for s in shapes[1:]]
        expect("one drop-down per filtered column, on the caption row's cell",
               anchors == [(c, CAPTION_ROW, c + 1, CAPTION_ROW + 1) for c in range(COLUMNS)], anchors[:3])
        types = [sub["ot"] for obj in visible["objs"] for sub in obj if sub["ft"] == 0x15]
        expect("one OBJ of object type 0x14 per drop-down", types == [0x14] * COLUMNS, types[:3])
        expect("each drawing record followed by its OBJ",
               visible["order"] == [("MSODRAWING", 0), ("OBJ", 0)] * COLUMNS, visible["order"][:4])

        ours_drop, ours_ids = drop_downs(visible)
        lo_drop, _ = drop_downs(lo["sheets"][0])
        expect("object ids are distinct", len(set(ours_ids)) == len(ours_ids) == COLUMNS, ours_ids[:3])
        expect("the drop-downs' shapes, anchors and OBJ parts as LibreOffice writes them",
               ours_drop == lo_drop, (ours_drop[:1], lo_drop[:1]))
        first = lambda book: structure(book["sheets"][0]["tree"])[:1]   # noqa: E731
        expect("the sheet's containers as LibreOffice nests them", first(ours) == first(lo))
        expect("the drawing group's records as LibreOffice writes them",
               structure(ours["group"]) == structure(lo["group"]))
        group_atoms = lambda book: [n["data"] for n in xls_drawing.walk(book["group"])   # noqa: E731
                                    if n["name"] in ("FOPT", "SplitMenuColors")]
        expect("the drawing group's default properties and menu colours", group_atoms(ours) == group_atoms(lo))
        expect("LibreOffice reads the cells Orvane wrote", sheet_cells(ours_path) == sheet_cells(lo_path))


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
    finish()
