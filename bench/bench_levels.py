#!/usr/bin/env python3
"""Batch throughput of morvane at each SIMD level, next to rapidfuzz's cdist
in the same process, and the scaling of the batches over two threads.

The module reads MORVANE_SIMD (scalar, avx2, avx512) once per process, so
each level is measured in a child process of this script started with that
variable set. A child measures, in that one process:
  * candidates per second of levenshtein_batch, damerau_batch and
    jaro_winkler_batch next to rapidfuzz.process.cdist([query], candidates,
    scorer=..., workers=1), timed in turns after an agreement check, on
    10^6 short ASCII words and on the multilingual record workload of
    bench/workloads.py (one typo'd record per script as the query, the
    figures summed over the queries), folding off and on (for folding on,
    cdist gets the lowered texts, lowered before timing);
  * the batches over the short words cut into chunks of at least 10,000
    candidates (the size from which a batch releases the interpreter),
    mapped over a ThreadPoolExecutor of 1 and of 2 workers.
The child prints its figures as JSON on stdout; this script collects them
and prints one table per level and the targets.

Figures are minimums over the repeats; ranges are min-max over the repeats of
the ratio taken repeat by repeat. The garbage collector is disabled while
timing. The sha256 row of the thread table shows the scaling the machine
offers at that moment: on two cores, any other work halves it.

A full run takes about 7 minutes on a two-core machine (some 2.5 per level);
--quick about 10 seconds.
"""

from __future__ import annotations

import argparse
import gc
import hashlib
import json
import os
import subprocess
import sys
import time
from concurrent.futures import ThreadPoolExecutor

import morvane
import workloads
from harness import (
    MEASURES,
    Samples,
    compare_batch,
    fmt_range,
    fmt_rate,
    fmt_ratio,
    heading,
    print_environment,
    print_targets,
    ratio_range,
    table,
    time_turns,
)

LEVELS = ("scalar", "avx2", "avx512")
ENV = "MORVANE_SIMD"
BEST_WORDS_TARGET = 3.0  # best level over cdist workers=1, short words, at least
BEST_REALISTIC_TARGET = 2.5
AVX2_WORDS_TARGET = 2.0
THREAD_TARGET = 1.85
SEED = 20240611
FOLDING = (False, True)


def active_level():
    """The SIMD level the module says it is running, or None when it does not
    tell. The one place where this script asks the module."""
    level = getattr(morvane, "_simd_level", None)
    return level() if callable(level) else level


def cpu_flags() -> set[str]:
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("flags"):
                    return set(line.split(":", 1)[1].split())
    except OSError:
        pass
    return set()


# --------------------------------------------------------------------------
# Child: the measurements at one level


def log(msg: str) -> None:
    print(msg, file=sys.stderr, flush=True)


def fold_label(folded: bool) -> str:
    return "on" if folded else "off"


def measure_batches(args) -> list[dict]:
    n = args.candidates
    words = workloads.ascii_words(n)
    queries, records = workloads.batch_workload(n, SEED, workloads.ALL_SCRIPTS)
    low_words = [w.lower() for w in words]
    low_records = [r.lower() for r in records]
    out = []
    for measure in MEASURES:
        for folded in FOLDING:
            log(f"  {measure.name}, folding {fold_label(folded)}")
            r = compare_batch(measure, "Kitten", words, folded, args.batch_repeats, low_words if folded else None)
            out.append(dict(workload="short words", measure=measure.name, folded=folded, n=n, note=r.note,
                            ours=r.ours.values, cdist=r.cdist.values if r.cdist else None))
            results = [compare_batch(measure, q, records, folded, args.batch_repeats, low_records if folded else None)
                       for q in queries]
            note = next((x.note for x in results if x.note), None)
            # Summed over the queries repeat by repeat: the time of the whole workload.
            ours = [sum(v) for v in zip(*(x.ours.values for x in results))]
            cdist = None if note else [sum(v) for v in zip(*(x.cdist.values for x in results))]
            out.append(dict(workload="realistic", measure=measure.name, folded=folded, n=n * len(queries),
                            note=note, ours=ours, cdist=cdist))
    return out


