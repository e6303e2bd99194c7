#!/usr/bin/env python3
"""morvane next to rapidfuzz (and the other peers where they compute the same
measure) on multilingual record-linkage data from bench/workloads.py, all in
one process on one interpreter.

Sections (choose with --only, comma separated; default all):
  pairs      pair functions over typo'd record pairs by script, folding off/on
  affix      pairs sharing a long prefix and suffix around a short difference
  long       long pairs, 100 to 10^6 characters, a few percent edited
  batch      short query against 10^6 short words, by ASCII / non-ASCII mix
  realistic  typo'd records as queries against 10^6 records; pair summary
  scattered  batches over words in allocation order and the same shuffled
  fresh      the first batch over new strings next to a repeated one

How the figures are taken:
  * Contenders are timed in turns within each repeat, so that a change of
    machine load hits all of them alike; the figures are the minimum over the
    repeats, and "range" is the min-max over the repeats of the ratio taken
    repeat by repeat.
  * Pair functions: a sample is whole passes of a Python loop
    `for a, b in pairs: fn(a, b)` over many different pairs (a single pair,
    kitten/sitting, in a flat loop), as many passes as fill about 20 ms
    (2 ms with --quick); the time per call includes the loop and the call
    (the baseline row shows how much that is).
  * case_insensitive: ours is called with case_insensitive=True on the
    texts as they are; the peer gets both texts lowered (str.lower())
    beforehand, and that lowering is not timed.
  * Batches: one warm-up call each, then one call per repeat; ours returns a
    list, rapidfuzz.process.cdist([query], candidates, workers=1) a NumPy
    array.
  * Every peer is checked for agreement with ours on the data it is timed on
    (on a sample of 20,000 candidates for batches, on 10,000-character
    prefixes for the longest pairs) before it is timed; a peer that
    disagrees is shown with the reason and left out.
  * The garbage collector is disabled while timing.

A full run takes about 25 minutes on a two-core machine, most of it in the
10^6-character pairs (one call of a peer there can take minutes); leave them
out with --long-sizes 100,500,10000. --quick runs in about 10 seconds.
"""

from __future__ import annotations

import argparse
import operator
import random
import sys
import time

import workloads
from harness import (
    MEASURES,
    Runner,
    Samples,
    compare_batch,
    fmt_duration,
    fmt_ns,
    fmt_range,
    fmt_rate,
    fmt_ratio,
    heading,
    parse_sections,
    print_environment,
    ratio_range,
    record,
    run_sections,
    table,
    time_pair_loops,
    time_turns,
    usable_peers,
    write_json,
)

SECTIONS = ("pairs", "affix", "long", "batch", "realistic", "scattered", "fresh")
PAIR_TARGET = 0.6  # ours / rapidfuzz per call, at most
KITTEN_TARGET = 0.5
LONG_TARGET = 0.9
BATCH_TARGET = 2.0  # ours / cdist workers=1 throughput, at least
SCATTER_TARGET = 1.3  # shuffled / allocation order, at most
FRESH_TARGET = 1.2  # first / repeated, at most
SEED = 20240611
FOLDING = (False, True)


class Config:
    def __init__(self, args):
        q = args.quick
        self.quick = q
        self.repeats = args.repeats or (3 if q else 7)
        self.batch_repeats = args.batch_repeats or (2 if q else 5)
        self.sample_ns = 2_000_000 if q else 20_000_000
        self.pair_count = args.pair_count or (300 if q else 2_000)
        self.affix_count = 30 if q else 200
        self.candidates = args.candidates or (20_000 if q else 1_000_000)
        self.long_sizes = [int(x) for x in args.long_sizes.split(",")] if args.long_sizes else (
            [100, 500, 10_000] if q else [100, 500, 10_000, 1_000_000])
        self.long_rate = args.long_rate
        self.huge_repeats = args.huge_repeats


def fold_label(folded: bool) -> str:
    return "on" if folded else "off"


def ratio_cell(x: float, lo: float, hi: float) -> str:
    return f"{fmt_ratio(x)} ({fmt_range(lo, hi)})"


# --------------------------------------------------------------------------
# Pair functions


