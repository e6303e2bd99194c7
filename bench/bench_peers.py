#!/usr/bin/env python3
"""Per-call times and batch throughput of morvane next to established
string-metric libraries (rapidfuzz, Levenshtein, editdistance, polyleven,
jellyfish), all in one process on one interpreter.

Sections (choose with --only, comma separated; default all):
  pairs     single-pair functions on short, long and non-ASCII pairs
  batch     short ASCII query against many short ASCII words
  fallback  the same with non-ASCII words, and with a 100-character query
  probes    the candidate intake probes next to the batch scoring
  threads   the batches over 1 and 2 threads on the same total work

How the figures are taken:
  * Pair functions: a repeat is N back-to-back calls `fn(a, b)` in a Python
    loop, N chosen so that one repeat lasts about 20 ms (2 ms with --quick).
    The figure is the MINIMUM over the repeats (7 by default) of the time per
    call, so it includes the loop and the call itself; the baseline row
    (operator.is_, a two-argument builtin that does nothing) shows how much
    of that is the loop and the call. Ours and every peer are timed in turns
    within each repeat, so a change of machine load hits all of them alike.
  * Batches: after one warm-up call, a repeat is one call over all
    candidates, the repeats of one function back to back (5 by default); the
    figure is the minimum over the repeats, reported as candidates per
    second. faults/call is the median number of minor page faults per call
    (fresh memory the kernel had to map and clear). Our batch functions
    return a list; rapidfuzz.process.cdist returns a NumPy array.
    List comprehensions over a peer's pair function run over the first
    --listcomp-limit candidates only (the rate is per candidate).
  * Threads: the candidates are cut into equal chunks of at least 10,000
    (the size from which a batch releases the interpreter while computing)
    and mapped over a ThreadPoolExecutor with 1 and then 2 workers; the
    figure is the minimum over the repeats of the wall time for all chunks.
  * The garbage collector is disabled while timing.

A peer that cannot be imported is shown as such in place of its figures.
Every peer's results are compared with ours before timing; a peer that
computes a different measure is marked and left out of the ratios.
"""

from __future__ import annotations

import argparse
import hashlib
import operator
import os
import random
import sys
from concurrent.futures import ThreadPoolExecutor

import morvane
from harness import (
    AGREEMENT_PROBES,
    MEASURES,
    PEERS,
    Measure,
    disagreement,
    fmt_ns,
    fmt_rate,
    heading,
    near_copy,
    parse_sections,
    print_environment,
    record,
    run_sections,
    table,
    time_calls,
    time_pairs,
    write_json,
)

SECTIONS = ("pairs", "batch", "fallback", "probes", "threads")
PAIR_TARGET = 0.6  # ours / rapidfuzz per call, at most
BATCH_TARGET = 2.0  # ours / rapidfuzz cdist workers=1 throughput, at least
THREAD_TARGET = 1.85  # 2-thread speed-up, at least

# --------------------------------------------------------------------------
# Data


def random_word(rng: random.Random, lo: int, hi: int, alphabet: str) -> str:
    return "".join(rng.choice(alphabet) for _ in range(rng.randint(lo, hi)))


LOWER = "abcdefghijklmnopqrstuvwxyz"
NON_ASCII_LETTERS = "\u00e9\u00e8\u00f6\u00fc\u00df\u00f1\u03b1\u03b2\u03c9\u03a3\u65e5\u672c\u8a9e\u4e2d"


def ascii_words(count: int, rng_state: int = 12345) -> list[str]:
    rng = random.Random(rng_state)
    return [random_word(rng, 3, 12, LOWER) for _ in range(count)]


def mixed_words(count: int, rng_state: int = 23456) -> list[str]:
    """Short words; every third holds one accented, Greek or CJK letter."""
    rng = random.Random(rng_state)
    out = []
    for i in range(count):
        w = random_word(rng, 3, 12, LOWER)
        if i % 3 == 0:
            k = rng.randrange(len(w))
            w = w[:k] + rng.choice(NON_ASCII_LETTERS) + w[k + 1 :]
        out.append(w)
    return out


