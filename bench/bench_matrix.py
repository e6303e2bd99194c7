#!/usr/bin/env python3
"""morvane_lookup's many-against-many side next to rapidfuzz, in one process.

Sections:
  * dense: cdist of 1,000 queries x 100,000 candidates (--quick: 50 x
    5,000) on two workloads, short words (workloads.mixed_words, queries
    typo'd words) and realistic multilingual records (workloads.records,
    queries typo'd records), every measure, folding off and on, workers 1
    and 2, against rapidfuzz.process.cdist with the same workers. Target:
    at least 2x in every case.
  * cutoff: the same matrices with Levenshtein and OSA score_cutoff=2 and
    Jaro-Winkler 0.9, rapidfuzz given the same score_cutoff. Target: at
    least 3x in every case.
  * lookups: 100 queries against an Index of 10^6 records (--quick 10^4),
    limit=5, one worker: Index.extract in a loop, against
    rapidfuzz.process.extract in a loop and morvane_lookup.extract over the
    plain list in a loop. Targets: 3x rapidfuzz, 1.5x the list. The Index's
    build time is reported on its own.
  * scaling: the dense records matrix at workers=2 over workers=1, next to
    the machine's own two-thread scaling at that moment: hashlib.sha256
    (which releases the interpreter) over 64 MiB chunks on two threads
    over one. Target: 1.85x, or within 5% of the machine's own ratio.
  * memory: an Index of 10^6 records in a fresh process (tracemalloc does
    not see native memory, so resident memory is read from
    /proc/self/statm): the growth for the list of str, then for the Index
    built over it; and the build time against one morvane.levenshtein_batch
    call over the same list. Targets: the Index no larger than the list,
    its build at most two batch calls.
  * processor: Index(processor=default_process) built and looked up once on
    10^6 records against rapidfuzz.process.extract(processor=
    utils.default_process); extract over a column with 10% missing values
    against the same column without them. Targets: 2x; at most 5% slower.

Folding: rapidfuzz has none, so it gets the lists lowered with str.lower()
beforehand, outside the timing, while ours folds itself (case_insensitive=
True) inside it. A peer's figures count only once its results equal ours on
the very data timed: whole matrices (distances exactly, similarities to
1e-9, for which rapidfuzz is asked for float64; it is timed as it is
called by default, float32), every lookup's five results. Figures are
medians over the repeats with the min-max of the ratios taken repeat by
repeat; contenders run in turns within each repeat, with the garbage
collector off.
"""

from __future__ import annotations

import os

for _var in ("OPENBLAS_NUM_THREADS", "OMP_NUM_THREADS", "MKL_NUM_THREADS", "NUMEXPR_NUM_THREADS"):
    os.environ.setdefault(_var, "1")  # BLAS threads spin and steal the second core

import argparse
import concurrent.futures
import hashlib
import json
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
    from rapidfuzz import distance as rf_distance, process as rf_process, utils as rf_utils
except ImportError:  # the peer is optional; ours still runs
    rf_process = None

MEASURES = ["levenshtein", "damerau", "jaro_winkler"]
CUTOFFS = {"levenshtein": 2, "damerau": 2, "jaro_winkler": 0.9}
PAIR_FUNCTIONS = {"levenshtein": morvane.levenshtein_bp, "damerau": morvane.damerau_bp,
                  "jaro_winkler": morvane.jaro_winkler_similarity}
LIMIT = 5
SHA_CHUNK = 64 << 20
SHA_CHUNKS = 4  # per timed call: two per thread on two threads


def scorer(measure):
    return {"levenshtein": rf_distance.Levenshtein.distance, "damerau": rf_distance.OSA.distance,
            "jaro_winkler": rf_distance.JaroWinkler.similarity}[measure]


def ms(s: harness.Samples) -> str:
    """Median with the min-max over the repeats."""
    lo, hi = min(s.values), max(s.values)
    unit, scale = ("s", 1.0) if s.median >= 1 else ("ms", 1e3)
    return f"{s.median * scale:,.2f} {unit} ({lo * scale:,.2f}-{hi * scale:,.2f})"


def speedup(slow: harness.Samples, fast: harness.Samples) -> list[float]:
    """slow / fast repeat by repeat: how many times faster `fast` is."""
    return [s / f for s, f in zip(slow.values, fast.values)]


def ratio_cell(r: list[float]) -> str:
    return f"{statistics.median(r):.2f}x ({min(r):.2f}-{max(r):.2f})"


