#!/usr/bin/env python3
"""morvane_lookup.join, every pair within a threshold, against the full
matrix a peer offers, in one process.

Sections:
  * self: a self-join of 50,000 realistic records (--quick 3,000):
    Levenshtein <= 2 with folding, OSA <= 2, Jaro-Winkler >= 0.92, against
    rapidfuzz.process.cdist(names, names, scorer=..., score_cutoff=...,
    workers=-1, dtype=np.uint8 for distances) and numpy.nonzero over the
    upper triangle (i < j), taken a block of rows at a time. rapidfuzz runs
    at the full size when its time there, estimated from a run at --peer-size
    records (default 10,000) times the square of the ratio of sizes, is at
    most --peer-budget seconds (default 180) and its matrix fits in a quarter
    of the available memory; otherwise at --peer-size, and the output says
    so. Ours is timed at both sizes. The pairs are compared as sets at the
    peer's size before its figures count; pairs found by one side only are
    listed with the pair functions' scores. Target: at least 10x at the
    peer's size.
  * growth: the self-join at 10^5, 3*10^5 and 10^6 records (--quick 10^4,
    3*10^4), Levenshtein <= 2 with folding, two workers, each size in a
    fresh process so that its peak resident memory is its own: time, pairs,
    peak resident memory, and the growth exponent log(t2/t1)/log(n2/n1)
    between sizes (a full matrix would be 2). Each process checks its join
    on a sample of rows against rapidfuzz's cdist rows. Targets: 10^6
    within 10 minutes and under 2 GiB.
  * linkage: 10^5 typo'd records (typos of records drawn from the clean set,
    and of fresh ones) against 10^6 clean ones (--quick 10^3 against
    10^4), each measure at the self-join's cut-off, two workers: time and
    pairs, and how many typo'd copies found their source. rapidfuzz's full
    matrix is not run at this size (10^11 scores); the join is checked on a
    sample of rows against rapidfuzz's cdist rows instead.

Folding: rapidfuzz has none, so it gets the records lowered with str.lower()
beforehand, outside the timing. Figures are medians over the repeats with
min-max ranges; ratios are taken repeat by repeat, the contenders in turns,
with the garbage collector off.
"""

from __future__ import annotations

import os

for _var in ("OPENBLAS_NUM_THREADS", "OMP_NUM_THREADS", "MKL_NUM_THREADS", "NUMEXPR_NUM_THREADS"):
    os.environ.setdefault(_var, "1")  # BLAS threads spin and steal the second core

import argparse
import json
import math
import random
import statistics
import subprocess
import sys
import time

import numpy as np

import harness
import morvane
import morvane_lookup as ml
import workloads

try:
    from rapidfuzz import distance as rf_distance, process as rf_process
except ImportError:  # the peer is optional; ours still runs
    rf_process = None

# (measure, cut-off, folded)
CASES = [("levenshtein", 2, True), ("damerau", 2, False), ("jaro_winkler", 0.92, False)]
PAIR_FUNCTIONS = {"levenshtein": morvane.levenshtein_bp, "damerau": morvane.damerau_bp,
                  "jaro_winkler": morvane.jaro_winkler_similarity}
WORKERS = 2
SAMPLE_ROWS = 20
ROW_BLOCK = 1024


def scorer(measure):
    return {"levenshtein": rf_distance.Levenshtein.distance, "damerau": rf_distance.OSA.distance,
            "jaro_winkler": rf_distance.JaroWinkler.similarity}[measure]


def peer_dtype(measure):
    # Distances with a cut-off of 2 fit a byte; similarities stay the default.
    return np.uint8 if measure != "jaro_winkler" else None


def passes(block: np.ndarray, measure: str, cutoff) -> np.ndarray:
    return block >= cutoff if measure == "jaro_winkler" else block <= cutoff


