#!/usr/bin/env python3
"""morvane_lookup.join: every pair within a threshold, against the full
matrix a peer offers, in one process.

  * self: a self-join of 50,000 realistic records (Levenshtein <= 2 with
    folding, OSA <= 2, Jaro-Winkler >= 0.92), against rapidfuzz's
    process.cdist(names, names, score_cutoff=..., workers=-1) and
    numpy.nonzero over the upper triangle. rapidfuzz runs on --peer-size
    records (default 10,000: at 50,000 it takes minutes a measure); ours runs
    at both sizes, and the pairs are compared at the peer's size. Target: at
    least 10x at 50,000 (the peer's time there taken as its time at the
    smaller size times the square of the ratio of sizes, the work of a full
    matrix).
  * growth: the self-join at 10^5, 3*10^5 and 10^6 records, Levenshtein <= 2
    with folding, two workers, each in a fresh process: time, pairs, peak
    resident memory, and the growth exponent between sizes (a full matrix
    would be 2). Targets: 10^6 within 10 minutes, under 2 GiB.
  * linkage: 10^5 typo'd records against 10^6 clean ones, each measure, two
    workers (no peer: 10^11 scores).

rapidfuzz has no folding: it gets the records lowered beforehand (outside
the timing). Its Jaro-Winkler cdist gives float32; the pairs are compared
with its float64 output.
"""

from __future__ import annotations

import os

for _var in ("OPENBLAS_NUM_THREADS", "OMP_NUM_THREADS", "MKL_NUM_THREADS"):
    os.environ.setdefault(_var, "1")  # BLAS threads spin and steal the second core

import argparse
import math
import random
import subprocess
import sys
import time

import numpy as np

import harness
import morvane_lookup as ml
import workloads

try:
    from rapidfuzz import distance as rf_distance, process as rf_process
except ImportError:  # the peer is optional; ours still runs
    rf_process = None

CASES = [("levenshtein", 2, True), ("damerau", 2, False), ("jaro_winkler", 0.92, False)]


def scorer(measure):
    return {"levenshtein": rf_distance.Levenshtein.distance, "damerau": rf_distance.OSA.distance,
            "jaro_winkler": rf_distance.JaroWinkler.similarity}[measure]


def peer_pairs(names, measure, cutoff):
    dtype = np.uint8 if measure != "jaro_winkler" else np.float64
    m = rf_process.cdist(names, names, scorer=scorer(measure), score_cutoff=cutoff, workers=-1, dtype=dtype)
    keep = m <= cutoff if measure != "jaro_winkler" else m >= cutoff
    i, j = np.nonzero(np.triu(keep, 1))
    return set(zip(i.tolist(), j.tolist()))


