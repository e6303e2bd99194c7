#!/usr/bin/env python3
"""morvane_lookup.extract(limit=5) next to rapidfuzz.process.extract(query,
choices, scorer=..., limit=5) on 10^6 candidates, all in one process.

Contenders, per measure (scorers from rapidfuzz.distance: Levenshtein.distance,
OSA.distance, JaroWinkler.similarity):
  * ours with workers=1 and workers=2;
  * the bare batch function, one call over all candidates and no selection:
    what chunking and selection add to (or save from) the scoring itself;
  * rapidfuzz.process.extract, which runs on one thread.
Workloads:
  * short words: one query ("Kitten", "Dvořák") against 10^6 short ASCII
    words and 10^6 mixed ASCII / non-ASCII words (bench/workloads.py);
  * realistic: one typo'd record per script as the query against 10^6
    multilingual records; a call is the five lookups one after the other.
Before timing, ours and the peer must return the same candidates with the
same scores (to 1e-9) on the data timed; a peer that does not is left out
with the reason.

Figures are medians over the repeats, with (min-max); the contenders run in
turns within each repeat, so that a change of load hits all alike, and the
ratios are taken repeat by repeat. The garbage collector is off while
timing. The "chunks" section times ours at a few chunk sizes (they apply to
workers=2; workers=1 scores in one call), next to the bare batches over the
same chunks, already sliced, on the same threads, and a compute task
that releases the interpreter throughout (sha256): the scaling the machine
offers at that moment, which any other work on a two-core machine halves.

A full run takes about 3 minutes on a two-core machine; --quick is a smoke
run of a few seconds.
"""

from __future__ import annotations

import argparse
import gc
import hashlib
import statistics
import sys
import time
from concurrent.futures import ThreadPoolExecutor

import morvane_lookup
import workloads
from harness import (PEERS, Samples, fmt_rate, heading, print_environment, print_targets, record, table, time_turns,
                     write_json)

SEED = 20240611
PEER_TARGET = 2.0  # ours (workers=1) / rapidfuzz throughput, at least
SCALING_TARGET = 1.8  # ours workers=2 / workers=1 throughput, at least
LIMIT = 5
# (our measure, the scorer's attribute in rapidfuzz.distance, the batch)
MEASURES = [
    ("levenshtein", "Levenshtein.distance", "levenshtein_batch"),
    ("damerau", "OSA.distance", "damerau_batch"),
    ("jaro_winkler", "JaroWinkler.similarity", "jaro_winkler_batch"),
]


def median_cell(s: Samples, scale: float = 1e3) -> str:
    return f"{s.median * scale:.1f} ({min(s.values) * scale:.1f}-{max(s.values) * scale:.1f})"


def ratios(num: Samples, den: Samples) -> list[float]:
    """den time / num time repeat by repeat: how many times faster num is."""
    return [d / n for n, d in zip(num.values, den.values)]


def ratio_cell(r: list[float]) -> str:
    return f"{statistics.median(r):.2f}x ({min(r):.2f}-{max(r):.2f})"


def disagreement(ours: list, theirs: list) -> str | None:
    if len(ours) != len(theirs):
        return f"{len(theirs)} results, ours {len(ours)}"
    for (c1, s1, i1), (c2, s2, i2) in zip(ours, theirs):
        if i1 != i2 or c1 != c2 or abs(s1 - s2) > 1e-9:
            return f"({c2!r}, {s2!r}, {i2}) where ours is ({c1!r}, {s1!r}, {i1})"
    return None


def workloads_for(n: int) -> list[tuple[str, list[str], list[str]]]:
    """(label, queries, candidates)."""
    t0 = time.perf_counter()
    queries, records = workloads.batch_workload(n, SEED, workloads.ALL_SCRIPTS)
    out = [
        ("ASCII words", ["Kitten"], workloads.ascii_words(n)),
        ("mixed words", ["Dvořák"], workloads.mixed_words(n)),
        ("realistic", queries, records),
    ]
    print(f"{n:,} candidates per workload, made in {time.perf_counter() - t0:.1f} s; realistic queries:")
    for q in queries:
        print(f"  {q!r}")
    print()
    return out


