#!/usr/bin/python3
"""Writes the sample P3 projects folder (samples/projects) for the simulated
P3 server. Deterministic: running it again gives the same files.

    /usr/bin/python3 samples/make_samples.py [OUTPUT_FOLDER]

The folder holds:
  CLINdir.p3  "Riverside Clinic" - a construction schedule of about 300
              activities, 6 activity codes, logs on most activities (numbered
              with gaps) and 4 filters.
  CAMPdir.p3  "North Campus" - a project group with the subprojects LIBR and
              SPRT.
  DEPOdir.p3  "Bus Depot Canopy" - a project without activity codes.
  TWNTdir.p3  "Twin Towers Fit-out" - a project with exactly 20 activity codes.
  p3users.json  the users list: PLANNER / SCHEDULE (and SITEMGR, signed in
              at another workstation, for trying Login's flag).
The format is described in p3sim/README.md.
"""

import datetime as dt
import json
import os
import random
import sys

FIELDS = [
    "ActivityID", "Description", "OriginalDuration", "RemainingDuration",
    "TotalFloat", "FreeFloat", "PercentComplete", "EarlyStart", "LateStart",
    "EarlyFinish", "LateFinish", "ActualStart", "ActualFinish", "ActualDuration",
    "SuspendDate", "ResumeDate", "ActivityType", "EarlyConstraintType",
    "EarlyConstraintDate", "LateConstraintType", "LateConstraintDate",
    "MandatoryConstraintType", "MandatoryConstraintDate", "ExpectedFinishDate",
    "WBSCodeWithSeparators", "FloatConstraintType", "WBSCode", "CalendarID",
]

DATA_DATE = dt.date(2025, 9, 15)


def add_workdays(day, n):
    step = 1 if n >= 0 else -1
    while n != 0:
        day += dt.timedelta(days=step)
        if day.weekday() < 5:
            n -= step
    return day


def iso(day, hour=8):
    if day is None:
        return None
    return dt.datetime(day.year, day.month, day.day, hour).isoformat()


LOG_PHRASES = [
    "Submittal {n:03d} sent to architect for review",
    "Submittal {n:03d} approved as noted",
    "RFI-{n:03d} raised: dimension conflict at grid {g}",
    "RFI-{n:03d} answered, no cost impact",
    "Crew of {c} on site",
    "Delivery of materials confirmed for week {w}",
    "Inspection passed - inspector J. Marsh",
    "Inspection failed: rework required at grid {g}",
    "Weather delay, {c} hours lost",
    "Waiting for access from preceding trade",
    "Shop drawings rev {r} received",
    "Change order CO-{n:02d} pending owner approval",
    "Quantities checked against model",
    "Safety walk done, no findings",
    "Subcontractor requests 2 extra days",
    "Coordinate with MEP before closing ceilings",
    "Mock-up approved by owner",
    "Punch list issued ({c} items)",
]


def log_lines(rng, count, max_number=99):
    """count logs with numbers chosen with gaps, in ascending order."""
    numbers = set()
    n = 0
    while len(numbers) < count:
        n += rng.choice([1, 1, 1, 2, 3, 5])
        if n > max_number:
            break
        numbers.add(n)
    lines = []
    for number in sorted(numbers):
        phrase = rng.choice(LOG_PHRASES).format(
            n=rng.randint(1, 140), g=rng.choice("ABCDEFG") + str(rng.randint(1, 9)),
            c=rng.randint(2, 14), w=rng.randint(10, 52), r=rng.randint(1, 4))
        lines.append([number, phrase])
    return lines


def activity(aid, desc, start, duration, **extra):
    finish = add_workdays(start, max(duration - 1, 0))
    a = {name: None for name in FIELDS}
    a.update({
        "ActivityID": aid, "Description": desc,
        "OriginalDuration": float(duration), "RemainingDuration": float(duration),
        "TotalFloat": 0.0, "FreeFloat": 0.0, "PercentComplete": 0.0,
        "EarlyStart": iso(start), "EarlyFinish": iso(finish, 17),
        "LateStart": iso(start), "LateFinish": iso(finish, 17),
        "ActivityType": "Task", "CalendarID": "1",
    })
    a.update(extra)
    return a, finish