def data(cfg, cache, kind):
    """(queries, choices, lowered queries, lowered choices) of a workload."""
    key = ("data", kind)
    if key not in cache:
        t0 = time.perf_counter()
        rng = random.Random(7)
        if kind == "words":
            choices = workloads.mixed_words(cfg.candidates, seed=11)
        else:
            choices = workloads.records(cfg.candidates, 11, workloads.ALL_SCRIPTS)
        queries = [workloads.typo(rng, c) for c in rng.sample(choices, cfg.queries)]
        cache[key] = (queries, choices, [q.lower() for q in queries], [c.lower() for c in choices])
        print(f"{kind}: {cfg.queries:,} queries x {cfg.candidates:,} candidates, made in "
              f"{time.perf_counter() - t0:.1f} s, e.g. {queries[:3]}")
    return cache[key]


def mismatches(ours: np.ndarray, theirs: np.ndarray, measure: str, cutoff) -> tuple[int, int, np.ndarray]:
    """(cells that differ, of them those where one side kept a similarity
    within 1e-9 of the cut-off that the other cut, the differing cells'
    coordinates): distances compared exactly, similarities to 1e-9."""
    if ours.shape != theirs.shape:
        return ours.size, 0, np.empty((0, 2), np.intp)
    if measure != "jaro_winkler":
        if np.array_equal(ours, theirs):
            return 0, 0, np.empty((0, 2), np.intp)
        return int(np.count_nonzero(ours != theirs)), 0, np.argwhere(ours != theirs)
    bad = np.argwhere(np.abs(ours - theirs) > 1e-9)
    at_cut = 0
    if cutoff is not None and len(bad):
        a, b = ours[bad[:, 0], bad[:, 1]], theirs[bad[:, 0], bad[:, 1]]
        kept = np.maximum(a, b)
        at_cut = int(np.count_nonzero((np.minimum(a, b) == 0.0) & (np.abs(kept - cutoff) <= 1e-9)))
    return len(bad), at_cut, bad


def matrices(cfg, targets, cache, cut: bool):
    title = "cutoff" if cut else "dense"
    need = 3.0 if cut else 2.0
    harness.heading(f"{title}: cdist of {cfg.queries:,} x {cfg.candidates:,}"
                    + (", score_cutoff Levenshtein/OSA 2, Jaro-Winkler 0.9" if cut else "")
                    + f"; median (min-max) of {cfg.repeats} repeats")
    rows, counted, disagreeing, cut_cells = [], [], [], []
    for kind in ("words", "records"):
        queries, choices, lq, lc = data(cfg, cache, kind)
        cells = len(queries) * len(choices)
        for measure in MEASURES:
            cutoff = CUTOFFS[measure] if cut else None
            for fold in (False, True):
                # rapidfuzz gets the lists lowered outside the timing.
                qs, cs = (lq, lc) if fold else (queries, choices)
                for workers in (1, 2):
                    def ours(measure=measure, cutoff=cutoff, fold=fold, workers=workers):
                        return ml.cdist(queries, choices, measure=measure, score_cutoff=cutoff,
                                        case_insensitive=fold, workers=workers)

                    label = [kind, measure, "on" if fold else "off", workers]
                    if rf_process is None:
                        (o,) = harness.time_turns([ours], cfg.repeats)
                        rows.append(label + [ms(o), harness.fmt_rate(cells / o.median), "-", "-",
                                             "rapidfuzz not importable"])
                        continue

                    def theirs(measure=measure, cutoff=cutoff, qs=qs, cs=cs, workers=workers):
                        return rf_process.cdist(qs, cs, scorer=scorer(measure), score_cutoff=cutoff,
                                                workers=workers)

                    # The whole matrix compared before any timing; these two
                    # calls are also the warm-up.
                    mine = ours()
                    peer = rf_process.cdist(qs, cs, scorer=scorer(measure), score_cutoff=cutoff, workers=workers,
                                            dtype=np.float64 if measure == "jaro_winkler" else None)
                    off, at_cut, bad = mismatches(mine, peer, measure, cutoff)
                    example = ""
                    if off:
                        i, j = (int(x) for x in bad[0])
                        pair = PAIR_FUNCTIONS[measure](queries[i], choices[j], case_insensitive=fold)
                        example = (f", e.g. {queries[i]!r} x {choices[j]!r}: ours {float(mine[i, j])!r}, "
                                   f"rapidfuzz {float(peer[i, j])!r}, morvane pair function {pair!r}")
                    del mine, peer, bad
                    o, t = harness.time_turns([ours, theirs], cfg.repeats, warmup=False)
                    r = speedup(t, o)
                    if not off:
                        check = "same matrix"
                    elif off == at_cut:
                        check = f"same but {off:,} cell(s) at the cut-off"
                    else:
                        check = f"{off:,} cell(s) differ"
                    if off:
                        cut_cells.append(f"{kind} {measure} fold={fold} workers={workers}: {check}{example}")
                    if off == at_cut:
                        counted.append((statistics.median(r), " ".join(map(str, label))))
                    else:
                        disagreeing.append(check)
                    rows.append(label + [ms(o), harness.fmt_rate(cells / o.median), ms(t), ratio_cell(r), check])
                    harness.record(title, workload=kind, measure=measure, folded=fold, workers=workers,
                                   score_cutoff=cutoff, cells=cells, ours_s=o.values, rapidfuzz_s=t.values,
                                   differing_cells=off)
                    sys.stdout.flush()
    harness.table(["data", "measure", "fold", "workers", "ours", "ours cells/s", "rapidfuzz cdist",
                   "rapidfuzz / ours", "check"], rows, right={3, 4, 5, 6, 7})
    for line in cut_cells:
        print(f"  {line}")
    if cut_cells:
        print("  (a cell at the cut-off: a similarity within 1e-9 of it, which one side keeps and the other cuts;"
              " such cases still count, the others do not)\n")
    if counted:
        worst = min(counted)
        below = [name for x, name in counted if x < need]
        targets.append((f"{title}: ours at least {need:g}x rapidfuzz cdist in every case", not below,
                        f"{worst[0]:.2f}x-{max(counted)[0]:.2f}x"
                        + (f", {len(below)} of {len(counted)} below (worst {worst[1]})" if below else "")))
    if rf_process is not None:
        targets.append((f"{title}: same matrices as rapidfuzz (cells at the cut-off apart)", not disagreeing,
                        f"{len(disagreeing)} of {len(counted) + len(disagreeing)} differ"))