def section_peers(args, targets: list) -> None:
    heading(f"extract(limit={LIMIT}): ms per call, median (min-max) of {args.repeats} repeats")
    rf = PEERS["rapidfuzz"]
    rows = []
    for label, queries, cands in workloads_for(args.candidates):
        for measure, attr, batch_name in MEASURES:
            batch = getattr(morvane_lookup.morvane, batch_name)

            def ours(workers, measure=measure, queries=queries, cands=cands):
                return [morvane_lookup.extract(q, cands, measure=measure, limit=LIMIT, workers=workers)
                        for q in queries]

            def bare(batch=batch, queries=queries, cands=cands):
                return [batch(q, cands) for q in queries]

            calls = [lambda: ours(1), lambda: ours(2), bare]
            scorer, extract = rf.get(f"distance.{attr}"), rf.get("process.extract")
            note = f"rapidfuzz not importable ({rf.error})" if scorer is None or extract is None else None
            if note is None:
                def peer(scorer=scorer, extract=extract, queries=queries, cands=cands):
                    return [extract(q, cands, scorer=scorer, limit=LIMIT) for q in queries]

                want = ours(1)
                note = next(filter(None, map(disagreement, want, peer())), None)
                if ours(2) != want:
                    note = "ours with workers=2 differs from workers=1"
                if note is None:
                    calls.append(peer)
            samples = time_turns(calls, args.repeats)
            n = len(queries) * len(cands)
            one, two = samples[0], samples[1]
            scaling = ratios(two, one)
            row = [label, measure, median_cell(one), median_cell(two), fmt_rate(n / one.median),
                   ratio_cell(scaling), median_cell(samples[2])]
            targets.append((f"{label} {measure}: workers=2 / workers=1 >= {SCALING_TARGET}x",
                            statistics.median(scaling) >= SCALING_TARGET, ratio_cell(scaling)))
            if len(samples) == 4:
                vs_peer = ratios(one, samples[3])
                row += [median_cell(samples[3]), fmt_rate(n / samples[3].median), ratio_cell(vs_peer), ""]
                targets.append((f"{label} {measure}: ours workers=1 / rapidfuzz >= {PEER_TARGET}x",
                                statistics.median(vs_peer) >= PEER_TARGET, ratio_cell(vs_peer)))
            else:
                row += ["-", "-", "-", note]
            rows.append(row)
            record("extract", workload=label, measure=measure, candidates=n, limit=LIMIT,
                   ours_w1_s=one.values, ours_w2_s=two.values, bare_batch_s=samples[2].values,
                   rapidfuzz_s=samples[3].values if len(samples) == 4 else None, note=note)
            sys.stdout.flush()
    table(["workload", "measure", "ours w=1 ms", "ours w=2 ms", "ours w=1 cand/s", "w=2 / w=1",
           "bare batch ms", "rapidfuzz ms", "rapidfuzz cand/s", "ours w=1 / rapidfuzz", "note"], rows,
          right={2, 3, 4, 5, 6, 7, 8, 9})