def progress(a, rng, start, finish, duration):
    """Marks progress as of the data date."""
    if finish < DATA_DATE:
        a["PercentComplete"] = 100.0
        a["RemainingDuration"] = 0.0
        a["ActualStart"] = a["EarlyStart"]
        a["ActualFinish"] = a["EarlyFinish"]
        a["ActualDuration"] = float(duration)
    elif start < DATA_DATE:
        done = max(1, min(duration - 1, int(duration * rng.uniform(0.2, 0.8))))
        a["PercentComplete"] = round(100.0 * done / max(duration, 1))
        a["RemainingDuration"] = float(duration - done)
        a["ActualStart"] = a["EarlyStart"]
        a["ActualDuration"] = float(done)
        a["ExpectedFinishDate"] = a["EarlyFinish"]


def clinic(rng):
    codes = [
        ("AREA", "Building area"), ("RESP", "Responsibility"), ("PHAS", "Phase"),
        ("TRAD", "Trade"), ("FLOR", "Floor"), ("CRIT", "Critical path"),
    ]
    areas = [("SITE", "Site"), ("L0", "Basement"), ("L1", "Level 1"), ("L2", "Level 2"),
             ("L3", "Level 3"), ("L4", "Level 4"), ("L5", "Level 5"),
             ("PK", "Parking deck"), ("RF", "Roof")]
    packages = [
        ("PRE", "GC", "MGMT", ["Permit drawings", "Building permit", "Mobilize site office",
                               "Survey and set-out", "Temporary fencing"]),
        ("SUB", "EARTH", "CIVL", ["Excavation", "Shoring", "Footings formwork", "Footings rebar",
                                  "Footings pour", "Waterproofing"]),
        ("SUP", "CONC", "CONC", ["Columns", "Slab formwork", "Slab rebar", "Slab pour",
                                 "Stair cores", "Strip and backprop"]),
        ("ENV", "FACADE", "ENVL", ["Facade brackets", "Curtain wall units", "Window frames",
                                   "Roof membrane", "Sealants"]),
        ("FIT", "SUB-ME", "MECH", ["Ductwork rough-in", "Sprinkler mains", "Plumbing rough-in",
                                   "HVAC units set"]),
        ("FIT", "SUB-EL", "ELEC", ["Cable trays", "Power rough-in", "Lighting fixtures",
                                   "Fire alarm devices", "Data cabling"]),
        ("FIT", "GC", "FINS", ["Drywall framing", "Drywall boarding", "Ceiling grid",
                               "Painting", "Flooring", "Doors and hardware"]),
        ("COM", "GC", "COMM", ["Testing and balancing", "Fire alarm test",
                               "Owner training", "Punch list", "Handover"]),
    ]
    acts = []
    n = 1000
    start = dt.date(2025, 3, 3)
    wbs_major = 0
    for area_code, area_name in areas:
        wbs_major += 1
        area_start = start
        wbs_minor = 0
        for phase, resp, trade, names in packages:
            if area_code == "SITE" and phase not in ("PRE", "SUB"):
                continue
            if area_code != "SITE" and phase == "PRE":
                continue
            if area_code == "RF" and phase == "SUB":
                continue
            wbs_minor += 1
            for i, name in enumerate(names):
                duration = rng.choice([2, 3, 5, 5, 8, 10, 15])
                s = add_workdays(area_start, rng.randint(0, 6) + i * 2)
                floor = area_code if area_code.startswith("L") else ("RF" if area_code == "RF" else "")
                a, f = activity(
                    "A%d" % n, "%s - %s" % (name, area_name), s, duration,
                    WBSCode="%d.%d.%d" % (wbs_major, wbs_minor, i + 1),
                    WBSCodeWithSeparators="CLN.%02d.%02d.%02d" % (wbs_major, wbs_minor, i + 1),
                )
                tf = float(rng.choice([0, 0, 0, 2, 5, 10, 15, 22]))
                a["TotalFloat"] = tf
                a["FreeFloat"] = float(min(tf, rng.choice([0, 0, 1, 3])))
                if tf:
                    a["LateStart"] = iso(add_workdays(s, int(tf)))
                    a["LateFinish"] = iso(add_workdays(f, int(tf)), 17)
                a["codes"] = {"AREA": area_code, "RESP": resp, "PHAS": phase, "TRAD": trade,
                              "FLOR": floor, "CRIT": "Y" if tf == 0 else "N"}
                progress(a, rng, s, f, duration)
                if rng.random() < 0.08:
                    a["EarlyConstraintType"] = "Start on or after"
                    a["EarlyConstraintDate"] = a["EarlyStart"]
                if rng.random() < 0.04:
                    a["LateConstraintType"] = "Finish on or before"
                    a["LateConstraintDate"] = a["LateFinish"]
                if rng.random() < 0.1:
                    a["CalendarID"] = "2"
                # Logs on most activities, numbered with gaps.
                if rng.random() < 0.85:
                    a["logs"] = log_lines(rng, rng.randint(1, 12))
                else:
                    a["logs"] = []
                acts.append(a)
                n += 10
        start = add_workdays(start, 25)
    # Milestones.
    for aid, desc, day, kind in [("M0010", "Notice to proceed", dt.date(2025, 3, 3), "Start Milestone"),
                                 ("M0020", "Structure topped out", dt.date(2025, 10, 24), "Finish Milestone"),
                                 ("M0030", "Building dried in", dt.date(2025, 12, 12), "Finish Milestone"),
                                 ("M0040", "Substantial completion", dt.date(2026, 4, 30), "Finish Milestone")]:
        a, _ = activity(aid, desc, day, 0, ActivityType=kind, WBSCode="0", WBSCodeWithSeparators="CLN.00")
        a["codes"] = {"AREA": "SITE", "RESP": "GC", "PHAS": "PRE", "TRAD": "MGMT", "FLOR": "", "CRIT": "Y"}
        a["MandatoryConstraintType"] = "Mandatory finish" if kind == "Finish Milestone" else None
        a["MandatoryConstraintDate"] = iso(day, 17) if kind == "Finish Milestone" else None
        a["logs"] = []
        acts.append(a)
    # An activity with log lines 1, 2 and 99, and one suspended activity.
    acts[3]["logs"] = [[1, "Permit fee paid"], [2, "Fire department review"], [99, "Closed out"]]
    acts[40]["SuspendDate"] = iso(dt.date(2025, 7, 14))
    acts[40]["ResumeDate"] = iso(dt.date(2025, 7, 28))
    filters = [
        {"id": "CR", "title": "Critical activities",
         "criteria": [{"field": "TotalFloat", "op": "le", "value": 0}]},
        {"id": "EL", "title": "Electrical trade",
         "criteria": [{"field": "TRAD", "op": "eq", "value": "ELEC"}]},
        {"id": "L2", "title": "Level 2 works",
         "criteria": [{"field": "FLOR", "op": "eq", "value": "L2"}]},
        {"id": "IP", "title": "In progress",
         "criteria": [{"field": "PercentComplete", "op": "gt", "value": 0},
                      {"field": "PercentComplete", "op": "lt", "value": 100}]},
    ]
    return codes, filters, acts