def dense(cfg, targets, cache):
    matrices(cfg, targets, cache, cut=False)


def cutoff(cfg, targets, cache):
    matrices(cfg, targets, cache, cut=True)


def lookup_disagreement(ours: list, theirs: list) -> str | None:
    if len(ours) != len(theirs):
        return f"{len(theirs)} results where ours has {len(ours)}"
    for (c1, s1, i1), (c2, s2, i2) in zip(ours, theirs):
        if i1 != i2 or c1 != c2 or abs(s1 - s2) > 1e-9:
            return f"({c2!r}, {s2!r}, {i2}) where ours has ({c1!r}, {s1!r}, {i1})"
    return None


def lookups(cfg, targets, cache):
    n = cfg.index_size
    harness.heading(f"lookups: {cfg.lookups} queries against {n:,} records, limit={LIMIT}, one worker; "
                    f"ms per query, median (min-max) of {cfg.lookup_repeats} repeats")
    records = workloads.records(n, 13, workloads.ALL_SCRIPTS)
    rng = random.Random(3)
    queries = [workloads.typo(rng, r) for r in rng.sample(records, cfg.lookups)]
    builds = []
    for _ in range(3):
        t0 = time.perf_counter()
        index = ml.Index(records)
        builds.append(time.perf_counter() - t0)
    rows, vs_list, vs_peer, notes = [], [], [], []
    for measure in MEASURES:
        def with_index(measure=measure):
            return [index.extract(q, measure=measure, limit=LIMIT) for q in queries]

        def with_list(measure=measure):
            return [ml.extract(q, records, measure=measure, limit=LIMIT) for q in queries]

        def peer(measure=measure):
            return [rf_process.extract(q, records, scorer=scorer(measure), limit=LIMIT) for q in queries]

        # Every query's results compared before timing (the warm-up).
        want = with_index()
        note = next(filter(None, map(lookup_disagreement, want, with_list())), None)
        if note is not None:
            notes.append(f"{measure}: the list extract differs from Index.extract: {note}")
        calls = [with_index, with_list]
        peer_note = "rapidfuzz not importable" if rf_process is None else \
            next(filter(None, map(lookup_disagreement, want, peer())), None)
        if peer_note is None:
            calls.append(peer)
        else:
            notes.append(f"{measure}: rapidfuzz not counted: {peer_note}")
        s = harness.time_turns(calls, cfg.lookup_repeats, warmup=False)
        per = [harness.Samples([v / len(queries) for v in x.values]) for x in s]
        r_list = speedup(per[1], per[0])
        row = [measure, ms(per[0]), ms(per[1]), ratio_cell(r_list)]
        if note is None:
            vs_list.append((statistics.median(r_list), measure))
        if len(per) == 3:
            r_peer = speedup(per[2], per[0])
            vs_peer.append((statistics.median(r_peer), measure))
            row += [ms(per[2]), ratio_cell(r_peer)]
        else:
            row += ["-", "-"]
        rows.append(row)
        harness.record("lookups", measure=measure, records=n, queries=len(queries), index_s=s[0].values,
                       list_s=s[1].values, rapidfuzz_s=s[2].values if len(s) == 3 else None,
                       note=note or peer_note)
        sys.stdout.flush()
    harness.table(["measure", "Index.extract", "extract(list)", "list / Index", "rapidfuzz extract",
                   "rapidfuzz / Index"], rows)
    for line in notes:
        print(f"  {line}")
    print(f"Index of {n:,} records built in {min(builds):.2f} s (min of 3; {max(builds):.2f} s max), "
          f"{index.nbytes / 2**20:,.0f} MiB native\n")
    harness.record("lookups_build", records=n, build_s=builds, nbytes=index.nbytes)
    if vs_list:
        targets.append(("lookups: Index.extract at least 1.5x the list extract", min(vs_list)[0] >= 1.5,
                        f"{min(vs_list)[0]:.2f}x-{max(vs_list)[0]:.2f}x (worst {min(vs_list)[1]})"))
    if vs_peer:
        targets.append(("lookups: Index.extract at least 3x rapidfuzz process.extract", min(vs_peer)[0] >= 3,
                        f"{min(vs_peer)[0]:.2f}x-{max(vs_peer)[0]:.2f}x (worst {min(vs_peer)[1]})"))