def compare_pairs(measure, pairs, folded: bool, cfg: Config, only_rapidfuzz=False):
    """(ours Samples, [(peer, Samples)], {label: note}) for `pairs`."""
    usable, notes = usable_peers(measure, pairs, folded, only_rapidfuzz)
    peer_pairs = [(a.lower(), b.lower()) for a, b in pairs] if folded else pairs
    runners = [Runner(measure.ours, pairs, folded)] + [Runner(p.fn, peer_pairs) for p in usable]
    samples = time_pair_loops(runners, cfg.repeats, cfg.sample_ns)
    return samples[0], list(zip(usable, samples[1:])), notes


def pair_table(measure, classes, cfg: Config, targets: list, folding=FOLDING, target_for=None, store=None,
               only_rapidfuzz=False) -> None:
    """Times `measure` on every (name, pairs) class and prints one table."""
    rows = []
    for name, pairs in classes:
        for folded in folding:
            ours, timed, notes = compare_pairs(measure, pairs, folded, cfg, only_rapidfuzz)
            for peer, theirs in timed:
                ratio = ours.min / theirs.min
                lo, hi = ratio_range(ours, theirs)
                rows.append([name, fold_label(folded), peer.label, fmt_ns(ours.min), fmt_ns(ours.median),
                             fmt_ns(theirs.min), fmt_ratio(ratio), fmt_range(lo, hi), ""])
                record("pairs", measure=measure.name, pairs=name, folded=folded, peer=peer.label,
                       ours_ns=ours.min, ours_median_ns=ours.median, peer_ns=theirs.min)
                if peer.package == "rapidfuzz":
                    if store is not None:
                        store[(measure.name, name, folded)] = (ours, theirs)
                    if target_for is not None:
                        goal = target_for(name)
                        targets.append((f"{measure.name} pair {name}, folding {fold_label(folded)}: "
                                        f"ours/rapidfuzz <= {goal}x", ratio <= goal, ratio_cell(ratio, lo, hi)))
            for label, note in notes.items():
                rows.append([name, fold_label(folded), label, fmt_ns(ours.min), fmt_ns(ours.median), "-", "-",
                             "-", note])
    print(f"{measure.name}: ours = morvane.{measure.ours.__name__}")
    table(["pairs", "folding", "peer", "ours ns", "ours median", "peer ns", "ours/peer", "range", "note"], rows,
          right={3, 4, 5, 6, 7})


def pair_classes(cfg: Config):
    n = cfg.pair_count
    classes = [(script, workloads.pairs(n, SEED + i, (script,))) for i, script in enumerate(workloads.ALL_SCRIPTS)]
    classes.append(("all scripts", workloads.pairs(n, SEED + 99, workloads.ALL_SCRIPTS)))
    return classes


def section_pairs(cfg: Config, targets: list, cache: dict) -> None:
    heading("Pair functions on typo'd records: ns per call (minimum over repeats; includes loop and call)")
    classes = pair_classes(cfg)
    base = time_pair_loops([Runner(operator.is_, classes[-1][1])], cfg.repeats, cfg.sample_ns)[0]
    print(f"{cfg.pair_count:,} different pairs per class, cycled; each pair a record and its copy with 1-3 typos")
    print(f"baseline operator.is_(a, b) in the same loop: {fmt_ns(base.min)} ns/call")
    print("folding on: ours gets case_insensitive=True; the peer gets both texts lowered beforehand "
          "(lowering not timed)")
    print(f"'ours median' is the median over the {cfg.repeats} repeats; 'range' the min-max of ours/peer "
          "repeat by repeat")
    print()
    for name, pairs in classes:
        lens = sorted(len(a) for a, _ in pairs)
        print(f"  {name:<12} lengths {lens[0]}-{lens[-1]}, median {lens[len(lens) // 2]}; e.g. {pairs[0]}")
    print()
    classes.append(("kitten/sitting", [("kitten", "sitting")]))
    store = cache.setdefault("pairs", {})
    for measure in MEASURES:
        pair_table(measure, classes, cfg, targets, store=store,
                   target_for=lambda name: KITTEN_TARGET if name == "kitten/sitting" else PAIR_TARGET)