def measure_threads(args) -> tuple[list[dict], int]:
    total, chunk = args.thread_total, args.chunk
    words = workloads.ascii_words(total, seed=SEED)
    chunks = [words[i : i + chunk] for i in range(0, total, chunk)]
    out = []
    with ThreadPoolExecutor(max_workers=1) as one, ThreadPoolExecutor(max_workers=2) as two:
        list(one.map(len, chunks[:1]))  # start the workers before timing
        list(two.map(len, chunks[:2]))
        for measure in MEASURES:
            batch = measure.batch
            for folded in FOLDING:
                def fn(c, batch=batch, folded=folded):
                    return batch("Kitten", c, case_insensitive=True) if folded else batch("Kitten", c)

                s1, s2 = time_turns([lambda: list(one.map(fn, chunks)), lambda: list(two.map(fn, chunks))],
                                    args.batch_repeats)
                out.append(dict(name=batch.__name__, folded=folded, one=s1.values, two=s2.values))
        # A compute task that releases the interpreter throughout: the
        # scaling this machine offers right now.
        blocks = [bytes(range(256)) * 4096] * 32
        s1, s2 = time_turns([lambda: list(one.map(hashlib.sha256, blocks)),
                             lambda: list(two.map(hashlib.sha256, blocks))], args.batch_repeats)
        out.append(dict(name="hashlib.sha256 32 x 1 MiB [machine reference]", folded=None, one=s1.values,
                        two=s2.values))
    return out, len(chunks)


def child(args) -> int:
    started = time.perf_counter()
    gc.disable()
    log(f"[{os.environ.get(ENV)}] batches")
    batches = measure_batches(args)
    log(f"[{os.environ.get(ENV)}] threads")
    threads, n_chunks = measure_threads(args)
    print(json.dumps(dict(requested=os.environ.get(ENV), active=active_level(), batches=batches,
                          threads=threads, chunks=n_chunks, seconds=time.perf_counter() - started)))
    return 0


# --------------------------------------------------------------------------
# Parent


class Ratio:
    def __init__(self, num: list[float], den: list[float]):
        self.num, self.den = Samples(num), Samples(den)
        self.value = self.num.min / self.den.min
        self.lo, self.hi = ratio_range(self.num, self.den)

    def cell(self) -> str:
        return f"{fmt_ratio(self.value)} ({fmt_range(self.lo, self.hi)})"


def run_child(level: str, args) -> dict:
    cmd = [sys.executable, os.path.abspath(__file__), "--child", "--candidates", str(args.candidates),
           "--batch-repeats", str(args.batch_repeats), "--thread-total", str(args.thread_total),
           "--chunk", str(args.chunk)]
    env = dict(os.environ, **{ENV: level})
    t0 = time.perf_counter()
    proc = subprocess.run(cmd, env=env, capture_output=True, text=True)
    took = time.perf_counter() - t0
    if proc.returncode != 0 or not proc.stdout.strip():
        tail = " | ".join(proc.stderr.strip().splitlines()[-3:])
        return dict(requested=level, error=f"child exited with {proc.returncode}: {tail}", seconds=took)
    return json.loads(proc.stdout.strip().splitlines()[-1])


def print_level(res: dict, targets_data: dict) -> None:
    level = res["requested"]
    active = res.get("active")
    heading(f"{ENV}={level}  (active level: {active if active is not None else 'not reported by the module'})")
    if "error" in res:
        print(f"no figures: {res['error']}")
        print()
        return
    rows = []
    for b in sorted(res["batches"], key=lambda b: b["workload"] != "short words"):
        ours_rate = b["n"] / min(b["ours"])
        if b["cdist"] is None:
            rows.append([b["workload"], b["measure"], fold_label(b["folded"]), fmt_rate(ours_rate), "-", "-",
                         b["note"]])
            continue
        r = Ratio(b["cdist"], b["ours"])
        rows.append([b["workload"], b["measure"], fold_label(b["folded"]), fmt_rate(ours_rate),
                     fmt_rate(b["n"] / min(b["cdist"])), fmt_ratio(r.value), fmt_range(r.lo, r.hi)])
        targets_data.setdefault((b["workload"], b["measure"], b["folded"]), {})[level] = r
    table(["workload", "measure", "folding", "ours cand/s", "cdist cand/s", "speed-up", "range"], rows,
          right={3, 4, 5, 6})
    rows = []
    for t in res["threads"]:
        r = Ratio(t["one"], t["two"])
        folding = "-" if t["folded"] is None else fold_label(t["folded"])
        rows.append([t["name"], folding, f"{min(t['one']) * 1e3:.1f}", f"{min(t['two']) * 1e3:.1f}",
                     fmt_ratio(r.value), fmt_range(r.lo, r.hi)])
        targets_data.setdefault(("threads", t["name"], t["folded"]), {})[level] = r
    print(f"threads: the same {res['chunks']} chunks over 1 and 2 workers")
    table(["function", "folding", "1 thread ms", "2 threads ms", "scaling", "range"], rows, right={2, 3, 4, 5})
    print(f"(child took {res['seconds']:.1f} s)")
    print()