def pair_cases() -> list[tuple[str, str, str]]:
    rng = random.Random(777)
    ascii_alpha = LOWER + " "
    long_100 = "".join(rng.choice(ascii_alpha) for _ in range(100))
    long_500 = "".join(rng.choice(ascii_alpha) for _ in range(500))
    mixed_alpha = LOWER[:10] + NON_ASCII_LETTERS
    mixed_100 = "".join(rng.choice(mixed_alpha) for _ in range(100))
    return [
        ("short kitten/sitting", "kitten", "sitting"),
        ("short non-ASCII", "\u00e9l\u00e8ve na\u00efve", "\u00e9lev\u00e9 naive"),
        ("long ASCII ~100", long_100, near_copy(rng, long_100, ascii_alpha)),
        ("long ASCII ~500", long_500, near_copy(rng, long_500, ascii_alpha)),
        ("long non-ASCII ~100", mixed_100, near_copy(rng, mixed_100, mixed_alpha)),
    ]


# --------------------------------------------------------------------------
# Timing


class Config:
    def __init__(self, args):
        self.quick = args.quick
        self.repeats = args.repeats or (3 if args.quick else 7)
        self.batch_repeats = args.batch_repeats or (2 if args.quick else 5)
        self.sample_ns = 2_000_000 if args.quick else 20_000_000
        self.candidates = args.candidates or (20_000 if args.quick else 1_000_000)
        self.listcomp_limit = min(self.candidates, args.listcomp_limit or (20_000 if args.quick else 200_000))
        self.thread_total = args.thread_total or (100_000 if args.quick else 2_000_000)
        self.chunk = max(10_000, args.chunk or (10_000 if args.quick else 50_000))


# --------------------------------------------------------------------------
# Sections


def section_pairs(cfg: Config, targets: list) -> None:
    heading("Pair functions: ns per call (minimum over repeats; includes loop and call)")
    cases = pair_cases()
    base = time_pairs([operator.is_], "kitten", "sitting", cfg)[0]
    print(f"baseline operator.is_(a, b): {fmt_ns(base)} ns/call (Python loop + one builtin call)")
    print()
    for name, a, b in cases:
        print(f"  {name}: len {len(a)} / {len(b)}")
    print()
    for measure in MEASURES:
        rows = []
        for case_name, a, b in cases:
            usable, notes = [], {}
            for peer in measure.peers:
                if peer.missing:
                    notes[peer.label] = peer.missing
                    continue
                note = disagreement(measure, peer.fn, AGREEMENT_PROBES + [(a, b)])
                if note:
                    notes[peer.label] = note
                    continue
                usable.append(peer)
            times = time_pairs([measure.ours] + [p.fn for p in usable], a, b, cfg)
            ours = times[0]
            timed = dict(zip((p.label for p in usable), times[1:]))
            for peer in measure.peers:
                if peer.label in timed:
                    theirs = timed[peer.label]
                    rows.append([case_name, peer.label, fmt_ns(ours), fmt_ns(theirs), f"{ours / theirs:.2f}x"])
                    record("pairs", measure=measure.name, case=case_name, peer=peer.label, ours_ns=ours,
                           peer_ns=theirs)
                    if peer.package == "rapidfuzz":
                        targets.append(
                            (f"{measure.name} pair {case_name}: ours/rapidfuzz <= {PAIR_TARGET}x",
                             ours / theirs <= PAIR_TARGET, f"{ours / theirs:.2f}x")
                        )
                else:
                    rows.append([case_name, peer.label, fmt_ns(ours), "-", "-", notes[peer.label]])
        print(f"{measure.name}: ours = morvane.{measure.ours.__name__}")
        table(["pair", "peer", "ours ns", "peer ns", "ours/peer", "note"], rows, right={2, 3, 4})