def affix_pairs(count: int, length: int, ascii_only: bool, seed: int):
    """Pairs of `length` code points with the same prefix and suffix around
    a middle of a few characters that differs by 1 to 3 edits."""
    rng = random.Random(seed)
    out = []
    for i in range(count):
        base = workloads.text(length, seed * 1000 + i, ascii_only)
        mid = length // 2 + rng.randint(-3, 3)
        window = base[mid : mid + 6]
        edited = workloads.near_copy(rng, window, rng.randint(1, 3) / len(window))
        out.append((base, base[:mid] + edited + base[mid + 6 :]))
    return out


def section_affix(cfg: Config, targets: list, cache: dict) -> None:
    heading("Pair functions on pairs with a long common prefix and suffix")
    classes = []
    for ascii_only in (True, False):
        for length in (40, 60, 600):
            name = f"{'ASCII' if ascii_only else 'non-ASCII'} ~{length}"
            classes.append((name, affix_pairs(cfg.affix_count, length, ascii_only, length + ascii_only)))
    print(f"{cfg.affix_count} different pairs per class, cycled; the middle 6 characters differ by 1-3 edits; "
          "folding off")
    print(f"e.g. {classes[0][1][0]}")
    print()
    for measure in MEASURES:
        pair_table(measure, classes, cfg, targets, folding=(False,), target_for=lambda name: PAIR_TARGET)


def section_long(cfg: Config, targets: list, cache: dict) -> None:
    rate = cfg.long_rate
    heading(f"Long pairs: a text over words and its copy with {rate:.0%} of its positions edited")
    print("ours vs rapidfuzz; up to 10,000 characters as in the pair sections (several different pairs cycled);")
    print(f"from 100,000 characters one pair, one call per repeat, {cfg.huge_repeats} repeat(s), no warm-up; "
          "agreement checked on 10,000-character prefixes before timing and on the timed results after")
    print()
    for measure in MEASURES:
        rows = []
        for ascii_only in (True, False):
            for size in cfg.long_sizes:
                name = f"{'ASCII' if ascii_only else 'non-ASCII'} {size:,}"
                count = 50 if size <= 1_000 else (5 if size <= 10_000 else 1)
                rng = random.Random(size + ascii_only)
                pairs = []
                for i in range(count):
                    a = workloads.text(size, size * 10 + i + 7 * ascii_only, ascii_only)
                    pairs.append((a, workloads.near_copy(rng, a, rate)))
                rf = measure.rapidfuzz
                if size < 100_000:
                    ours, timed, notes = compare_pairs(measure, pairs, False, cfg, only_rapidfuzz=True)
                    theirs = timed[0][1] if timed else None
                    note = notes.get(rf.label, "")
                else:
                    (a, b), = pairs
                    _, notes = usable_peers(measure, [(a[:10_000], b[:10_000])], only_rapidfuzz=True)
                    note = notes.get(rf.label, "")
                    results = {}

                    def call(fn, key):
                        def run():
                            results[key] = fn(a, b)
                        return run

                    calls = [call(measure.ours, "ours")] + ([] if note else [call(rf.fn, "peer")])
                    samples = time_turns(calls, cfg.huge_repeats, warmup=False)
                    ours = Samples([s * 1e9 for s in samples[0].values])
                    theirs = Samples([s * 1e9 for s in samples[1].values]) if not note else None
                    if theirs and not measure.same(results["ours"], results["peer"]):
                        note, theirs = f"disagrees: {results['peer']!r} vs ours {results['ours']!r}", None
                if theirs is None:
                    rows.append([name, fmt_duration(ours.min), "-", "-", "-", note])
                    continue
                ratio = ours.min / theirs.min
                lo, hi = ratio_range(ours, theirs)
                rows.append([name, fmt_duration(ours.min), fmt_duration(theirs.min), fmt_ratio(ratio),
                             fmt_range(lo, hi), ""])
                targets.append((f"{measure.name} long {name}: ours/rapidfuzz <= {LONG_TARGET}x",
                                ratio <= LONG_TARGET, ratio_cell(ratio, lo, hi)))
                sys.stdout.flush()
        print(f"{measure.name}: ours = morvane.{measure.ours.__name__}, peer = {measure.rapidfuzz.label}")
        table(["pair", "ours", "peer", "ours/peer", "range", "note"], rows, right={1, 2, 3, 4})