def section_chunks(args, targets: list) -> None:
    n = args.candidates
    sizes = [int(x) for x in args.chunk_sizes.split(",")]
    heading(f"Chunk sizes: ms per call on {n:,} ASCII words, median (min-max) of {args.repeats} repeats")
    words = workloads.ascii_words(n, seed=SEED)
    rows = []
    default = morvane_lookup.CHUNK
    with ThreadPoolExecutor(1) as one, ThreadPoolExecutor(2) as two:
        list(two.map(len, [words, words]))
        try:
            for measure, _, batch_name in MEASURES:
                batch = getattr(morvane_lookup.morvane, batch_name)
                for size in sizes:
                    morvane_lookup.CHUNK = size
                    parts = [words[i:i + size] for i in range(0, n, size)]

                    def bare(pool, parts=parts, batch=batch):
                        return list(pool.map(lambda c: batch("Kitten", c), parts))

                    calls = [lambda: morvane_lookup.extract("Kitten", words, measure=measure, workers=1),
                             lambda: morvane_lookup.extract("Kitten", words, measure=measure, workers=2),
                             lambda: bare(one), lambda: bare(two)]
                    s = time_turns(calls, args.repeats)
                    rows.append([measure, f"{size:,}" + (" (default)" if size == default else ""),
                                 median_cell(s[0]), median_cell(s[1]), ratio_cell(ratios(s[1], s[0])),
                                 median_cell(s[2]), median_cell(s[3]), ratio_cell(ratios(s[3], s[2]))])
                    record("chunks", measure=measure, chunk=size, candidates=n, extract_w1_s=s[0].values,
                           extract_w2_s=s[1].values, bare_1_thread_s=s[2].values, bare_2_threads_s=s[3].values)
                    sys.stdout.flush()
        finally:
            morvane_lookup.CHUNK = default
        blocks = [bytes(range(256)) * 4096] * 32
        s = time_turns([lambda: list(one.map(hashlib.sha256, blocks)),
                        lambda: list(two.map(hashlib.sha256, blocks))], args.repeats)
    table(["measure", "chunk", "extract w=1 (one call)", "extract w=2", "w=2 / w=1", "bare batches 1 thread",
           "bare batches 2 threads", "2 / 1"], rows, right={2, 3, 4, 5, 6, 7})
    print(f"machine reference: hashlib.sha256 over 32 x 1 MiB, 1 thread {median_cell(s[0])} ms, "
          f"2 threads {median_cell(s[1])} ms, {ratio_cell(ratios(s[1], s[0]))}")
    print()


SECTIONS = {"peers": section_peers, "chunks": section_chunks}


def main(argv=None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--quick", action="store_true", help="20,000 candidates, 2 repeats: a smoke run")
    parser.add_argument("--only", default=",".join(SECTIONS), help=f"comma-separated out of {', '.join(SECTIONS)}")
    parser.add_argument("--repeats", type=int, help="repeats per timing (default 7, quick 2)")
    parser.add_argument("--candidates", type=int, help="candidates per workload (default 1,000,000)")
    parser.add_argument("--chunk-sizes", default="20000,50000,100000,250000",
                        help="chunk sizes of the chunks section (default 20000,50000,100000,250000)")
    parser.add_argument("--json", metavar="PATH", help="also write the figures, in plain numbers, to PATH")
    args = parser.parse_args(argv)
    args.repeats = args.repeats or (2 if args.quick else 7)
    args.candidates = args.candidates or (20_000 if args.quick else 1_000_000)
    chosen = [s for s in args.only.split(",") if s]
    unknown = set(chosen) - set(SECTIONS)
    if unknown:
        parser.error(f"unknown section(s) {', '.join(sorted(unknown))}")
    print_environment(f"{args.candidates:,} candidates, {args.repeats} repeats, limit={LIMIT}, "
                      f"default chunk {morvane_lookup.CHUNK:,}")
    targets: list = []
    gc.disable()
    started = time.perf_counter()
    for name, section in SECTIONS.items():
        if name in chosen:
            t0 = time.perf_counter()
            section(args, targets)
            print(f"[{name}: {time.perf_counter() - t0:.1f} s]")
            print()
    gc.enable()
    print_targets(targets)
    print(f"total time {time.perf_counter() - started:.1f} s")
    if args.json:
        write_json(args.json, "bench_extract.py", sys.argv[1:] if argv is None else list(argv), targets)
    return 0


if __name__ == "__main__":
    sys.exit(main())