def batch_rows(measure: Measure, query: str, cands: list[str], cfg: Config, extra_kwargs=None, section="batch"):
    """Rows for one measure and one candidate set; returns (rows, ours_rate, cdist_rate)."""
    n = len(cands)
    rows = []
    calls, labels, counts, notes = [], [], [], []
    ours = measure.batch
    calls.append(lambda: ours(query, cands))
    labels.append(f"morvane.{ours.__name__}")
    counts.append(n)
    notes.append("returns list")

    rf = PEERS["rapidfuzz"]
    cdist = rf.get("process.cdist")
    scorer = rf.get(measure.cdist_attr)
    cdist_index = None
    cdist_note = None
    if cdist is None or scorer is None:
        cdist_note = f"not importable ({rf.error})" if rf.module is None else "cdist or scorer missing"
    else:
        sample = cands[: min(n, 20_000)]
        matrix = cdist([query], sample, scorer=scorer, workers=1)
        got = matrix[0].tolist()
        want = ours(query, sample)
        # Called as users call it: a similarity comes back as float32, so
        # it is compared to float32 precision.
        single = str(matrix.dtype) == "float32"
        tolerance = 1e-6 if single else 0

        def agrees(x, y):
            return abs(x - y) <= tolerance if single else measure.same(x, y)

        bad = next((i for i, (x, y) in enumerate(zip(want, got)) if not agrees(x, y)), None)
        if bad is not None:
            cdist_note = f"disagrees at {sample[bad]!r}: {got[bad]!r} vs ours {want[bad]!r}"
        else:
            cdist_index = len(calls)
            calls.append(lambda: cdist([query], cands, scorer=scorer, workers=1))
            labels.append(f"rapidfuzz cdist({measure.cdist_attr.split('.', 1)[1]}, workers=1)")
            counts.append(n)
            notes.append(f"returns {matrix.dtype} ndarray")

    lc_n = cfg.listcomp_limit
    lc_cands = cands[:lc_n]
    missing_rows = []
    if cdist_note:
        missing_rows.append(["rapidfuzz cdist(workers=1)", str(n), "-", "-", "-", "-", cdist_note])
    for peer in measure.peers:
        label = f"[{peer.label}(q, c) for c]"
        if peer.missing:
            missing_rows.append([label, str(lc_n), "-", "-", "-", "-", peer.missing])
            continue
        note = disagreement(measure, peer.fn, AGREEMENT_PROBES + [(query, c) for c in lc_cands[:50]])
        if note:
            missing_rows.append([label, str(lc_n), "-", "-", "-", "-", note])
            continue
        fn = peer.fn
        calls.append(lambda fn=fn: [fn(query, c) for c in lc_cands])
        labels.append(label)
        counts.append(lc_n)
        notes.append("")

    timings = time_calls(calls, cfg.batch_repeats)
    rates = [c / t.seconds for c, t in zip(counts, timings)]
    ours_rate = rates[0]
    for label, count, t, rate, note in zip(labels, counts, timings, rates, notes):
        rows.append([label, str(count), f"{t.seconds * 1e9 / count:.1f}", fmt_rate(rate),
                     f"{ours_rate / rate:.2f}x", f"{t.faults:.0f}", note])
        record(section, measure=measure.name, query=query, candidates=len(cands), function=label, timed=count,
               cand_per_s=rate, ours_cand_per_s=ours_rate)
    rows.extend(missing_rows)
    cdist_rate = rates[cdist_index] if cdist_index is not None else None
    return rows, ours_rate, cdist_rate


BATCH_HEADERS = ["function", "candidates", "ns/cand", "cand/s", "ours speed-up", "faults/call", "note"]


def section_batch(cfg: Config, targets: list, cache: dict) -> None:
    heading(f"Batch throughput: short ASCII query, {cfg.candidates:,} short ASCII words (3-12 letters)")
    cands = cache.setdefault("ascii", ascii_words(cfg.candidates))
    query = "kitten"
    print(f"query {query!r}; minimum of {cfg.batch_repeats} repeats; list comprehensions over the first "
          f"{cfg.listcomp_limit:,} candidates; 'ours speed-up' = our cand/s over the row's cand/s")
    print()
    for measure in MEASURES:
        rows, ours_rate, cdist_rate = batch_rows(measure, query, cands, cfg)
        cache.setdefault("batch_rates", {})[measure.name] = ours_rate
        print(measure.name)
        table(BATCH_HEADERS, rows, right={1, 2, 3, 4, 5})
        if cdist_rate is not None:
            ratio = ours_rate / cdist_rate
            targets.append((f"{measure.name} batch: ours >= {BATCH_TARGET}x rapidfuzz cdist workers=1",
                            ratio >= BATCH_TARGET, f"{ratio:.2f}x"))


