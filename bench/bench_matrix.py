#!/usr/bin/env python3
"""morvane_lookup's many-against-many side next to rapidfuzz, in one process:

  * dense: cdist of 1,000 queries x 100,000 candidates (short words; realistic
    multilingual records with typo'd records as queries), every measure,
    folding off and on, workers 1 and 2, against rapidfuzz.process.cdist with
    the same workers. Target: at least 2x.
  * cutoff: the same with Levenshtein and OSA <= 2, Jaro-Winkler >= 0.9.
    Target: at least 3x.
  * lookups: 100 queries against an Index of 10^6 records, limit=5, one
    worker, against rapidfuzz.process.extract and morvane_lookup.extract
    over the plain list. Targets: 3x and 1.5x.
  * scaling: the dense matrix at workers=2 over workers=1, next to sha256 on
    two threads over one (the machine's own scaling at that moment).
    Target: 1.85x, or the machine's own.
  * memory: an Index of 10^6 records against the list of str it is built
    from (resident memory of a fresh process each), and its build time
    against one levenshtein_batch call over that list. Targets: no more
    memory, at most two batch calls.
  * processor: Index(processor=default_process) built and looked up once on
    10^6 records against rapidfuzz.process.extract(processor=
    utils.default_process); and extract over a column with 10% missing
    values against the same column without them. Targets: 2x; at most 5%.

rapidfuzz has no folding: it gets lists lowered beforehand (outside the
timing) while ours folds itself. Its cdist gives similarities as float32 by
default; the equality check asks it for float64. Before a peer is timed, its
results are compared with ours on the very data timed; figures are medians
over the repeats with min-max ranges of the ratios, contenders in turns.
"""

from __future__ import annotations

import os

for _var in ("OPENBLAS_NUM_THREADS", "OMP_NUM_THREADS", "MKL_NUM_THREADS"):
    os.environ.setdefault(_var, "1")  # BLAS threads spin and steal the second core

import argparse
import concurrent.futures
import hashlib
import random
import subprocess
import sys
import time

import numpy as np

import harness
import morvane
import morvane_lookup as ml
import workloads

try:
    from rapidfuzz import distance as rf_distance, process as rf_process, utils as rf_utils
except ImportError:  # the peer is optional; ours still runs
    rf_process = None

MEASURES = ["levenshtein", "damerau", "jaro_winkler"]
CUTOFFS = {"levenshtein": 2, "damerau": 2, "jaro_winkler": 0.9}


def scorer(measure):
    return {"levenshtein": rf_distance.Levenshtein.distance, "damerau": rf_distance.OSA.distance,
            "jaro_winkler": rf_distance.JaroWinkler.similarity}[measure]


def data(cfg, cache, kind):
    key = ("data", kind)
    if key not in cache:
        rng = random.Random(7)
        if kind == "words":
            choices = workloads.mixed_words(cfg.candidates)
            queries = [harness.near_copy(rng, w, "abcdefghij") for w in rng.sample(choices, cfg.queries)]
        else:
            choices = workloads.records(cfg.candidates, 11)
            queries = [workloads.typo(rng, r) for r in rng.sample(choices, cfg.queries)]
        cache[key] = (queries, choices, [q.lower() for q in queries], [c.lower() for c in choices])
    return cache[key]


def agree(ours, theirs, measure):
    if measure == "jaro_winkler":
        return int(np.count_nonzero(np.abs(ours - theirs) > 1e-9))
    return int(np.count_nonzero(ours != theirs))