# --------------------------------------------------------------------------
# Batches


BATCH_HEADERS = ["case", "folding", "ours cand/s", "cdist cand/s", "speed-up", "range", "note"]


def batch_row(label, result, folded: bool):
    if result.note:
        return [label, fold_label(folded), fmt_rate(result.ours_rate), "-", "-", "-", result.note]
    lo, hi = result.speedup_range()
    return [label, fold_label(folded), fmt_rate(result.ours_rate), fmt_rate(result.cdist_rate),
            fmt_ratio(result.speedup), fmt_range(lo, hi), ""]


def lowered(cache: dict, key: str, cands: list[str]) -> list[str]:
    return cache.setdefault(f"lowered {key}", [c.lower() for c in cands])


def section_batch(cfg: Config, targets: list, cache: dict) -> None:
    n = cfg.candidates
    heading(f"Batches: one short query against {n:,} short words, by mix")
    sets = {
        "ASCII": cache.setdefault("ascii", workloads.ascii_words(n)),
        "non-ASCII": cache.setdefault("non-ascii", workloads.non_ascii_words(n)),
        "mixed": cache.setdefault("mixed", workloads.mixed_words(n)),
    }
    queries = {"ASCII": "Kitten", "non-ASCII": "Dvořák"}
    print(f"queries {queries}; words of 3-12 letters (CJK 2-5), a quarter capitalised, some upper-case;")
    print("non-ASCII words: Latin-1 accented, Cyrillic, Greek, CJK; mixed: half ASCII, half non-ASCII")
    print(f"ours vs rapidfuzz.process.cdist([query], candidates, workers=1); minimum of {cfg.batch_repeats} "
          "repeats; speed-up = cdist time / ours; folding on: cdist gets the lowered query and candidates, "
          "lowered before timing")
    print()
    for measure in MEASURES:
        rows = []
        for qkind, query in queries.items():
            for ckind, cands in sets.items():
                label = f"{qkind} query x {ckind} words"
                for folded in FOLDING:
                    low = lowered(cache, ckind, cands) if folded else None
                    result = compare_batch(measure, query, cands, folded, cfg.batch_repeats, low)
                    rows.append(batch_row(label, result, folded))
                    if result.speedup is not None:
                        lo, hi = result.speedup_range()
                        targets.append((f"{measure.name} batch {label}, folding {fold_label(folded)}: "
                                        f">= {BATCH_TARGET}x cdist", result.speedup >= BATCH_TARGET,
                                        ratio_cell(result.speedup, lo, hi)))
                    sys.stdout.flush()
        print(f"{measure.name}: ours = morvane.{measure.batch.__name__}")
        table(BATCH_HEADERS, rows, right={2, 3, 4, 5})