def section_fallback(cfg: Config, targets: list, cache: dict) -> None:
    heading("Batch throughput on the fallback paths")
    mixed = cache.setdefault("mixed", mixed_words(cfg.candidates))
    ascii_cands = cache.setdefault("ascii", ascii_words(cfg.candidates))
    rng = random.Random(4242)
    long_query = "".join(rng.choice(LOWER) for _ in range(100))
    share = sum(1 for w in mixed if not w.isascii()) / len(mixed)
    cases = [
        (f"short ASCII query 'kitten', {len(mixed):,} words, {share:.0%} of them non-ASCII", "kitten", mixed),
        (f"100-character ASCII query, {len(ascii_cands):,} short ASCII words", long_query, ascii_cands),
    ]
    print(f"minimum of {cfg.batch_repeats} repeats; list comprehensions over the first {cfg.listcomp_limit:,} "
          "candidates")
    print()
    for title, query, cands in cases:
        for measure in MEASURES:
            rows, ours_rate, cdist_rate = batch_rows(measure, query, cands, cfg, section="fallback")
            print(f"{measure.name}: {title}")
            table(BATCH_HEADERS, rows, right={1, 2, 3, 4, 5})
            if cdist_rate is not None:
                targets.append((f"{measure.name} batch, {title.split(',')[0]}: ours vs cdist (informational)",
                                None, f"{ours_rate / cdist_rate:.2f}x"))


def section_probes(cfg: Config, targets: list, cache: dict) -> None:
    heading(f"Candidate intake probes and batch scoring, {cfg.candidates:,} candidates")
    cands = cache.setdefault("ascii", ascii_words(cfg.candidates))
    mixed = cache.setdefault("mixed", mixed_words(cfg.candidates))
    piece = 50_000
    print(f"minimum of {cfg.batch_repeats} repeats; each row is one call over all candidates, except the "
          f"'in {piece:,}-candidate calls' rows: the same work as consecutive calls on slices made beforehand")
    print()
    for title, data in (("short ASCII words", cands), ("words, a third non-ASCII", mixed)):
        pieces = [data[i : i + piece] for i in range(0, len(data), piece)]
        calls = [
            ("list(candidates)  [reference: copy the references]", lambda: list(data)),
            ("morvane._ingest_borrow", lambda: morvane._ingest_borrow(data)),
            ("morvane._ingest_borrow_and_deref", lambda: morvane._ingest_borrow_and_deref(data)),
            ("morvane._ingest_owned", lambda: morvane._ingest_owned(data)),
            ("morvane.levenshtein_batch('kitten', ...)", lambda: morvane.levenshtein_batch("kitten", data)),
            ("morvane.damerau_batch('kitten', ...)", lambda: morvane.damerau_batch("kitten", data)),
            ("morvane.jaro_winkler_batch('kitten', ...)", lambda: morvane.jaro_winkler_batch("kitten", data)),
            (f"levenshtein_batch in {piece:,}-candidate calls",
             lambda: [morvane.levenshtein_batch("kitten", p) for p in pieces]),
            (f"damerau_batch in {piece:,}-candidate calls",
             lambda: [morvane.damerau_batch("kitten", p) for p in pieces]),
            (f"jaro_winkler_batch in {piece:,}-candidate calls",
             lambda: [morvane.jaro_winkler_batch("kitten", p) for p in pieces]),
        ]
        timings = time_calls([c for _, c in calls], cfg.batch_repeats)
        borrow = timings[1].seconds
        rows = []
        for (label, _), t in zip(calls, timings):
            rows.append([label, f"{t.seconds * 1e9 / len(data):.1f}", fmt_rate(len(data) / t.seconds),
                         f"{t.seconds / borrow:.2f}", f"{t.faults:.0f}"])
        print(title)
        table(["call", "ns/cand", "cand/s", "time / _ingest_borrow", "faults/call"], rows, right={1, 2, 3, 4})