def sha_chunks(chunks) -> None:
    for c in chunks:
        hashlib.sha256(c).digest()


def scaling(cfg, targets, cache):
    harness.heading(f"scaling: workers=2 over workers=1 on the dense records matrix ({cfg.queries:,} x "
                    f"{cfg.candidates:,}), next to sha256 on two threads over one; "
                    f"median (min-max) of {cfg.repeats} repeats")
    queries, choices, _, _ = data(cfg, cache, "records")
    chunk = os.urandom(SHA_CHUNK)
    chunks = [chunk] * SHA_CHUNKS
    halves = [chunks[:SHA_CHUNKS // 2], chunks[SHA_CHUNKS // 2:]]
    rows, results = [], []
    with concurrent.futures.ThreadPoolExecutor(1) as one, concurrent.futures.ThreadPoolExecutor(2) as two:
        calls = [lambda: list(one.map(sha_chunks, halves)), lambda: list(two.map(sha_chunks, halves))]
        for measure in MEASURES:
            calls += [lambda measure=measure: ml.cdist(queries, choices, measure=measure, workers=1),
                      lambda measure=measure: ml.cdist(queries, choices, measure=measure, workers=2)]
        s = harness.time_turns(calls, cfg.repeats)
    machine = speedup(s[0], s[1])
    rows.append([f"sha256, {SHA_CHUNKS} x {SHA_CHUNK >> 20} MiB (reference)", ms(s[0]), ms(s[1]),
                 ratio_cell(machine)])
    for k, measure in enumerate(MEASURES):
        one_s, two_s = s[2 + 2 * k], s[3 + 2 * k]
        r = speedup(one_s, two_s)
        results.append((measure, statistics.median(r)))
        rows.append([f"cdist {measure}", ms(one_s), ms(two_s), ratio_cell(r)])
        harness.record("scaling", measure=measure, workers1_s=one_s.values, workers2_s=two_s.values,
                       sha_1_thread_s=s[0].values, sha_2_threads_s=s[1].values)
    harness.table(["work", "1 thread", "2 threads", "1 / 2"], rows)
    own = statistics.median(machine)
    for measure, x in results:
        targets.append((f"scaling {measure}: workers=2 / workers=1 at least 1.85x or 95% of the machine's",
                        x >= 1.85 or x >= 0.95 * own, f"{x:.2f}x (machine {own:.2f}x)"))


MEMORY_CHILD = r"""
import gc, json, os, sys, time
sys.path.insert(0, {bench!r})
import workloads, morvane, morvane_lookup as ml
from harness import time_turns

PAGE = os.sysconf("SC_PAGE_SIZE")

def rss():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * PAGE

def peak_rss():
    # VmHWM belongs to this process's own memory map; ru_maxrss would carry
    # the parent's peak over the fork.
    with open("/proc/self/status") as f:
        return next(int(line.split()[1]) * 1024 for line in f if line.startswith("VmHWM:"))

# The modules' own start-up memory is not the list's nor the Index's.
ml.Index(["warm", "up"])
morvane.levenshtein_batch("warm", ["up"])
gc.collect()
base = rss()
records = workloads.records({n}, 13, workloads.ALL_SCRIPTS)
workloads._CACHE.clear()  # the generator's cached copy of the pointers
gc.collect()
with_list = rss()
peak_before = peak_rss()
try:
    with open("/proc/self/clear_refs", "w") as f:
        f.write("5")  # restarts VmHWM from the current resident size
    reset = True
except OSError:
    reset = False
gc.disable()
t0 = time.perf_counter()
index = ml.Index(records)
first_build = time.perf_counter() - t0
with_index = rss()
peak = peak_rss()
nbytes = index.nbytes
del index
query = records[len(records) // 2][::-1]
build, batch = time_turns([lambda: ml.Index(records), lambda: morvane.levenshtein_batch(query, records)], {repeats})
print(json.dumps(dict(list=with_list - base, index=with_index - with_list, peak=max(peak, peak_before),
                      build_peak=peak - with_list if reset else None, nbytes=nbytes,
                      first_build=first_build, build=build.values, batch=batch.values)))
"""


def memory(cfg, targets, cache):
    n = cfg.index_size
    harness.heading(f"memory: an Index of {n:,} records against the list of str, resident memory of a fresh "
                    f"process ({cfg.memory_runs} processes); build time against one levenshtein_batch call")
    here = os.path.dirname(os.path.abspath(__file__))
    runs = []
    for _ in range(cfg.memory_runs):
        proc = subprocess.run([sys.executable, "-c", MEMORY_CHILD.format(bench=here, n=n, repeats=cfg.repeats)],
                              capture_output=True, text=True)
        if proc.returncode != 0:
            print(f"  the measuring process failed ({proc.returncode}): {proc.stderr.strip()[-2000:]}")
            return
        runs.append(json.loads(proc.stdout.strip().splitlines()[-1]))
    mib = 2**20

    def span(key, scale=1 / mib, fmt="{:,.0f}"):
        vals = [r[key] * scale for r in runs]
        return fmt.format(min(vals)) + ("" if len(vals) == 1 else "-" + fmt.format(max(vals)))

    builds = harness.Samples([x for r in runs for x in r["build"]])
    batches = harness.Samples([x for r in runs for x in r["batch"]])
    per_call = speedup(builds, batches)  # build time in batch calls, repeat by repeat
    harness.table(["", "value"], [
        ["list of str, resident growth", f"{span('list')} MiB"],
        ["Index over it, resident growth", f"{span('index')} MiB"],
        ["Index.nbytes (native texts)", f"{span('nbytes')} MiB"],
        ["peak resident, whole process", f"{span('peak')} MiB"],
        ["peak resident during the build, over the list's",
         f"{span('build_peak')} MiB" if runs[0]["build_peak"] is not None else "not measurable here"],
        ["Index build, first in the process", f"{span('first_build', 1, '{:.3f}')} s"],
        ["Index build, in turns", ms(builds)],
        ["one levenshtein_batch call, in turns", ms(batches)],
        ["build / batch call", ratio_cell(per_call)]], right={1})
    harness.record("memory", records=n, runs=runs)
    index_mib = max(r["index"] for r in runs) / mib
    list_mib = min(r["list"] for r in runs) / mib
    targets.append(("memory: Index no larger than the list of str", index_mib <= list_mib,
                    f"{index_mib:,.0f} vs {list_mib:,.0f} MiB"))
    x = statistics.median(per_call)
    targets.append(("memory: Index build at most two batch calls", x <= 2, f"{ratio_cell(per_call)} calls"))


def processor(cfg, targets, cache):
    n = cfg.index_size
    harness.heading(f"processor and missing values: {n:,} records, one worker; "
                    f"median (min-max) of {cfg.repeats} repeats")
    records = workloads.records(n, 17, workloads.ALL_SCRIPTS)
    rng = random.Random(9)
    query = workloads.typo(rng, rng.choice(records))

    def ours():
        return ml.Index(records, processor=ml.default_process).extract(query, limit=LIMIT)

    def peer():
        return rf_process.extract(query, records, scorer=rf_distance.Levenshtein.distance,
                                  processor=rf_utils.default_process, limit=LIMIT)

    calls = [ours]
    note = "rapidfuzz not importable" if rf_process is None else lookup_disagreement(ours(), peer())
    if note is None:
        calls.append(peer)
    else:
        print(f"  rapidfuzz not counted: {note}")
    samples = harness.time_turns(calls, cfg.repeats)
    missing = [None if rng.random() < 0.1 else r for r in records]
    kept = [r for r in missing if r is not None]
    with_gaps = [(c, s) for c, s, _ in ml.extract(query, missing, limit=LIMIT)]
    without = [(c, s) for c, s, _ in ml.extract(query, kept, limit=LIMIT)]
    if with_gaps != without:
        print(f"  missing values change the results: {with_gaps} vs {without}")
    gap, full = harness.time_turns([lambda: ml.extract(query, missing, limit=LIMIT),
                                    lambda: ml.extract(query, kept, limit=LIMIT)], cfg.repeats)
    rows = [["Index(processor=default_process) + extract", ms(samples[0])]]
    if len(samples) == 2:
        rows.append(["rapidfuzz extract(processor=default_process)", ms(samples[1])])
    rows += [["extract, 10% missing", ms(gap)], ["extract, missing dropped beforehand", ms(full)]]
    harness.table(["", "median (min-max)"], rows, right={1})
    harness.record("processor", records=n, ours_s=samples[0].values,
                   rapidfuzz_s=samples[1].values if len(samples) == 2 else None,
                   missing_s=gap.values, dropped_s=full.values)
    if len(samples) == 2:
        r = speedup(samples[1], samples[0])
        targets.append(("processor: at least 2x rapidfuzz", statistics.median(r) >= 2, ratio_cell(r)))
    cost = [g / f - 1 for g, f in zip(gap.values, full.values)]
    targets.append(("missing values: at most 5% slower", statistics.median(cost) <= 0.05,
                    f"{statistics.median(cost) * 100:+.1f}% ({min(cost) * 100:+.1f} to {max(cost) * 100:+.1f})"))


SECTIONS = {"dense": dense, "cutoff": cutoff, "lookups": lookups, "scaling": scaling, "memory": memory,
            "processor": processor}


def main(argv=None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--quick", action="store_true", help="small sizes, 2 repeats: a smoke run")
    parser.add_argument("--only", default=",".join(SECTIONS), help=f"comma-separated out of {', '.join(SECTIONS)}")
    parser.add_argument("--repeats", type=int, help="repeats per timing (default 3, quick 2)")
    parser.add_argument("--json", metavar="PATH", help="also write the figures, in plain numbers, to PATH")
    args = parser.parse_args(argv)
    chosen = harness.parse_sections(parser, args.only, SECTIONS)
    q = args.quick
    repeats = args.repeats or (2 if q else 3)
    cfg = argparse.Namespace(queries=50 if q else 1000, candidates=5000 if q else 100_000, repeats=repeats,
                             index_size=10_000 if q else 1_000_000, lookups=10 if q else 100,
                             lookup_repeats=repeats, memory_runs=1 if q else 2)
    harness.print_environment(f"{'quick' if q else 'full'} run: {cfg.queries:,} x {cfg.candidates:,} matrices, "
                              f"Index of {cfg.index_size:,}, {cfg.lookups} lookups, {repeats} repeats")
    print(f"morvane_lookup {ml.__file__}\n")
    targets: list = []
    harness.run_sections(SECTIONS, chosen, cfg, targets, {})
    # Other work on a two-core machine shows in every figure above.
    print(f"load average at the end: {', '.join(f'{x:.2f}' for x in os.getloadavg())}")
    if args.json:
        harness.write_json(args.json, "bench_matrix.py", sys.argv[1:] if argv is None else list(argv), targets)
    return 0


if __name__ == "__main__":
    sys.exit(main())
