#!/usr/bin/env python3
"""Compares the state hashes in a benchmark report with the stored ones.

usage: bench_validate.py REPORT.json scene_hashes.txt

Every stored scene must have run and ended in its stored state; a scene that
ran but has no stored hash is reported too. Exit status 1 on any difference.
"""
import json
import re
import sys


def stored_hashes(path):
    hashes = {}
    with open(path) as f:
        for line in f:
            line = line.strip()
            if line and not line.startswith("#"):
                name, value = line.split()
                hashes[name] = value
    return hashes


def main():
    report_path, hashes_path = sys.argv[1], sys.argv[2]
    with open(report_path) as f:
        report = json.load(f)
    stored = stored_hashes(hashes_path)
    seen = {}
    for run in report["benchmarks"]:
        match = re.search(r"state=([0-9a-f]{16})", run.get("label", ""))
        if match:
            seen[run["name"]] = match.group(1)
    failures = 0
    for name, value in sorted(stored.items()):
        got = seen.get(name)
        if got is None:
            print(f"not run:  {name}")
            failures += 1
        elif got != value:
            print(f"CHANGED:  {name}: state {got}, stored {value}")
            failures += 1
        else:
            print(f"same:     {name} {value}")
    for name in sorted(set(seen) - set(stored)):
        print(f"no stored hash: {name} {seen[name]}")
        failures += 1
    if failures:
        print(f"{failures} scene(s) differ from bench/scene_hashes.txt", file=sys.stderr)
        return 1
    print("every scene ended in its stored state")
    return 0


if __name__ == "__main__":
    sys.exit(main())