def targets_of(data: dict) -> list:
    targets = []
    for (workload, name, folded), by_level in data.items():
        f = fold_label(folded)
        if workload == "threads":
            level, r = min(by_level.items(), key=lambda kv: kv[1].value)
            if folded is None:
                targets.append((f"{name}: 2-thread scaling, lowest over the levels ({level})", None, r.cell()))
                continue
            targets.append((f"{name} folding {f}: 2-thread scaling >= {THREAD_TARGET}x at every level "
                            f"(lowest: {level})", r.value >= THREAD_TARGET, r.cell()))
            continue
        goal = BEST_WORDS_TARGET if workload == "short words" else BEST_REALISTIC_TARGET
        level, r = max(by_level.items(), key=lambda kv: kv[1].value)
        targets.append((f"{name} {workload} folding {f}: best level ({level}) >= {goal}x cdist",
                        r.value >= goal, r.cell()))
        if workload == "short words":
            r = by_level.get("avx2")
            targets.append((f"{name} short words folding {f}: avx2 >= {AVX2_WORDS_TARGET}x cdist",
                            None if r is None else r.value >= AVX2_WORDS_TARGET,
                            "not measured" if r is None else r.cell()))
    return targets


def main(argv=None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--quick", action="store_true", help="small sizes and few repeats: a smoke run")
    parser.add_argument("--levels", default=",".join(LEVELS), help=f"comma-separated, out of {', '.join(LEVELS)}")
    parser.add_argument("--candidates", type=int, help="candidates per batch (default 1,000,000, quick 20,000)")
    parser.add_argument("--batch-repeats", type=int, help="repeats per batch timing (default 5, quick 2)")
    parser.add_argument("--thread-total", type=int, help="candidates in the thread runs (default 1,000,000)")
    parser.add_argument("--chunk", type=int, help="candidates per thread task, at least 10,000 (default 50,000)")
    parser.add_argument("--child", action="store_true", help=argparse.SUPPRESS)
    args = parser.parse_args(argv)
    q = args.quick
    args.candidates = args.candidates or (20_000 if q else 1_000_000)
    args.batch_repeats = args.batch_repeats or (2 if q else 5)
    args.thread_total = args.thread_total or (100_000 if q else 1_000_000)
    args.chunk = max(10_000, args.chunk or (10_000 if q else 50_000))
    if args.child:
        return child(args)

    levels = [s.strip() for s in args.levels.split(",") if s.strip()]
    unknown = [s for s in levels if s not in LEVELS]
    if unknown:
        parser.error(f"unknown level(s) {', '.join(unknown)}; choose from {', '.join(LEVELS)}")
    print_environment(f"{'quick' if q else 'full'}; {args.candidates:,} candidates per batch, "
                      f"batch repeats {args.batch_repeats}, threads over {args.thread_total:,} in chunks of "
                      f"{args.chunk:,}")
    flags = cpu_flags()
    print(f"CPU flags: avx2 {'yes' if 'avx2' in flags else 'no'}, avx512f {'yes' if 'avx512f' in flags else 'no'}, "
          f"avx512bw {'yes' if 'avx512bw' in flags else 'no'}")
    print(f"this process: {ENV}={os.environ.get(ENV)!r}, active level {active_level()!r}")
    print()
    started = time.perf_counter()
    data: dict = {}
    for level in levels:
        print(f"running the child with {ENV}={level} ...", flush=True)
        res = run_child(level, args)
        print()
        print_level(res, data)
        sys.stdout.flush()
    print_targets(targets_of(data))
    print(f"total time {time.perf_counter() - started:.1f} s")
    return 0


if __name__ == "__main__":
    sys.exit(main())