def peer_pairs(names: list[str], measure: str, cutoff) -> tuple[np.ndarray, np.ndarray]:
    """rapidfuzz's full matrix of `names` against themselves, then the
    pairs i < j that pass, a block of rows at a time."""
    m = rf_process.cdist(names, names, scorer=scorer(measure), score_cutoff=cutoff, workers=-1,
                         dtype=peer_dtype(measure))
    lefts, rights = [], []
    for b in range(0, len(names), ROW_BLOCK):
        i, j = np.nonzero(passes(m[b:b + ROW_BLOCK], measure, cutoff))
        i += b
        upper = i < j
        lefts.append(i[upper])
        rights.append(j[upper])
    del m
    return np.concatenate(lefts), np.concatenate(rights)


def pair_set(left: np.ndarray, right: np.ndarray) -> set:
    return set(zip(left.tolist(), right.tolist()))


def cell(s: harness.Samples) -> str:
    lo, hi = min(s.values), max(s.values)
    if s.median >= 1:
        return f"{s.median:,.2f} s ({lo:,.2f}-{hi:,.2f})"
    return f"{s.median * 1e3:,.1f} ms ({lo * 1e3:,.1f}-{hi * 1e3:,.1f})"


def ratio_cell(r: list[float]) -> str:
    return f"{statistics.median(r):,.1f}x ({min(r):,.1f}-{max(r):,.1f})"


def available_bytes() -> int:
    try:
        with open("/proc/meminfo", encoding="ascii") as f:
            for line in f:
                if line.startswith("MemAvailable:"):
                    return int(line.split()[1]) * 1024
    except OSError:
        pass
    return 4 << 30


def at_cutoff(a: str, b: str, measure: str, cutoff, fold: bool) -> bool:
    """Whether the pair function scores (a, b) within 1e-9 of the cut-off:
    a pair that rounding may put on either side of it."""
    return abs(PAIR_FUNCTIONS[measure](a, b, case_insensitive=fold) - cutoff) <= 1e-9


def describe_differences(records, names, measure, fold, only_ours, only_theirs, limit=5) -> list[str]:
    fn, peer_fn = PAIR_FUNCTIONS[measure], scorer(measure)
    out = []
    for side, pairs in (("only ours", only_ours), ("only rapidfuzz", only_theirs)):
        for i, j in sorted(pairs)[:limit]:
            mine = fn(records[i], records[j], case_insensitive=True) if fold else fn(records[i], records[j])
            out.append(f"  {side}: ({i}, {j}) {records[i]!r} {records[j]!r}: morvane pair function {mine!r}, "
                       f"rapidfuzz pair {peer_fn(names[i], names[j])!r}")
        if len(pairs) > limit:
            out.append(f"  {side}: {len(pairs) - limit} more")
    return out