def matrices(cfg, targets, cache, cut: bool):
    title = "cutoff" if cut else "dense"
    harness.heading(f"{title}: cdist of {cfg.queries:,} queries x {cfg.candidates:,} candidates")
    rows, ratios = [], []
    for kind in ("words", "records"):
        queries, choices, lq, lc = data(cfg, cache, kind)
        for measure in MEASURES:
            cutoff = CUTOFFS[measure] if cut else None
            for fold in (False, True):
                qs, cs = (lq, lc) if fold else (queries, choices)
                for workers in (1, 2):
                    ours = lambda: ml.cdist(queries, choices, measure=measure, score_cutoff=cutoff,
                                            case_insensitive=fold or None, workers=workers)
                    row = [kind, measure, "on" if fold else "off", workers]
                    if rf_process is None:
                        (o,) = harness.time_turns([ours], cfg.repeats)
                        rows.append(row + [harness.fmt_duration(o.median * 1e9), "-", "-"])
                        continue
                    theirs = lambda: rf_process.cdist(qs, cs, scorer=scorer(measure), score_cutoff=cutoff,
                                                      workers=workers)
                    check = rf_process.cdist(qs[:50], cs, scorer=scorer(measure), score_cutoff=cutoff,
                                             workers=workers, dtype=np.float64 if measure == "jaro_winkler" else None)
                    off = agree(ours()[:50], check, measure)
                    o, t = harness.time_turns([ours, theirs], cfg.repeats)
                    lo, hi = harness.ratio_range(t, o)
                    ratios.append(t.median / o.median)
                    rows.append(row + [harness.fmt_duration(o.median * 1e9), harness.fmt_duration(t.median * 1e9),
                                       f"{harness.fmt_ratio(t.median / o.median)} ({harness.fmt_range(lo, hi)})"
                                       + (f" {off} cells differ" if off else "")])
                    harness.record(title, kind=kind, measure=measure, folded=fold, workers=workers,
                                   ours_s=o.values, rapidfuzz_s=t.values, differing_cells=off)
    harness.table(["data", "measure", "fold", "workers", "ours", "rapidfuzz", "speed-up (range)"], rows)
    if ratios:
        need = 3.0 if cut else 2.0
        targets.append((f"{title}: at least {need:g}x rapidfuzz cdist, every case", min(ratios) >= need,
                        f"{min(ratios):.2f}x-{max(ratios):.2f}x"))


def dense(cfg, targets, cache):
    matrices(cfg, targets, cache, cut=False)


def cutoff(cfg, targets, cache):
    matrices(cfg, targets, cache, cut=True)