def self_join(cfg, targets, cache):
    harness.heading(f"self: {cfg.size:,} records joined with themselves (peer at {cfg.peer_size:,})")
    records = workloads.records(cfg.size, 21)
    small = records[:cfg.peer_size]
    rows = []
    for measure, cutoff, fold in CASES:
        kw = dict(measure=measure, score_cutoff=cutoff, case_insensitive=fold or None, workers=-1)
        big = harness.time_turns([lambda: ml.join(records, **kw)], cfg.repeats, warmup=False)[0]
        found = ml.join(records, **kw)
        little = harness.time_turns([lambda: ml.join(small, **kw)], cfg.repeats)[0]
        row = [measure, cutoff, "on" if fold else "off", f"{len(found.left):,}",
               harness.fmt_duration(big.median * 1e9), harness.fmt_duration(little.median * 1e9)]
        if rf_process is None:
            rows.append(row + ["-", "-", "-"])
            continue
        names = [s.lower() for s in small] if fold else small
        peer = harness.time_turns([lambda: peer_pairs(names, measure, cutoff)], max(1, cfg.repeats // 2),
                                  warmup=False)[0]
        ours = ml.join(small, **kw)
        mine = set(zip(ours.left.tolist(), ours.right.tolist()))
        theirs = peer_pairs(names, measure, cutoff)
        note = "same pairs" if mine == theirs else f"{len(mine - theirs)} only ours, {len(theirs - mine)} only theirs"
        estimate = peer.median * (cfg.size / cfg.peer_size) ** 2
        speedup = estimate / big.median
        rows.append(row + [harness.fmt_duration(peer.median * 1e9), f"{speedup:,.0f}x", note])
        targets.append((f"self {measure}: at least 10x the peer's full matrix", speedup >= 10, f"{speedup:,.0f}x"))
        harness.record("self", measure=measure, ours_s=big.values, ours_small_s=little.values,
                       peer_small_s=peer.values, pairs=len(found.left), note=note)
        if mine != theirs:
            for i, j in sorted(theirs - mine)[:3]:
                print(f"  only rapidfuzz: {small[i]!r} {small[j]!r}")
            for i, j in sorted(mine - theirs)[:3]:
                ours_value = ml.cdist([small[i]], [small[j]], measure=measure)[0, 0]
                theirs_value = scorer(measure)(names[i], names[j])
                print(f"  only ours: {small[i]!r} {small[j]!r}: ours {ours_value!r}, rapidfuzz's pair {theirs_value!r}")
    harness.table(["measure", "cut-off", "fold", "pairs", f"ours {cfg.size:,}", f"ours {cfg.peer_size:,}",
                   f"peer {cfg.peer_size:,}", "speed-up at full size", "check"], rows)


GROWTH_CHILD = """
import resource, sys, time
sys.path.insert(0, {bench!r})
import workloads, morvane_lookup as ml
records = workloads.records({n}, 23)
t0 = time.perf_counter()
found = ml.join(records, score_cutoff=2, case_insensitive=True, workers=2)
print(time.perf_counter() - t0, len(found.left), resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024,
      len(set(records)))
"""


def growth(cfg, targets, cache):
    harness.heading("growth: self-joins, Levenshtein <= 2, folded, two workers, a fresh process each")
    here = os.path.dirname(os.path.abspath(__file__))
    rows, points = [], []
    for n in cfg.growth:
        out = subprocess.run([sys.executable, "-c", GROWTH_CHILD.format(bench=here, n=n)], capture_output=True,
                             text=True, check=True).stdout.split()
        seconds, pairs, peak, distinct = float(out[0]), int(out[1]), int(out[2]), int(out[3])
        exponent = "" if not points else f"{math.log(seconds / points[-1][1]) / math.log(n / points[-1][0]):.2f}"
        points.append((n, seconds))
        rows.append([f"{n:,}", f"{distinct:,}", f"{seconds:.2f} s", f"{pairs:,}", f"{peak / 2**20:,.0f} MiB", exponent])
        harness.record("growth", n=n, seconds=seconds, pairs=pairs, peak_rss=peak, distinct=distinct)
    harness.table(["records", "distinct", "time", "pairs", "peak RSS", "exponent"], rows)
    if cfg.growth[-1] >= 10**6:
        seconds = points[-1][1]
        peak = int(rows[-1][4].split()[0].replace(",", "")) * 2**20
        targets.append(("growth: 10^6 within 10 minutes", seconds <= 600, f"{seconds:.0f} s"))
        targets.append(("growth: 10^6 under 2 GiB", peak < 2**31, rows[-1][4]))


def linkage(cfg, targets, cache):
    clean = workloads.records(cfg.clean, 25)
    rng = random.Random(27)
    dirty = [workloads.typo(rng, rng.choice(clean)) if rng.random() < 0.7 else r
             for r in workloads.records(cfg.dirty, 29)]
    harness.heading(f"linkage: {cfg.dirty:,} typo'd records against {cfg.clean:,} clean ones, two workers")
    index = ml.Index(clean)
    rows = []
    for measure, cutoff, fold in CASES:
        target = ml.Index(clean, case_insensitive=True) if fold else index
        t0 = time.perf_counter()
        found = ml.join(dirty, target, measure=measure, score_cutoff=cutoff, workers=2)
        seconds = time.perf_counter() - t0
        rows.append([measure, cutoff, "on" if fold else "off", f"{len(found.left):,}", f"{seconds:.2f} s",
                     f"{len(set(found.left.tolist())):,}"])
        harness.record("linkage", measure=measure, seconds=seconds, pairs=len(found.left))
    harness.table(["measure", "cut-off", "fold", "pairs", "time", "records matched"], rows)


SECTIONS = {"self": self_join, "growth": growth, "linkage": linkage}


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--quick", action="store_true", help="small sizes, few repeats: a smoke run")
    parser.add_argument("--only", default=",".join(SECTIONS), help="comma-separated sections")
    parser.add_argument("--peer-size", type=int, default=None, help="records for the peer's full matrix")
    parser.add_argument("--repeats", type=int, help="timed repeats per contender")
    parser.add_argument("--json", help="also write the figures to this file")
    args = parser.parse_args()
    chosen = harness.parse_sections(parser, args.only, SECTIONS)
    q = args.quick
    cfg = argparse.Namespace(size=3000 if q else 50_000, peer_size=args.peer_size or (1000 if q else 10_000),
                             repeats=2 if q else 3, growth=[10_000, 30_000] if q else [100_000, 300_000, 1_000_000],
                             clean=10_000 if q else 1_000_000, dirty=1000 if q else 100_000)
    if args.repeats:
        cfg.repeats = args.repeats
    harness.print_environment(f"{'quick' if q else 'full'} run")
    targets = []
    harness.run_sections(SECTIONS, chosen, cfg, targets, {})
    if args.json:
        harness.write_json(args.json, "bench_join.py", sys.argv[1:], targets)


if __name__ == "__main__":
    main()