def self_join(cfg, targets, cache):
    harness.heading(f"self: {cfg.size:,} records joined with themselves, ours with workers={WORKERS}, "
                    f"rapidfuzz cdist with workers=-1; median (min-max) of {cfg.repeats} repeats")
    records = workloads.records(cfg.size, 21, workloads.ALL_SCRIPTS)
    lowered = [r.lower() for r in records]
    rows, notes = [], []
    for measure, cutoff, fold in CASES:
        kw = dict(measure=measure, score_cutoff=cutoff, case_insensitive=fold, workers=WORKERS)
        (big,) = harness.time_turns([lambda: ml.join(records, **kw)], cfg.repeats)
        found = ml.join(records, **kw)
        row = [measure, cutoff, "on" if fold else "off", f"{len(found.left):,}", cell(big)]
        if rf_process is None:
            rows.append(row + ["-", "-", "-", "-", "rapidfuzz not importable"])
            continue
        # The peer's size: the full one when its time and matrix allow.
        small_n = min(cfg.peer_size, cfg.size)
        names_small = (lowered if fold else records)[:small_n]
        t0 = time.perf_counter()
        pilot = peer_pairs(names_small, measure, cutoff)
        pilot_s = time.perf_counter() - t0
        estimate = pilot_s * (cfg.size / small_n) ** 2
        matrix = cfg.size * cfg.size * (1 if measure != "jaro_winkler" else 4)
        if small_n == cfg.size or (estimate <= cfg.peer_budget and matrix <= available_bytes() // 4):
            n = cfg.size
            where = "full size"
        else:
            n = small_n
            why = f"est. {estimate:,.0f} s" if estimate > cfg.peer_budget else f"matrix {matrix / 2**30:.1f} GiB"
            where = f"{n:,} ({why} at {cfg.size:,})"
            notes.append(f"{measure}: rapidfuzz run at {n:,} records, not {cfg.size:,}: at {cfg.size:,} its "
                         f"time would be about {estimate:,.0f} s (from {pilot_s:.1f} s at {small_n:,}) "
                         f"and its matrix {matrix / 2**30:.1f} GiB")
        part = records[:n]
        names = (lowered if fold else records)[:n]
        # Same pairs first; the check's calls are the warm-up.
        ours = ml.join(part, **kw) if n != cfg.size else found
        theirs = pilot if n == small_n else peer_pairs(names, measure, cutoff)
        mine, peer = pair_set(ours.left, ours.right), pair_set(*theirs)
        del theirs, pilot
        at_cut = sum(1 for i, j in mine ^ peer if at_cutoff(part[i], part[j], measure, cutoff, fold))
        if mine == peer:
            check = f"same {len(mine):,} pairs"
        else:
            check = f"{len(mine - peer):,} only ours, {len(peer - mine):,} only rapidfuzz"
            if at_cut == len(mine ^ peer):
                check += ", all at the cut-off"
            notes.append(f"{measure} at {n:,}: {check}")
            notes += describe_differences(part, names, measure, fold, mine - peer, peer - mine)
        counts = at_cut == len(mine ^ peer)
        o, t = harness.time_turns([lambda: ml.join(part, **kw), lambda: peer_pairs(names, measure, cutoff)],
                                  cfg.peer_repeats, warmup=False)
        r = [p / q for p, q in zip(t.values, o.values)]
        rows.append(row + [where, cell(o), cell(t), ratio_cell(r), check])
        harness.record("self", measure=measure, cutoff=cutoff, folded=fold, records=cfg.size,
                       pairs=len(found.left), ours_s=big.values, peer_records=n, ours_at_peer_size_s=o.values,
                       rapidfuzz_s=t.values, rapidfuzz_estimate_full_s=estimate if n != cfg.size else None,
                       only_ours=len(mine - peer), only_rapidfuzz=len(peer - mine))
        if counts:
            targets.append((f"self {measure}: ours at least 10x rapidfuzz's full matrix at {n:,}",
                            statistics.median(r) >= 10, ratio_cell(r)))
        else:
            targets.append((f"self {measure}: same pairs as rapidfuzz at {n:,}", False, check))
        sys.stdout.flush()
    harness.table(["measure", "cut-off", "fold", "pairs", f"ours at {cfg.size:,}", "rapidfuzz run at",
                   "ours there", "rapidfuzz there", "rapidfuzz / ours", "check"], rows, right={3, 4, 6, 7, 8})
    for line in notes:
        print(line)
    if notes:
        print("  (pairs at the cut-off: scored within 1e-9 of it, which one side keeps and the other cuts;"
              " such measures still count, others do not)\n")


def sample_check(left, right, found, measure, cutoff, fold, rows: list[int], self_join: bool) -> str:
    """The join's pairs of the sampled left rows against rapidfuzz's cdist
    rows over the whole right side."""
    if rf_process is None:
        return "rapidfuzz not importable: not checked"
    q = [left[i] for i in rows]
    names = right
    if fold:
        q, names = [s.lower() for s in q], [s.lower() for s in right]
    m = rf_process.cdist(q, names, scorer=scorer(measure), score_cutoff=cutoff, workers=WORKERS,
                         dtype=peer_dtype(measure))
    want = set()
    for k, i in enumerate(rows):
        for j in np.nonzero(passes(m[k], measure, cutoff))[0].tolist():
            if not self_join or i < j:
                want.add((i, j))
    chosen = set(rows)
    got = {(i, j) for i, j in zip(found.left.tolist(), found.right.tolist()) if i in chosen}
    if got == want:
        return f"{len(rows)} rows: same {len(got):,} pairs"
    differ = got ^ want
    at_cut = sum(1 for i, j in differ if at_cutoff(left[i], right[j], measure, cutoff, fold))
    return (f"{len(rows)} rows: {len(got - want)} only ours, {len(want - got)} only rapidfuzz"
            + (", all at the cut-off" if at_cut == len(differ) else f" ({at_cut} at the cut-off)")
            + f": {sorted(differ)[:3]}")


GROWTH_CHILD = r"""
import gc, json, random, sys, time
sys.path.insert(0, {bench!r})
import workloads, morvane_lookup as ml
from bench_join import sample_check

def peak_rss():
    # VmHWM belongs to this process's own memory map; ru_maxrss would carry
    # the parent's peak over the fork.
    with open("/proc/self/status") as f:
        return next(int(line.split()[1]) * 1024 for line in f if line.startswith("VmHWM:"))
records = workloads.records({n}, 23, workloads.ALL_SCRIPTS)
workloads._CACHE.clear()
gc.collect()
before = peak_rss()
gc.disable()
t0 = time.perf_counter()
found = ml.join(records, score_cutoff=2, case_insensitive=True, workers={workers})
seconds = time.perf_counter() - t0
peak = peak_rss()
rows = sorted(random.Random(5).sample(range(len(records)), {sample}))
check = sample_check(records, records, found, "levenshtein", 2, True, rows, True)
print(json.dumps(dict(seconds=seconds, pairs=len(found.left), peak=peak, before=before,
                      distinct=len(set(records)), check=check)))
"""


def growth(cfg, targets, cache):
    harness.heading(f"growth: self-joins, Levenshtein <= 2, folded, workers={WORKERS}, a fresh process each")
    here = os.path.dirname(os.path.abspath(__file__))
    rows, points = [], []
    for n in cfg.growth:
        proc = subprocess.run([sys.executable, "-c", GROWTH_CHILD.format(bench=here, n=n, workers=WORKERS,
                                                                         sample=SAMPLE_ROWS)],
                              capture_output=True, text=True)
        if proc.returncode != 0:
            print(f"  {n:,} records: the process failed ({proc.returncode}): {proc.stderr.strip()[-2000:]}")
            rows.append([f"{n:,}", "-", "failed", "-", "-", "-", "-", "-"])
            break
        out = json.loads(proc.stdout.strip().splitlines()[-1])
        exponent = "" if not points else \
            f"{math.log(out['seconds'] / points[-1][1]) / math.log(n / points[-1][0]):.2f}"
        points.append((n, out["seconds"], out["peak"]))
        rows.append([f"{n:,}", f"{out['distinct']:,}", f"{out['seconds']:,.2f} s", f"{out['pairs']:,}",
                     f"{out['before'] / 2**20:,.0f} MiB", f"{out['peak'] / 2**20:,.0f} MiB", exponent, out["check"]])
        harness.record("growth", records=n, **out)
        sys.stdout.flush()
    harness.table(["records", "distinct", "time", "pairs", "peak RSS before join", "peak RSS", "exponent",
                   "sample check against rapidfuzz"], rows, right={1, 2, 3, 4, 5, 6})
    largest = cfg.growth[-1]
    done = points and points[-1][0] == largest
    label = f"{largest:,}"
    targets.append((f"growth: {label} records within 10 minutes", bool(done) and points[-1][1] <= 600,
                    f"{points[-1][1]:,.0f} s" if done else "did not finish"))
    targets.append((f"growth: {label} records under 2 GiB peak", bool(done) and points[-1][2] < 2**31,
                    f"{points[-1][2] / 2**20:,.0f} MiB" if done else "did not finish"))


def linkage(cfg, targets, cache):
    clean = workloads.records(cfg.clean, 25, workloads.ALL_SCRIPTS)
    rng = random.Random(27)
    fresh = workloads.records(cfg.dirty, 29, workloads.ALL_SCRIPTS)
    dirty, source = [], []
    for k in range(cfg.dirty):
        if rng.random() < 0.7:
            j = rng.randrange(len(clean))
            dirty.append(workloads.typo(rng, clean[j]))
            source.append(j)
        else:
            dirty.append(workloads.typo(rng, fresh[k]))
            source.append(-1)
    copies = sum(1 for s in source if s >= 0)
    harness.heading(f"linkage: {cfg.dirty:,} typo'd records ({copies:,} of clean ones, the rest fresh) against "
                    f"{cfg.clean:,} clean ones, workers={WORKERS}; median (min-max) of {cfg.linkage_repeats}")
    print(f"rapidfuzz's full matrix is not run at this size ({cfg.dirty * cfg.clean:.1e} scores); each join is "
          f"checked on {SAMPLE_ROWS} sampled rows against rapidfuzz's cdist rows instead.\n")
    sample = sorted(random.Random(31).sample(range(cfg.dirty), SAMPLE_ROWS))
    rows = []
    for measure, cutoff, fold in CASES:
        def run(measure=measure, cutoff=cutoff, fold=fold):
            return ml.join(dirty, clean, measure=measure, score_cutoff=cutoff, case_insensitive=fold,
                           workers=WORKERS)

        found = run()
        check = sample_check(dirty, clean, found, measure, cutoff, fold, sample, False)
        (t,) = harness.time_turns([run], cfg.linkage_repeats, warmup=False)
        pairs = set(zip(found.left.tolist(), found.right.tolist()))
        recovered = sum(1 for i, j in enumerate(source) if j >= 0 and (i, j) in pairs)
        matched = len(np.unique(found.left))
        rows.append([measure, cutoff, "on" if fold else "off", cell(t), f"{len(found.left):,}", f"{matched:,}",
                     f"{recovered:,} of {copies:,}", check])
        harness.record("linkage", measure=measure, cutoff=cutoff, folded=fold, left=cfg.dirty, right=cfg.clean,
                       seconds=t.values, pairs=len(found.left), left_matched=matched, sources_found=recovered,
                       check=check)
        sys.stdout.flush()
    harness.table(["measure", "cut-off", "fold", "time", "pairs", "typo'd records matched",
                   "copies finding their source", "sample check against rapidfuzz"], rows, right={3, 4, 5, 6})


SECTIONS = {"self": self_join, "growth": growth, "linkage": linkage}


def main(argv=None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--quick", action="store_true", help="small sizes, 2 repeats: a smoke run")
    parser.add_argument("--only", default=",".join(SECTIONS), help=f"comma-separated out of {', '.join(SECTIONS)}")
    parser.add_argument("--repeats", type=int, help="repeats per timing (default 3, quick 2)")
    parser.add_argument("--peer-size", type=int, help="records for rapidfuzz when the full size is too long for it "
                                                      "(default 10,000; quick 1,000)")
    parser.add_argument("--peer-budget", type=float, default=180.0,
                        help="seconds one rapidfuzz matrix may take at the full size (default 180)")
    parser.add_argument("--json", metavar="PATH", help="also write the figures, in plain numbers, to PATH")
    args = parser.parse_args(argv)
    chosen = harness.parse_sections(parser, args.only, SECTIONS)
    q = args.quick
    repeats = args.repeats or (2 if q else 3)
    cfg = argparse.Namespace(size=3000 if q else 50_000, peer_size=args.peer_size or (1000 if q else 10_000),
                             peer_budget=args.peer_budget, repeats=repeats, peer_repeats=repeats,
                             growth=[10_000, 30_000] if q else [100_000, 300_000, 1_000_000],
                             clean=10_000 if q else 1_000_000, dirty=1000 if q else 100_000,
                             linkage_repeats=repeats if q else 2)
    harness.print_environment(f"{'quick' if q else 'full'} run: self-join of {cfg.size:,}, growth "
                              f"{', '.join(f'{n:,}' for n in cfg.growth)}, linkage {cfg.dirty:,} x {cfg.clean:,}, "
                              f"{repeats} repeats")
    print(f"morvane_lookup {ml.__file__}\n")
    targets: list = []
    harness.run_sections(SECTIONS, chosen, cfg, targets, {})
    # Other work on a two-core machine shows in every figure above.
    print(f"load average at the end: {', '.join(f'{x:.2f}' for x in os.getloadavg())}")
    if args.json:
        harness.write_json(args.json, "bench_join.py", sys.argv[1:] if argv is None else list(argv), targets)
    return 0


if __name__ == "__main__":
    sys.exit(main())