def section_threads(cfg: Config, targets: list, cache: dict) -> None:
    total = cfg.thread_total
    chunk = cfg.chunk
    heading(f"Thread scaling: {total:,} short ASCII words in chunks of {chunk:,}, 1 vs 2 threads")
    words = cache.get("ascii")
    if words is None or len(words) < total:
        words = ascii_words(total, rng_state=34567)
    words = words[:total]
    chunks = [words[i : i + chunk] for i in range(0, total, chunk)]
    print(f"{len(chunks)} chunks; minimum of {cfg.batch_repeats} repeats of mapping every chunk; "
          f"CPU count {os.cpu_count()}")
    print()
    rows = []
    # A pure compute task that releases the interpreter for its whole
    # duration: its speed-up is what this machine offers right now (other
    # processes share the cores).
    block = bytes(range(256)) * 4096
    blocks = [block] * 64
    funcs = [
        ("levenshtein_batch", lambda c: morvane.levenshtein_batch("kitten", c)),
        ("damerau_batch", lambda c: morvane.damerau_batch("kitten", c)),
        ("jaro_winkler_batch", lambda c: morvane.jaro_winkler_batch("kitten", c)),
        ("_ingest_borrow  [intake only, holds the interpreter]", lambda c: morvane._ingest_borrow(c)),
    ]
    with ThreadPoolExecutor(max_workers=1) as one, ThreadPoolExecutor(max_workers=2) as two:
        # Start the workers before timing.
        list(one.map(len, chunks[:1]))
        list(two.map(len, chunks[:2]))
        for name, fn in funcs:
            calls = [lambda: list(one.map(fn, chunks)), lambda: list(two.map(fn, chunks))]
            t1, t2 = (t.seconds for t in time_calls(calls, cfg.batch_repeats))
            speedup = t1 / t2
            rows.append([name, f"{t1 * 1e3:.1f}", f"{t2 * 1e3:.1f}", fmt_rate(total / t1), fmt_rate(total / t2),
                         f"{speedup:.2f}x"])
            if not name.startswith("_"):
                targets.append((f"{name} 2-thread speed-up >= {THREAD_TARGET}x", speedup >= THREAD_TARGET,
                                f"{speedup:.2f}x"))

        def digest(b):
            return hashlib.sha256(b).digest()

        calls = [lambda: list(one.map(digest, blocks)), lambda: list(two.map(digest, blocks))]
        t1, t2 = (t.seconds for t in time_calls(calls, cfg.batch_repeats))
        rows.append(["hashlib.sha256, 64 x 1 MiB  [machine reference]", f"{t1 * 1e3:.1f}", f"{t2 * 1e3:.1f}",
                     "-", "-", f"{t1 / t2:.2f}x"])
    table(["function", "1 thread ms", "2 threads ms", "cand/s 1", "cand/s 2", "speed-up"], rows)


# --------------------------------------------------------------------------


def main(argv=None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--quick", action="store_true", help="small sizes and few repeats: a smoke run")
    parser.add_argument("--only", default=",".join(SECTIONS),
                        help=f"comma-separated sections out of {', '.join(SECTIONS)}")
    parser.add_argument("--repeats", type=int, help="repeats per pair timing (default 7, quick 3)")
    parser.add_argument("--batch-repeats", type=int, help="repeats per batch timing (default 5, quick 2)")
    parser.add_argument("--candidates", type=int, help="candidates per batch (default 1,000,000)")
    parser.add_argument("--listcomp-limit", type=int, help="candidates for list comprehensions (default 200,000)")
    parser.add_argument("--thread-total", type=int, help="candidates in the thread section (default 2,000,000)")
    parser.add_argument("--chunk", type=int, help="candidates per thread task, at least 10,000 (default 50,000, quick 10,000)")
    parser.add_argument("--json", metavar="PATH", help="also write the figures, in plain numbers, to PATH")
    args = parser.parse_args(argv)
    chosen = parse_sections(parser, args.only, SECTIONS)

    cfg = Config(args)
    print_environment(f"{'quick' if cfg.quick else 'full'}; pair repeats {cfg.repeats}, "
                      f"batch repeats {cfg.batch_repeats}")
    sections = {"pairs": lambda cfg, targets, cache: section_pairs(cfg, targets), "batch": section_batch,
                "fallback": section_fallback, "probes": section_probes, "threads": section_threads}
    targets: list = []
    run_sections(sections, chosen, cfg, targets, {})
    if args.json:
        write_json(args.json, "bench_peers.py", sys.argv[1:] if argv is None else list(argv), targets)
    return 0


if __name__ == "__main__":
    sys.exit(main())
