#!/usr/bin/python3
"""Walks the BIFF8 records of an .xls workbook and the drawing containers
inside them, independently of the writer.

usage: xls_drawing.py FILE.xls           prints what it found as JSON

As a module: drawings(path) returns, for the globals and for every sheet,
the drawing records parsed into a tree of containers and atoms, and the
drop-down objects of each sheet with their anchors and OBJ sub-records.
Drawing data split over a record's limit is joined again from the CONTINUE
records that follow it.
"""
import json
import struct
import sys

import olefile

BOF, EOF, CONTINUE = 0x0809, 0x000A, 0x003C
BOUNDSHEET, OBJ = 0x0085, 0x005D
MSODRAWINGGROUP, MSODRAWING = 0x00EB, 0x00EC
MAX_RECORD_DATA = 8224

# Container record types of the drawing format: their data is children.
CONTAINERS = {0xF000: "DggContainer", 0xF001: "BStoreContainer", 0xF002: "DgContainer",
              0xF003: "SpgrContainer", 0xF004: "SpContainer", 0xF005: "SolverContainer"}
ATOMS = {0xF006: "FDGG", 0xF008: "FDG", 0xF009: "FSPGR", 0xF00A: "FSP", 0xF00B: "FOPT", 0xF010: "ClientAnchor",
         0xF011: "ClientData", 0xF11E: "SplitMenuColors", 0xF122: "TertiaryFOPT"}


def records(stream):
    """(type, data, offset) of every record of the Workbook stream."""
    at = 0
    while at + 4 <= len(stream):
        kind, size = struct.unpack_from("<HH", stream, at)
        yield kind, stream[at + 4:at + 4 + size], at
        at += 4 + size


def substreams(stream):
    """Lists of (type, data, offset), one per BOF ... EOF substream."""
    out, current = [], None
    for rec in records(stream):
        if rec[0] == BOF:
            current = [rec]
        elif current is not None:
            current.append(rec)
            if rec[0] == EOF:
                out.append(current)
                current = None
    return out


def parse_tree(data, at=0, end=None, problems=None):
    """The drawing records of data[at:end] as a list of nodes."""
    end = len(data) if end is None else end
    nodes = []
    while at < end:
        if at + 8 > end:
            problems.append("drawing record header cut at %d" % at)
            break
        verinst, kind, length = struct.unpack_from("<HHI", data, at)
        node = {"type": kind, "name": CONTAINERS.get(kind) or ATOMS.get(kind) or "0x%04X" % kind,
                "ver": verinst & 0xF, "inst": verinst >> 4, "length": length}
        body = at + 8
        if body + length > end:
            problems.append("%s at %d: length %d beyond its parent (%d)" % (node["name"], at, length, end - body))
        if kind in CONTAINERS:
            if node["ver"] != 0xF:
                problems.append("%s at %d: version %d, not 15" % (node["name"], at, node["ver"]))
            node["children"] = parse_tree(data, body, min(body + length, end), problems)
        else:
            node["data"] = data[body:body + length]
            decode_atom(node, problems)
        nodes.append(node)
        at = body + length
    return nodes


def decode_atom(node, problems):
    d = node["data"]
    name = node["name"]
    if name == "FDGG":
        spid_max, cidcl, csp_saved, cdg_saved = struct.unpack_from("<IIII", d, 0)
        clusters = [struct.unpack_from("<II", d, 16 + 8 * i) for i in range(cidcl - 1)]
        node.update(spidMax=spid_max, cidcl=cidcl, cspSaved=csp_saved, cdgSaved=cdg_saved,
                    clusters=[{"dgid": g, "cspidCur": c} for g, c in clusters])
        if len(d) != 16 + 8 * (cidcl - 1):
            problems.append("FDGG of %d bytes for %d clusters" % (len(d), cidcl - 1))
    elif name == "FDG":
        node["csp"], node["spidCur"] = struct.unpack_from("<II", d, 0)
    elif name == "FSP":
        node["spid"], node["flags"] = struct.unpack_from("<II", d, 0)
    elif name == "FOPT":
        props = {}
        for i in range(node["inst"]):
            pid, value = struct.unpack_from("<HI", d, 6 * i)
            props[pid & 0x3FFF] = value
        node["props"] = props
    elif name == "ClientAnchor" and len(d) >= 18:
        flags, col1, dx1, row1, dy1, col2, dx2, row2, dy2 = struct.unpack_from("<9H", d, 0)
        node["anchor"] = {"flags": flags, "col1": col1, "dx1": dx1, "row1": row1, "dy1": dy1, "col2": col2,
                          "dx2": dx2, "row2": row2, "dy2": dy2}


