#!/usr/bin/env python3
"""Long single pairs: morvane's edit distances next to rapidfuzz's, in one
process, timed in turns within every repeat.

A case is a random text and a near copy of it (a share of its positions
substituted, deleted or followed by an insertion), ASCII or not. Each repeat
calls ours and then rapidfuzz's function on the same pair, enough times to
last about --sample seconds (at least once); the ratio ours/rapidfuzz is
taken per repeat, and its range over the repeats is reported with the
fastest time of each. Both results, and ours with the texts swapped, must
agree.
"""

from __future__ import annotations

import argparse
import gc
import random
import time

import morvane
from harness import near_copy
from rapidfuzz.distance import OSA, Levenshtein

ASCII = "abcdefghijklmnopqrstuvwxyz "
NON_ASCII = "abcdefghij\u00e9\u00e8\u00f6\u00fc\u00df\u00f1\u03b1\u03b2\u03c9\u03a3\u65e5\u672c\u8a9e\u4e2d"
MEASURES = [
    ("levenshtein", morvane.levenshtein_bp, Levenshtein.distance),
    ("osa", morvane.damerau_bp, OSA.distance),
]


def per_call(fn, a: str, b: str, sample: float) -> tuple[float, int]:
    """Seconds per call over at least one call and `sample` seconds, and the result."""
    calls, elapsed = 0, 0.0
    while calls == 0 or elapsed < sample:
        t0 = time.perf_counter()
        result = fn(a, b)
        elapsed += time.perf_counter() - t0
        calls += 1
    return elapsed / calls, result


def main() -> None:
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--lengths", default="10000,1000000")
    p.add_argument("--rates", default="0.02,0.15")
    p.add_argument("--repeats", type=int, default=5)
    p.add_argument("--sample", type=float, default=0.2, help="seconds per function per repeat")
    p.add_argument("--measures", default="levenshtein,osa")
    args = p.parse_args()
    rng = random.Random(4242)
    print(f"{'measure':12} {'case':28} {'distance':>9} {'ours ms':>10} {'rapidfuzz ms':>13}  ours/rapidfuzz")
    for length in (int(x) for x in args.lengths.split(",")):
        for script, alphabet in (("ASCII", ASCII), ("non-ASCII", NON_ASCII)):
            a = "".join(rng.choice(alphabet) for _ in range(length))
            for rate in (float(x) for x in args.rates.split(",")):
                b = near_copy(rng, a, alphabet, rate)
                for name, ours, theirs in MEASURES:
                    if name not in args.measures.split(","):
                        continue
                    gc.disable()
                    times, results = [], set()
                    for _ in range(args.repeats):
                        (t_ours, d), (t_theirs, d_theirs) = (per_call(ours, a, b, args.sample),
                                                             per_call(theirs, a, b, args.sample))
                        times.append((t_ours, t_theirs))
                        results |= {d, d_theirs}
                    gc.enable()
                    if len(results | {ours(b, a)}) != 1:
                        raise SystemExit(f"{name}: results differ on {length} {script} {rate}")
                    ratios = sorted(o / t for o, t in times)
                    case = f"{length:,} {script} {rate:.0%} edits"
                    print(f"{name:12} {case:28} {d:9,} {min(o for o, _ in times) * 1e3:10.3f} "
                          f"{min(t for _, t in times) * 1e3:13.3f}  {ratios[0]:.2f}-{ratios[-1]:.2f}x", flush=True)


if __name__ == "__main__":
    main()