def lookups(cfg, targets, cache):
    n = cfg.index_size
    harness.heading(f"lookups: {cfg.lookups} queries against {n:,} records, limit=5, one worker")
    records = workloads.records(n, 13)
    rng = random.Random(3)
    queries = [workloads.typo(rng, r) for r in rng.sample(records, cfg.lookups)]
    t0 = time.perf_counter()
    index = ml.Index(records)
    build = time.perf_counter() - t0
    rows, speedups = [], {}
    for measure in MEASURES:
        calls = [lambda: [index.extract(q, measure=measure) for q in queries],
                 lambda: [ml.extract(q, records, measure=measure) for q in queries]]
        if rf_process is not None:
            calls.append(lambda: [rf_process.extract(q, records, scorer=scorer(measure), limit=5) for q in queries])
            for q in queries[:5]:
                ours = [(c, s) for c, s, _ in index.extract(q, measure=measure)]
                theirs = [(c, s) for c, s, _ in rf_process.extract(q, records, scorer=scorer(measure), limit=5)]
                same = [s for _, s in ours] == [s for _, s in theirs] if measure == "jaro_winkler" else ours == theirs
                if not same and measure != "jaro_winkler":
                    print(f"  {measure}: rapidfuzz's top 5 differ for {q!r}: {theirs} vs {ours}")
        samples = harness.time_turns(calls, max(3, cfg.repeats // 2))
        per = [s.median / len(queries) for s in samples]
        row = [measure] + [harness.fmt_duration(p * 1e9) for p in per]
        speedups[measure] = [per[k] / per[0] for k in range(1, len(per))]
        row += [harness.fmt_ratio(x) for x in speedups[measure]]
        rows.append(row)
        harness.record("lookups", measure=measure, per_query_s=per)
    headers = ["measure", "Index.extract", "extract(list)"] + (["rapidfuzz"] if rf_process else [])
    headers += ["vs list"] + (["vs rapidfuzz"] if rf_process else [])
    harness.table(headers, rows)
    print(f"Index built in {build:.2f} s\n")
    targets.append(("lookups: at least 1.5x the list extract", min(s[0] for s in speedups.values()) >= 1.5,
                    f"{min(s[0] for s in speedups.values()):.1f}x-{max(s[0] for s in speedups.values()):.1f}x"))
    if rf_process is not None:
        targets.append(("lookups: at least 3x rapidfuzz process.extract",
                        min(s[1] for s in speedups.values()) >= 3,
                        f"{min(s[1] for s in speedups.values()):.1f}x-{max(s[1] for s in speedups.values()):.1f}x"))


def sha_work(blocks):
    for b in blocks:
        hashlib.sha256(b).digest()


def scaling(cfg, targets, cache):
    harness.heading("scaling: workers=2 over workers=1, with the machine's own")
    queries, choices, _, _ = data(cfg, cache, "records")
    index = ml.Index(choices)
    blocks = [os.urandom(1 << 20) for _ in range(64)]
    with concurrent.futures.ThreadPoolExecutor(2) as pool:
        calls = [lambda: ml.cdist(queries, index, workers=1), lambda: ml.cdist(queries, index, workers=2),
                 lambda: sha_work(blocks + blocks),
                 lambda: list(pool.map(sha_work, [blocks, blocks]))]
        one, two, sha1, sha2 = harness.time_turns(calls, cfg.repeats)
    ours = harness.ratio_range(one, two)
    machine = harness.ratio_range(sha1, sha2)
    harness.table(["work", "1 thread", "2 threads", "scaling (range)"], [
        ["cdist levenshtein", harness.fmt_duration(one.median * 1e9), harness.fmt_duration(two.median * 1e9),
         f"{one.median / two.median:.2f}x ({harness.fmt_range(*ours)})"],
        ["sha256 (reference)", harness.fmt_duration(sha1.median * 1e9), harness.fmt_duration(sha2.median * 1e9),
         f"{sha1.median / sha2.median:.2f}x ({harness.fmt_range(*machine)})"]])
    harness.record("scaling", one=one.values, two=two.values, sha_one=sha1.values, sha_two=sha2.values)
    s = one.median / two.median
    targets.append(("scaling: workers=2 at least 1.85x workers=1", s >= 1.85,
                    f"{s:.2f}x (machine: {sha1.median / sha2.median:.2f}x)"))


MEMORY_CHILD = """
import resource, sys, time
sys.path.insert(0, {bench!r})
import workloads
def rss():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * 4096
base = rss()
records = workloads.records({n}, 13)
with_list = rss()
if {index}:
    import morvane_lookup as ml
    ml.Index(records[:10])
    base_index = rss()
    t0 = time.perf_counter()
    index = ml.Index(records)
    built = time.perf_counter() - t0
    print(with_list - base, rss() - base_index, built, index.nbytes)
else:
    import morvane
    t0 = time.perf_counter()
    morvane.levenshtein_batch("query", records)
    print(with_list - base, time.perf_counter() - t0)
"""


def memory(cfg, targets, cache):
    n = cfg.index_size
    harness.heading(f"memory: an Index of {n:,} records against the list of str")
    here = os.path.dirname(os.path.abspath(__file__))
    runs = []
    for _ in range(3):
        out = subprocess.run([sys.executable, "-c", MEMORY_CHILD.format(bench=here, n=n, index=True)],
                             capture_output=True, text=True, check=True).stdout.split()
        batch = subprocess.run([sys.executable, "-c", MEMORY_CHILD.format(bench=here, n=n, index=False)],
                               capture_output=True, text=True, check=True).stdout.split()
        runs.append((int(out[0]), int(out[1]), float(out[2]), int(out[3]), float(batch[1])))
    list_mb = min(r[0] for r in runs) / 2**20
    index_mb = min(r[1] for r in runs) / 2**20
    build = [r[2] for r in runs]
    batch = [r[4] for r in runs]
    harness.table(["", "value"], [
        ["list of str (resident growth)", f"{list_mb:.0f} MiB"],
        ["Index (resident growth)", f"{index_mb:.0f} MiB ({runs[0][3] / 2**20:.0f} MiB native)"],
        ["Index build", f"{min(build):.3f}-{max(build):.3f} s"],
        ["one levenshtein_batch call", f"{min(batch):.3f}-{max(batch):.3f} s"]], right={1})
    harness.record("memory", runs=runs)
    targets.append(("memory: Index no larger than the list of str", index_mb <= list_mb,
                    f"{index_mb:.0f} vs {list_mb:.0f} MiB"))
    ratio = sorted(build)[1] / sorted(batch)[1]
    targets.append(("memory: Index build at most two batch calls", ratio <= 2, f"{ratio:.2f} batch calls"))


def processor(cfg, targets, cache):
    n = cfg.index_size
    harness.heading(f"processor and missing values: {n:,} records, one worker")
    records = workloads.records(n, 17)
    rng = random.Random(9)
    query = workloads.typo(rng, rng.choice(records))
    calls = [lambda: ml.Index(records, processor=ml.default_process).extract(query)]
    if rf_process is not None:
        calls.append(lambda: rf_process.extract(query, records, scorer=rf_distance.Levenshtein.distance,
                                                processor=rf_utils.default_process, limit=5))
        ours = [(c, s) for c, s, _ in calls[0]()]
        theirs = [(c, s) for c, s, _ in calls[1]()]
        if ours != theirs:
            print(f"  the two top 5 differ: {ours} vs {theirs}")
    samples = harness.time_turns(calls, cfg.repeats)
    missing = [None if rng.random() < 0.1 else r for r in records]
    kept = [r for r in missing if r is not None]
    gap, full = harness.time_turns([lambda: ml.extract(query, missing), lambda: ml.extract(query, kept)], cfg.repeats)
    rows = [["Index(processor=default_process) + extract", harness.fmt_duration(samples[0].median * 1e9)]]
    if rf_process is not None:
        rows.append(["rapidfuzz extract(processor=default_process)", harness.fmt_duration(samples[1].median * 1e9)])
    rows += [["extract, 10% missing", harness.fmt_duration(gap.median * 1e9)],
             ["extract, missing dropped beforehand", harness.fmt_duration(full.median * 1e9)]]
    harness.table(["", "median"], rows, right={1})
    harness.record("processor", ours=samples[0].values, rapidfuzz=samples[1].values if rf_process else None,
                   missing=gap.values, dropped=full.values)
    if rf_process is not None:
        lo, hi = harness.ratio_range(samples[1], samples[0])
        x = samples[1].median / samples[0].median
        targets.append(("processor: at least 2x rapidfuzz", x >= 2, f"{x:.2f}x ({harness.fmt_range(lo, hi)})"))
    cost = gap.median / full.median - 1
    targets.append(("missing values: at most 5% slower", cost <= 0.05, f"{cost * 100:+.1f}%"))


SECTIONS = {"dense": dense, "cutoff": cutoff, "lookups": lookups, "scaling": scaling, "memory": memory,
            "processor": processor}


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--quick", action="store_true", help="small sizes, few repeats: a smoke run")
    parser.add_argument("--only", default=",".join(SECTIONS), help="comma-separated sections")
    parser.add_argument("--repeats", type=int, help="timed repeats per contender")
    parser.add_argument("--json", help="also write the figures to this file")
    args = parser.parse_args()
    chosen = harness.parse_sections(parser, args.only, SECTIONS)
    cfg = argparse.Namespace(queries=50 if args.quick else 1000, candidates=5000 if args.quick else 100_000,
                             repeats=2 if args.quick else 5, index_size=20_000 if args.quick else 1_000_000,
                             lookups=10 if args.quick else 100)
    if args.repeats:
        cfg.repeats = args.repeats
    harness.print_environment(f"{'quick' if args.quick else 'full'} run")
    targets = []
    harness.run_sections(SECTIONS, chosen, cfg, targets, {})
    if args.json:
        harness.write_json(args.json, "bench_matrix.py", sys.argv[1:], targets)


if __name__ == "__main__":
    main()