def parse_obj(data, problems):
    """The sub-records of an OBJ record: ftCmo, the drop-down's ftSbs and
    ftLbsData, ftEnd."""
    subs = []
    at = 0
    while at + 4 <= len(data):
        ft, cb = struct.unpack_from("<HH", data, at)
        sub = {"ft": ft}
        if ft == 0x15:        # ftCmo
            sub["ot"], sub["id"], sub["flags"] = struct.unpack_from("<HHH", data, at + 4)
            at += 4 + cb
        elif ft == 0x0C:      # ftSbs
            sub["data"] = data[at + 4:at + 4 + cb].hex()
            at += 4 + cb
        elif ft == 0x13:      # ftLbsData: its cb is not its size; a drop-down's layout follows
            at += 4
            cb_fmla = struct.unpack_from("<H", data, at)[0]
            at += 2 + cb_fmla
            c_lines, i_sel, flags, id_edit = struct.unpack_from("<HHHH", data, at)
            at += 8
            sub.update(cbFmla=cb_fmla, cLines=c_lines, iSel=i_sel, flags=flags, idEdit=id_edit)
            if c_lines and flags & 0x0002:   # fValidPlex: the selection bits follow
                at += c_lines
            # LbsDropData, present for a drop-down (ot 0x14).
            drop_flags, c_line, dx_min, cch = struct.unpack_from("<HHHH", data, at)
            at += 8
            high = data[at]
            at += 1 + cch * (2 if high & 1 else 1)
            if at % 2:
                at += 1   # padding to a 2-byte boundary
            sub.update(dropFlags=drop_flags, cLine=c_line, dxMin=dx_min, cchStr=cch)
        elif ft == 0x00:      # ftEnd
            subs.append(sub)
            at += 4
            break
        else:
            sub["data"] = data[at + 4:at + 4 + cb].hex()
            at += 4 + cb
        subs.append(sub)
    if at != len(data):
        problems.append("OBJ: %d bytes parsed of %d" % (at, len(data)))
    # A list part reaches to the record's end; any other object ends with ftEnd.
    if not subs or subs[-1]["ft"] not in (0x00, 0x13):
        problems.append("OBJ without ftEnd")
    return subs


def joined(recs, i, kind):
    """Data of record i (of the given kind) with the CONTINUE records after
    it; returns (data, index of the next record, sizes of the pieces)."""
    data, sizes = recs[i][1], [len(recs[i][1])]
    j = i + 1
    while j < len(recs) and recs[j][0] == CONTINUE:
        data += recs[j][1]
        sizes.append(len(recs[j][1]))
        j += 1
    return data, j, sizes


def walk(nodes):
    for n in nodes:
        yield n
        yield from walk(n.get("children", []))


def sheet_drawing(recs, problems):
    """The sheet's drawing records joined into one tree, and per shape the
    OBJ record that follows the drawing record holding its client data."""
    data = b""
    objs, order = [], []
    i = 0
    while i < len(recs):
        kind = recs[i][0]
        if kind == MSODRAWING:
            piece, i, sizes = joined(recs, i, kind)
            if any(s > MAX_RECORD_DATA for s in sizes):
                problems.append("MSODRAWING piece over %d bytes: %r" % (MAX_RECORD_DATA, sizes))
            data += piece
            order.append(("MSODRAWING", len(sizes) - 1))
            continue
        if kind == OBJ:
            objs.append(parse_obj(recs[i][1], problems))
            order.append(("OBJ", 0))
        i += 1
    tree = parse_tree(data, problems=problems) if data else []
    return tree, objs, order


def summary(path):
    ole = olefile.OleFileIO(path)
    try:
        stream = ole.openstream("Workbook").read()
    finally:
        ole.close()
    problems = []
    subs = substreams(stream)
    globals_recs = subs[0]
    sheets_meta = []
    for kind, data, _ in globals_recs:
        if kind == BOUNDSHEET:
            offset, hidden, cch, wide = struct.unpack_from("<IHBB", data, 0)
            name = data[8:8 + cch * (2 if wide else 1)].decode("utf-16-le" if wide else "latin-1")
            sheets_meta.append({"offset": offset, "hidden": hidden & 0xFF, "name": name})
    group = None
    group_records = []
    for i, (kind, data, _) in enumerate(globals_recs):
        if kind == MSODRAWINGGROUP:
            data, _, sizes = joined(globals_recs, i, kind)
            group_records.append(sizes)
            group = parse_tree(data, problems=problems)
    out = {"group": group, "groupRecords": group_records, "sheets": [], "problems": problems,
           "globalsOrder": ["0x%04X" % k for k, _, _ in globals_recs]}
    by_offset = {off: sub for sub in subs[1:] for (_, _, off) in sub[:1]}
    for meta in sheets_meta:
        sub = by_offset.get(meta["offset"])
        if sub is None:
            problems.append("no substream at the offset of sheet %r" % meta["name"])
            continue
        tree, objs, order = sheet_drawing(sub, problems)
        shapes = []
        dg = None
        for node in walk(tree):
            if node["name"] == "FDG":
                dg = {"dgid": node["inst"], "csp": node["csp"], "spidCur": node["spidCur"]}
            if node["name"] == "SpContainer":
                shape = {}
                for child in node.get("children", []):
                    if child["name"] == "FSP":
                        shape.update(spid=child["spid"], flags=child["flags"], shapeType=child["inst"])
                    elif child["name"] == "FOPT":
                        shape["props"] = child["props"]
                    elif child["name"] == "ClientAnchor":
                        shape["anchor"] = child.get("anchor")
                    elif child["name"] == "ClientData":
                        shape["clientData"] = True
                shapes.append(shape)
        out["sheets"].append({"name": meta["name"], "hidden": meta["hidden"], "dg": dg, "shapes": shapes,
                              "objs": objs, "order": order, "tree": tree,
                              "recordOrder": ["0x%04X" % k for k, _, _ in sub]})
    return out


def plain(value):
    """The summary without bytes, for JSON."""
    if isinstance(value, dict):
        return {str(k): plain(v) for k, v in value.items()}
    if isinstance(value, list):
        return [plain(v) for v in value]
    if isinstance(value, (bytes, bytearray)):
        return value.hex()
    return value


if __name__ == "__main__":
    json.dump(plain(summary(sys.argv[1])), sys.stdout, indent=1)
    print()