def section_realistic(cfg: Config, targets: list, cache: dict) -> None:
    n = cfg.candidates
    heading(f"Realistic workload: typo'd records as queries against {n:,} multilingual records")
    t0 = time.perf_counter()
    queries, cands = workloads.batch_workload(n, SEED, workloads.ALL_SCRIPTS)
    made = time.perf_counter() - t0
    lens = sorted(len(c) for c in cands)
    print(f"records of scripts {', '.join(workloads.ALL_SCRIPTS)} in equal shares: person names, companies, "
          f"addresses; lengths {lens[0]}-{lens[-1]}, median {lens[len(lens) // 2]}; made in {made:.1f} s")
    for query in queries:
        print(f"  query {query!r}")
    print(f"one query per script, a copy of one of the records with 1-3 typos; minimum of {cfg.batch_repeats} "
          "repeats; folding on: cdist gets lowered texts, lowered before timing")
    print()
    low = [c.lower() for c in cands]
    for measure in MEASURES:
        rows = []
        worst = {}
        for query in queries:
            shown = query if len(query) <= 24 else query[:23] + "…"
            label = f"{workloads.text_script(query)}: {shown}"
            for folded in FOLDING:
                result = compare_batch(measure, query, cands, folded, cfg.batch_repeats, low if folded else None)
                rows.append(batch_row(label, result, folded))
                record("realistic", measure=measure.name, query=query, script=workloads.text_script(query),
                       folded=folded, candidates=n, ours_cand_per_s=result.ours_rate,
                       cdist_cand_per_s=result.cdist_rate, note=result.note)
                if result.speedup is not None:
                    prev = worst.get(folded)
                    if prev is None or result.speedup < prev[0]:
                        worst[folded] = (result.speedup, *result.speedup_range())
                sys.stdout.flush()
        print(f"{measure.name}: ours = morvane.{measure.batch.__name__}")
        table(["query", "folding", "ours cand/s", "cdist cand/s", "speed-up", "range", "note"], rows,
              right={2, 3, 4, 5})
        for folded, (s, lo, hi) in worst.items():
            targets.append((f"{measure.name} realistic batch, folding {fold_label(folded)}: lowest over queries "
                            f">= {BATCH_TARGET}x cdist", s >= BATCH_TARGET, ratio_cell(s, lo, hi)))

    store = cache.get("pairs")
    if not store:
        print("pair form (the pairs section did not run: timing the all-scripts pairs against rapidfuzz now)")
        store = {}
        classes = [c for c in pair_classes(cfg) if c[0] == "all scripts"]
        for measure in MEASURES:
            for folded in FOLDING:
                ours, timed, _ = compare_pairs(measure, classes[0][1], folded, cfg, only_rapidfuzz=True)
                if timed:
                    store[(measure.name, "all scripts", folded)] = (ours, timed[0][1])
    rows = []
    for (name, cls, folded), (ours, theirs) in store.items():
        if cls in ("all scripts", "ascii", "latin", "cyrillic", "greek", "cjk"):
            lo, hi = ratio_range(ours, theirs)
            rows.append([name, cls, fold_label(folded), fmt_ns(ours.min), fmt_ns(theirs.min),
                         fmt_ratio(ours.min / theirs.min), fmt_range(lo, hi)])
    print("pair form, ours vs rapidfuzz (from the pairs section)")
    table(["measure", "pairs", "folding", "ours ns", "rapidfuzz ns", "ours/peer", "range"], rows,
          right={3, 4, 5, 6})


def section_scattered(cfg: Config, targets: list, cache: dict) -> None:
    n = cfg.candidates
    heading(f"Scattered candidates: {n:,} words in allocation order vs the same objects shuffled")
    print(f"query 'Kitten'; minimum of {cfg.batch_repeats} repeats, ordered and shuffled in turns; folding off")
    print()
    rows = []
    for kind, make in (("ASCII", workloads.ascii_words), ("mixed", workloads.mixed_words)):
        words = make(n, seed=SEED)  # made here, so that they lie in allocation order
        shuffled = random.Random(SEED).sample(words, len(words))
        for measure in MEASURES:
            batch = measure.batch
            ordered_s, shuffled_s = time_turns(
                [lambda: batch("Kitten", words), lambda: batch("Kitten", shuffled)], cfg.batch_repeats)
            ratio = shuffled_s.min / ordered_s.min
            lo, hi = ratio_range(shuffled_s, ordered_s)
            rows.append([f"{kind} words", batch.__name__, f"{ordered_s.min * 1e3:.1f}", f"{shuffled_s.min * 1e3:.1f}",
                         fmt_ratio(ratio), fmt_range(lo, hi)])
            targets.append((f"{batch.__name__} {kind} words shuffled/ordered <= {SCATTER_TARGET}x",
                            ratio <= SCATTER_TARGET, ratio_cell(ratio, lo, hi)))
        del words, shuffled
    table(["words", "batch", "ordered ms", "shuffled ms", "shuffled/ordered", "range"], rows)