def simple_project(rng, prefix, names, start, codes=None, code_values=None, wbs="X"):
    acts = []
    day = start
    for i, name in enumerate(names):
        duration = rng.choice([1, 3, 5, 10])
        a, f = activity("%s%03d" % (prefix, (i + 1) * 10), name, day, duration,
                        WBSCode="%d" % (i + 1), WBSCodeWithSeparators="%s.%02d" % (wbs, i + 1))
        if codes:
            a["codes"] = {c: code_values(c, i) for c, _ in codes}
        progress(a, rng, day, f, duration)
        a["logs"] = log_lines(rng, rng.randint(0, 4))
        acts.append(a)
        day = add_workdays(f, 1)
    return acts


def header(title, codes=(), filters=(), activities=None, subprojects=None):
    h = {"format": "p3sim-project", "version": 1, "title": title,
         "activityCodes": [{"name": n, "title": t} for n, t in codes],
         "filters": list(filters)}
    if subprojects:
        h["subprojects"] = subprojects
    else:
        h["activities"] = activities
    return h


def write_json(path, obj):
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        json.dump(obj, f, indent=2, ensure_ascii=False)
        f.write("\n")


def write_activities(path, acts):
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        for a in acts:
            f.write(json.dumps(a, ensure_ascii=False, separators=(",", ":")))
            f.write("\n")


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "projects")
    os.makedirs(out, exist_ok=True)
    rng = random.Random(20250303)

    codes, filters, acts = clinic(rng)
    write_json(os.path.join(out, "CLINdir.p3"),
               header("Riverside Clinic", codes, filters, "CLIN.activities.jsonl"))
    write_activities(os.path.join(out, "CLIN.activities.jsonl"), acts)

    camp_codes = [("BLDG", "Building"), ("RESP", "Responsibility")]
    libr = simple_project(rng, "L", ["Library foundations", "Library frame", "Library roof",
                                     "Library glazing", "Library shelving", "Library handover"],
                          dt.date(2025, 4, 7), camp_codes,
                          lambda c, i: "LIB" if c == "BLDG" else ("GC" if i % 2 else "SUB"), "NC.LIB")
    sprt = simple_project(rng, "S", ["Sports hall piling", "Sports hall steel", "Cladding",
                                     "Sprung floor", "Changing rooms", "Sports hall handover"],
                          dt.date(2025, 5, 5), camp_codes,
                          lambda c, i: "SPH" if c == "BLDG" else "GC", "NC.SPH")
    write_json(os.path.join(out, "CAMPdir.p3"), header(
        "North Campus", camp_codes, [{"id": "GC", "title": "General contractor",
                                      "criteria": [{"field": "RESP", "op": "eq", "value": "GC"}]}],
        subprojects=[{"name": "LIBR", "title": "North Campus - Library",
                      "activities": "CAMP.LIBR.activities.jsonl"},
                     {"name": "SPRT", "title": "North Campus - Sports hall",
                      "activities": "CAMP.SPRT.activities.jsonl"}]))
    write_activities(os.path.join(out, "CAMP.LIBR.activities.jsonl"), libr)
    write_activities(os.path.join(out, "CAMP.SPRT.activities.jsonl"), sprt)

    depo = simple_project(rng, "D", ["Set out canopy", "Pad foundations", "Erect columns",
                                     "Roof sheeting", "Gutters and downpipes", "Lighting"],
                          dt.date(2025, 6, 2))
    write_json(os.path.join(out, "DEPOdir.p3"), header("Bus Depot Canopy", activities="DEPO.activities.jsonl"))
    write_activities(os.path.join(out, "DEPO.activities.jsonl"), depo)

    twnt_codes = [("C%02d" % k, "Code %d" % k) for k in range(1, 21)]
    twnt = simple_project(rng, "T", ["Tower A strip-out", "Tower A partitions", "Tower A services",
                                     "Tower B strip-out", "Tower B partitions", "Tower B services",
                                     "Lobby finishes", "Handover"],
                          dt.date(2025, 2, 3), twnt_codes,
                          lambda c, i: "%s-%d" % (c, i + 1), "TT")
    write_json(os.path.join(out, "TWNTdir.p3"),
               header("Twin Towers Fit-out", twnt_codes, activities="TWNT.activities.jsonl"))
    write_activities(os.path.join(out, "TWNT.activities.jsonl"), twnt)

    write_json(os.path.join(out, "p3users.json"), {"users": [
        {"name": "PLANNER", "password": "SCHEDULE"},
        {"name": "SITEMGR", "password": "CONCRETE", "signedInElsewhere": True},
    ]})
    print("%d activities in CLIN, samples written to %s" % (len(acts), out))


if __name__ == "__main__":
    main()
