#!/usr/bin/env python3
"""The benchmark run as a short table, with the targets, and beside an earlier run.

    report.py RESULTS.json [--compare EARLIER.json]

Reads Google Benchmark's JSON (medians of the repetitions). Each update is set against
its floor: (update - the stand-in's own entries for that frame) / floor, at most 1.3.
Each scan is set against the 100-actor scan per actor: at 10,000 actors at most 1.5.
Exits 1 when a benchmark reported an error (the floor check among them).
"""

import argparse
import json
import math
import sys

UPDATE_TARGET = 1.3
SCAN_TARGET = 1.5
SCAN_TARGET_ACTORS = 10000
SCAN_BASE_ACTORS = 100
FRAME_NS = 1e9 / 60

UNITS = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}


def case_name(name):
    return name.replace("/real_time", "").replace("/manual_time", "")


def load(path):
    """Median time (ns) and allocations per case, the fits, the errors, the context."""
    with open(path) as f:
        run = json.load(f)
    medians, fits, errors = {}, {}, []
    for b in run["benchmarks"]:
        if b.get("error_occurred"):
            errors.append(f"{case_name(b['run_name'])}: {b.get('error_message', 'error')}")
            continue
        aggregate = b.get("aggregate_name")
        if aggregate == "median" or (b.get("run_type") == "iteration" and aggregate is None):
            ns = b["real_time"] * UNITS[b["time_unit"]]
            allocs = b.get("allocs")
            medians[case_name(b["run_name"])] = (ns, allocs)
        elif aggregate in ("BigO", "RMS"):
            fits.setdefault(case_name(b["run_name"]), {})[aggregate] = b
    return run["context"], medians, fits, errors


def format_ns(ns):
    if ns >= 1e6:
        return f"{ns / 1e6:.2f} ms"
    if ns >= 1e3:
        return f"{ns / 1e3:.2f} us"
    return f"{ns:.1f} ns"


def format_allocs(allocs):
    if allocs is None or (isinstance(allocs, float) and math.isnan(allocs)):
        return ""
    return f"{allocs:.2f}".rstrip("0").rstrip(".")


def verdict(ratio, target):
    return "met" if ratio <= target else f"MISSED by {ratio / target - 1:.0%}"


def table(context, medians, fits):
    rows = []
    notes = []
    worst_update = 0.0
    for name, (ns, allocs) in medians.items():
        ratio = target = ""
        parts = name.split("/")
        if parts[0] == "UpdateTracking":
            scene = "/".join(parts[1:])
            floor = medians.get(f"Floor/{scene}")
            host = medians.get(f"HostEntries/{scene}")
            worst_update = max(worst_update, ns)
            if floor and host:
                value = (ns - host[0]) / floor[0]
                ratio = f"{value:.2f} x floor"
                target = f"<= {UPDATE_TARGET}: {verdict(value, UPDATE_TARGET)}"
        elif parts[0] in ("Scan", "ScanWindows", "ScanHostEntries"):
            actors = int(parts[1])
            per_actor = ns / actors
            name = f"{name} ({format_ns(per_actor)}/actor)"
            base = medians.get(f"{parts[0]}/{SCAN_BASE_ACTORS}")
            if base and parts[0] != "ScanHostEntries":
                value = per_actor / (base[0] / SCAN_BASE_ACTORS)
                ratio = f"{value:.2f} x /{SCAN_BASE_ACTORS}"
                if parts[0] == "Scan" and actors == SCAN_TARGET_ACTORS:
                    target = f"<= {SCAN_TARGET}: {verdict(value, SCAN_TARGET)}"
                    cold = medians.get(f"ScanWindows/{SCAN_BASE_ACTORS}")
                    if cold:
                        against_cold = per_actor / (cold[0] / SCAN_BASE_ACTORS)
                        target += f"; {against_cold:.2f} x a cold /{SCAN_BASE_ACTORS}: {verdict(against_cold, SCAN_TARGET)}"
        rows.append((name, format_ns(ns), ratio, target, format_allocs(allocs)))
    for name, fit in fits.items():
        big_o, rms = fit.get("BigO"), fit.get("RMS")
        if big_o:
            notes.append(f"{name}: fitted {big_o['real_coefficient']:.2f} ns x {big_o['big_o']}"
                         + (f", RMS {rms['rms'] * 100:.0f} %" if rms else ""))
    header = ("case", "time/call", "ratio", "target", "allocs")
    widths = [max(len(str(r[i])) for r in rows + [header]) for i in range(len(header))]
    line = lambda r: "  ".join(str(c).ljust(w) for c, w in zip(r, widths)).rstrip()
    print(f"Veldrin benchmarks, {context.get('date', '')}, {context.get('num_cpus')} cores "
          f"at {context.get('mhz_per_cpu')} MHz (medians of the repetitions, wall time)")
    print("update ratio: (update - the stand-in's entries for that frame) / floor; "
          "scan ratio: time per actor / the same at 100 actors")
    print(line(header))
    print(line(["-" * w for w in widths]))
    for r in rows:
        print(line(r))
    for n in notes:
        print(n)
    if worst_update:
        print(f"per-frame cost: {format_ns(worst_update)} at most, "
              f"{worst_update / FRAME_NS:.4%} of a 60 fps frame ({format_ns(FRAME_NS)})")


def compare(medians, earlier_path):
    _, earlier, _, _ = load(earlier_path)
    print(f"\nagainst {earlier_path}:")
    rows = [("case", "earlier", "now", "change")]
    for name, (ns, _) in medians.items():
        if name in earlier:
            old = earlier[name][0]
            rows.append((name, format_ns(old), format_ns(ns), f"{ns / old - 1:+.1%}"))
    widths = [max(len(r[i]) for r in rows) for i in range(4)]
    for r in rows:
        print("  ".join(c.ljust(w) for c, w in zip(r, widths)).rstrip())


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("results")
    parser.add_argument("--compare", metavar="EARLIER")
    args = parser.parse_args()
    context, medians, fits, errors = load(args.results)
    table(context, medians, fits)
    if args.compare:
        compare(medians, args.compare)
    print(f"\nrun written to {args.results}")
    for e in errors:
        print(f"FAILED: {e}", file=sys.stderr)
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