def section_fresh(cfg: Config, targets: list, cache: dict) -> None:
    n = cfg.candidates
    heading(f"Fresh strings: the first batch over {n:,} new non-ASCII words vs the same batch repeated")
    encoded = [w.encode() for w in workloads.non_ascii_words(n, seed=SEED + 1)]
    print(f"each repeat decodes the words anew from bytes (not timed), then times the first call and a second "
          f"call over the same strings; {cfg.batch_repeats} repeats; query 'Dvořák'; sizes are the total "
          "sys.getsizeof of the candidates")
    print()
    rows = []
    for measure in MEASURES:
        batch = measure.batch
        for folded in FOLDING:
            kw = {"case_insensitive": True} if folded else {}
            first, again, grown = [], [], []
            for _ in range(cfg.batch_repeats):
                fresh = [b.decode() for b in encoded]
                before = sum(map(sys.getsizeof, fresh))
                t0 = time.perf_counter_ns()
                r = batch("Dvořák", fresh, **kw)
                t1 = time.perf_counter_ns()
                del r
                after = sum(map(sys.getsizeof, fresh))
                t2 = time.perf_counter_ns()
                r = batch("Dvořák", fresh, **kw)
                t3 = time.perf_counter_ns()
                del r, fresh
                first.append(t1 - t0)
                again.append(t3 - t2)
                grown.append(after - before)
            first_s, again_s = Samples(first), Samples(again)
            ratio = first_s.min / again_s.min
            lo, hi = ratio_range(first_s, again_s)
            rows.append([batch.__name__, fold_label(folded), f"{first_s.min / 1e6:.1f}", f"{again_s.min / 1e6:.1f}",
                         fmt_ratio(ratio), fmt_range(lo, hi), f"{before:,}", f"{max(grown):+,}"])
            targets.append((f"{batch.__name__} folding {fold_label(folded)} fresh first/repeated <= {FRESH_TARGET}x",
                            ratio <= FRESH_TARGET, ratio_cell(ratio, lo, hi)))
            targets.append((f"{batch.__name__} folding {fold_label(folded)}: candidates' size unchanged by a call",
                            max(grown) == 0, f"{max(grown):+,} bytes"))
    table(["batch", "folding", "first ms", "repeated ms", "first/repeated", "range", "size before",
           "growth"], rows)


# --------------------------------------------------------------------------


def main(argv=None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--quick", action="store_true", help="small sizes and few repeats: a smoke run")
    parser.add_argument("--only", default=",".join(SECTIONS),
                        help=f"comma-separated sections out of {', '.join(SECTIONS)}")
    parser.add_argument("--repeats", type=int, help="repeats per pair timing (default 7, quick 3)")
    parser.add_argument("--batch-repeats", type=int, help="repeats per batch timing (default 5, quick 2)")
    parser.add_argument("--pair-count", type=int, help="different pairs per pair class (default 2,000)")
    parser.add_argument("--candidates", type=int, help="candidates per batch (default 1,000,000, quick 20,000)")
    parser.add_argument("--long-sizes", help="comma-separated lengths of the long pairs "
                                             "(default 100,500,10000,1000000; quick without 1000000)")
    parser.add_argument("--long-rate", type=float, default=0.02, help="share of edited positions (default 0.02)")
    parser.add_argument("--huge-repeats", type=int, default=1,
                        help="repeats for long pairs of 100,000 characters and more (default 1)")
    parser.add_argument("--json", metavar="PATH", help="also write the figures, in plain numbers, to PATH")
    args = parser.parse_args(argv)
    chosen = parse_sections(parser, args.only, SECTIONS)

    cfg = Config(args)
    print_environment(f"{'quick' if cfg.quick else 'full'}; pair repeats {cfg.repeats}, "
                      f"batch repeats {cfg.batch_repeats}, {cfg.candidates:,} candidates per batch")
    sections = {"pairs": section_pairs, "affix": section_affix, "long": section_long, "batch": section_batch,
                "realistic": section_realistic, "scattered": section_scattered, "fresh": section_fresh}
    targets: list = []
    run_sections({name: sections[name] for name in SECTIONS}, chosen, cfg, targets, {})
    if args.json:
        write_json(args.json, "bench_realworld.py", sys.argv[1:] if argv is None else list(argv), targets)
    return 0


if __name__ == "__main__":
    sys.exit(main())
