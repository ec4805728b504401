#!/usr/bin/python3
"""Generates a large P3 project for benchmarks (not kept in git).

    /usr/bin/python3 samples/generate_large_project.py OUTPUT_FOLDER
        [--group BIGP] [--activities 100000] [--max-logs 99] [--codes 6] [--seed 1]

Writes OUTPUT_FOLDER/<group>dir.p3 and OUTPUT_FOLDER/<group>.activities.jsonl
in the simulated P3 server's format (p3sim/README.md). Every activity gets a
random number of logs from 0 to --max-logs, numbered 1 upwards with gaps, so
the mean is about half of --max-logs.
"""

import argparse
import datetime as dt
import json
import os
import random

WORDS = ("inspect pour rebar formwork deliver install test approve submit review crane "
         "crew level grid slab wall duct cable pipe paint seal anchor survey").split()


def main():
    p = argparse.ArgumentParser()
    p.add_argument("folder")
    p.add_argument("--group", default="BIGP")
    p.add_argument("--activities", type=int, default=100000)
    p.add_argument("--max-logs", type=int, default=99)
    p.add_argument("--codes", type=int, default=6)
    p.add_argument("--seed", type=int, default=1)
    a = p.parse_args()
    if not 0 <= a.max_logs <= 99:
        p.error("--max-logs must be 0 to 99")
    rng = random.Random(a.seed)
    os.makedirs(a.folder, exist_ok=True)
    codes = [{"name": "CD%02d" % (k + 1), "title": "Code %d" % (k + 1)} for k in range(a.codes)]
    data_name = "%s.activities.jsonl" % a.group
    with open(os.path.join(a.folder, "%sdir.p3" % a.group), "w", encoding="utf-8") as f:
        json.dump({"format": "p3sim-project", "version": 1,
                   "title": "Generated project of %d activities" % a.activities,
                   "activityCodes": codes,
                   "filters": [{"id": "HF", "title": "Half done",
                                "criteria": [{"field": "PercentComplete", "op": "ge", "value": 50}]}],
                   "activities": data_name}, f, indent=2)
    base = dt.datetime(2024, 1, 8, 8)
    with open(os.path.join(a.folder, data_name), "w", encoding="utf-8", newline="\n") as out:
        for i in range(a.activities):
            start = base + dt.timedelta(days=rng.randint(0, 900))
            dur = rng.randint(1, 40)
            finish = start + dt.timedelta(days=dur)
            logs = []
            n = 0
            for _ in range(rng.randint(0, a.max_logs)):
                n += rng.choice((1, 1, 1, 2))
                if n > 99:
                    break
                logs.append([n, "%s %s at %s%d" % (rng.choice(WORDS), rng.choice(WORDS),
                                                   rng.choice("ABCDEFGH"), rng.randint(1, 40))])
            act = {
                "ActivityID": "B%06d" % i, "Description": "Generated activity %d" % i,
                "OriginalDuration": float(dur), "RemainingDuration": float(dur),
                "TotalFloat": float(rng.randint(-5, 30)), "FreeFloat": 0.0,
                "PercentComplete": float(rng.choice((0, 0, 25, 50, 100))),
                "EarlyStart": start.isoformat(), "EarlyFinish": finish.isoformat(),
                "LateStart": start.isoformat(), "LateFinish": finish.isoformat(),
                "ActivityType": "Task", "WBSCode": "%d.%d" % (i // 1000, i % 1000),
                "WBSCodeWithSeparators": "GEN.%03d.%03d" % (i // 1000, i % 1000),
                "CalendarID": "1",
                "codes": {c["name"]: "V%d" % rng.randint(1, 9) for c in codes},
                "logs": logs,
            }
            out.write(json.dumps(act, separators=(",", ":")))
            out.write("\n")


if __name__ == "__main__":
    main()
