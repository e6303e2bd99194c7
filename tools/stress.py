"""Many threads call the module at once on shared inputs while another thread
keeps changing a shared candidate list, and every result is checked.

The changing lists are built so that any state they pass through can be
checked: position i always holds one of the variants of word family
i % FAMILIES (the same word in one-, two- and four-byte storage, and a
longer form), and the length stays between BASE and BASE + SPARE. A batch
over such a list must give, at every index, the score of one of that
family's variants, and a length the list had. Results on inputs no thread
changes must equal the expected values exactly. Every expected score comes
from the plain implementations in tests/reference.

    .venv/bin/python tools/stress.py                   # 8 threads, 20 s
    .venv/bin/python tools/stress.py --seconds 300 --threads 16

Exit status 1 on a wrong result or an unexpected exception, 3 when a thread
finishes no call for --stall-seconds (a deadlock, or a call that never
returns), with every thread's stack. Should the interpreter itself be stuck,
so that no Python code runs, the fault handler prints "Timeout" and every
stack 30 s later and exits with 1.
"""

import argparse
import faulthandler
import os
import random
import sys
import threading
import time
import traceback
from collections import Counter

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests"))

from reference.edit_distance import levenshtein, osa  # noqa: E402
from reference.jaro_winkler import jaro_winkler  # noqa: E402

import morvane  # noqa: E402

FAMILIES = 61
SPARE = 48  # positions a changing list may have beyond its base length
SMALL = 400  # scored holding the interpreter
LARGE = 12000  # 10,000 or more: scored detached
QUERIES = ["kitten", "Straße", "日本語テキスト", "ab" * 35, "x\U0001f600yz"]
MEASURES = {
    "levenshtein": (morvane.levenshtein_bp, morvane.levenshtein_batch),
    "damerau": (morvane.damerau_bp, morvane.damerau_batch),
    "jaro_winkler": (morvane.jaro_winkler_similarity, morvane.jaro_winkler_batch),
}


def variants(rng):
    """One word in every storage width, as tuples of distinct strings."""
    base = "".join(rng.choice("abcdefghkst") for _ in range(rng.randrange(3, 12)))
    at = rng.randrange(len(base))
    forms = [
        base,  # ASCII
        base[:at] + "é" + base[at + 1:],  # Latin-1
        base.upper(),
        base[:at] + "ж" + base[at + 1:],  # two-byte
        base[:at] + "日" + base[at:],
        base[:at] + "\U0001f600" + base[at + 1:],  # four-byte
        base + "\U0001f601" + base[::-1],
    ]
    return tuple(dict.fromkeys(forms))


class Config:
    """One measure with one query and options: its pair and batch functions
    and the score of every variant."""

    def __init__(self, measure, query, case_insensitive, p, families):
        self.measure = measure
        self.pair, self.batch = MEASURES[measure]
        self.query = query
        self.kwargs = {"case_insensitive": case_insensitive}
        if measure == "jaro_winkler":
            self.kwargs["p"] = p
        q = query.lower() if case_insensitive else query
        self.score = {}
        for family in families:
            for v in family:
                c = v.lower() if case_insensitive else v
                if measure == "levenshtein":
                    self.score[v] = levenshtein(q, c)
                elif measure == "damerau":
                    self.score[v] = osa(q, c)
                else:
                    self.score[v] = jaro_winkler(q, c, 0.1 if p is None else p)
        # What each position of a changing list may score.
        allowed = [frozenset(self.score[v] for v in family) for family in families]
        self.allowed = [allowed[i % len(families)] for i in range(LARGE + SPARE)]

    def __str__(self):
        return f"{self.measure}({self.query!r}, {self.kwargs})"


# Mutations by kind (see Changing.mutate), cheap ones more often: the
# rewrites of a whole large list take milliseconds each.
OPS = [0] * 6 + [1] * 6 + [2] * 3 + [3] * 2 + [4] * 2 + [5] + [6] * 2


class Changing:
    """A list that the mutator thread changes, and the lengths it has had.
    A length is recorded before the list takes it, so that a reader who sees
    it finds it recorded."""

    def __init__(self, families, base, rng):
        self.families = families
        self.base = base
        self.items = [self.variant(i, rng) for i in range(base)]
        self.lengths = {base}

    def variant(self, i, rng, width=None):
        family = self.families[i % len(self.families)]
        if width is None:
            return rng.choice(family)
        # The first variant of the requested storage width, if it has one.
        for v in family:
            if max(map(ord, v)) >= width:
                return v
        return family[0]

    def mutate(self, rng):
        items = self.items
        n = len(items)
        op = rng.choice(OPS)
        if op == 0:  # item assignment
            i = rng.randrange(n)
            items[i] = self.variant(i, rng)
        elif op == 1:  # append or pop
            if n < self.base + SPARE and (n == self.base or rng.random() < 0.5):
                self.lengths.add(n + 1)
                items.append(self.variant(n, rng))
            else:
                self.lengths.add(n - 1)
                items.pop()
        elif op == 2:  # a slice replaced by one of the same length
            a = rng.randrange(n)
            b = min(n, a + rng.randrange(1, 300))
            items[a:b] = [self.variant(i, rng) for i in range(a, b)]
        elif op == 3:  # grow or shrink through a slice
            target = self.base + rng.randrange(SPARE + 1)
            self.lengths.add(target)
            if target > n:
                items[n:] = [self.variant(i, rng) for i in range(n, target)]
            else:
                del items[target:]
        elif op == 4:  # a stretch rewritten in one storage width
            width = rng.choice([0, 0x80, 0x100, 0x10000])
            a = rng.randrange(n)
            b = min(n, a + rng.randrange(1, 2000))
            items[a:b] = [self.variant(i, rng, width) for i in range(a, b)]
        elif op == 5:  # every item at once, the length kept
            items[:] = [self.variant(i, rng) for i in range(n)]
        else:  # a slice assigned from a view of another part of the list
            a = rng.randrange(0, n - 1)
            step = len(self.families)
            b = min(n, a + step * rng.randrange(1, 4))
            if b + step <= n:
                items[a:b] = items[a + step:b + step]


class View:
    """The changing list seen through Python-level __len__/__getitem__: the
    module iterates it item by item, so its items come from different states
    of the list. The interpreter would rarely switch threads within one
    intake (a few hundred microseconds), so the view lets others run every
    few hundred items."""

    def __init__(self, items):
        self.items = items

    def __len__(self):
        return len(self.items)

    def __getitem__(self, i):
        if i % 400 == 399:
            time.sleep(0)
        return self.items[i]


class Failure(Exception):
    pass


def check_changing(cfg, result, changing, through_view):
    n = len(result)
    if through_view:
        # Iteration ends at the first index past the end at that moment.
        if not changing.base <= n <= changing.base + SPARE:
            raise Failure(f"{cfg} over a view of the changing list: {n} results")
    elif n not in changing.lengths:
        raise Failure(f"{cfg}: {n} results, but the list never had {n} items "
                      f"(it had {sorted(changing.lengths)})")
    if not all(map(frozenset.__contains__, cfg.allowed, result)):
        i = next(i for i, (ok, r) in enumerate(zip(cfg.allowed, result)) if r not in ok)
        family = changing.families[i % len(changing.families)]
        raise Failure(f"{cfg}, changing list, index {i}: {result[i]!r}, expected one of "
                      f"{sorted(cfg.allowed[i])} (the scores of {family})")


def check_exact(what, got, expected):
    if got != expected:
        if isinstance(got, list) and isinstance(expected, list) and len(got) == len(expected):
            i = next(i for i, (g, e) in enumerate(zip(got, expected)) if g != e)
            raise Failure(f"{what}, index {i}: {got[i]!r}, expected {expected[i]!r}")
        raise Failure(f"{what}: {got!r:.200}, expected {expected!r:.200}")


def utf8_total(items):
    return sum(len(v.encode()) for v in items)


class Shared:
    def __init__(self, seed):
        rng = random.Random(seed)
        self.families = [variants(rng) for _ in range(FAMILIES)]
        self.every = every = [v for family in self.families for v in family]
        self.configs = []
        for measure in MEASURES:
            for query in QUERIES:
                for ci in (None, True):
                    self.configs.append(Config(measure, query, ci, rng.choice([None, 0.2]), self.families))
        self.small = Changing(self.families, SMALL, rng)
        self.large = Changing(self.families, LARGE, rng)
        # Shared by every thread, changed by none.
        self.fixed = [rng.choice(every) for _ in range(10500)]
        self.fixed_tuple = tuple(self.fixed[:SMALL])
        self.fixed_utf8 = utf8_total(self.fixed)
        # Pairs with a cut-off or a length limit, and long pairs.
        self.pairs = []
        for _ in range(40):
            a, b = rng.choice(every), rng.choice(every)
            if rng.random() < 0.3:
                a = a * rng.randrange(5, 30)  # several words long
            measure = rng.choice(list(MEASURES))
            cut = rng.randrange(4) if measure != "jaro_winkler" else rng.choice([0.5, 0.9])
            if measure == "levenshtein":
                expected = min(levenshtein(a, b), cut + 1)
            elif measure == "damerau":
                expected = min(osa(a, b), cut + 1)
            else:
                expected = jaro_winkler(a, b, 0.1, cut)
            self.pairs.append((MEASURES[measure][0], a, b, {"score_cutoff": cut, "max_len": 1000}, expected))


def worker(k, shared, args, counts, progress, stop, errors):
    rng = random.Random(args.seed * 1000 + k)
    # Unshared: this thread's own lists, one held and one detached.
    every = shared.every
    own_small = [rng.choice(every) for _ in range(300)]
    own_large = [rng.choice(every) for _ in range(10200 + k)]
    configs = shared.configs
    calls = 0
    try:
        while not stop.is_set() and (args.iterations is None or calls < args.iterations):
            cfg = rng.choice(configs)
            job = rng.randrange(12)
            if job == 0:  # pair on an item of a changing list
                changing = rng.choice((shared.small, shared.large))
                v = changing.items[rng.randrange(changing.base)]
                check_exact(f"{cfg.pair.__name__}({cfg.query!r}, {v!r}, {cfg.kwargs})",
                            cfg.pair(cfg.query, v, **cfg.kwargs), cfg.score[v])
                counts[cfg.pair.__name__] += 1
            elif job == 1:  # pair with a cut-off or a length limit
                fn, a, b, kwargs, expected = rng.choice(shared.pairs)
                check_exact(f"{fn.__name__}({a!r:.40}, {b!r}, {kwargs})", fn(a, b, **kwargs), expected)
                counts[fn.__name__] += 1
            elif job in (2, 3, 4):  # batch over a changing list, held or detached
                changing = shared.small if job == 2 else shared.large
                check_changing(cfg, cfg.batch(cfg.query, changing.items, **cfg.kwargs), changing, False)
                counts[cfg.batch.__name__] += 1
            elif job == 5:  # the same through Python-level item access
                changing = rng.choice((shared.small, shared.large))
                check_changing(cfg, cfg.batch(cfg.query, View(changing.items), **cfg.kwargs), changing, True)
                counts[cfg.batch.__name__] += 1
            elif job in (6, 7):  # batch over the shared unchanged list, detached, or its tuple
                items = shared.fixed if job == 6 else shared.fixed_tuple
                check_exact(f"{cfg} over the shared list", cfg.batch(cfg.query, items, **cfg.kwargs),
                            list(map(cfg.score.__getitem__, items)))
                counts[cfg.batch.__name__] += 1
            elif job in (8, 9):  # batch over this thread's own lists
                items = own_small if job == 8 else own_large
                check_exact(f"{cfg} over an own list", cfg.batch(cfg.query, items, **cfg.kwargs),
                            list(map(cfg.score.__getitem__, items)))
                counts[cfg.batch.__name__] += 1
            elif job == 10:  # intake probes over a changing list: the counts are lengths it had
                changing = rng.choice((shared.small, shared.large))
                probe = rng.choice((morvane._ingest_owned, morvane._ingest_borrow))
                n = probe(changing.items)
                if n not in changing.lengths:
                    raise Failure(f"{probe.__name__} counted {n} items; the list had {sorted(changing.lengths)}")
                counts[probe.__name__] += 1
            else:
                check_exact("_ingest_borrow_and_deref over the shared list",
                            morvane._ingest_borrow_and_deref(shared.fixed), shared.fixed_utf8)
                counts["_ingest_borrow_and_deref"] += 1
            calls += 1
            progress[k] = calls
    except BaseException as e:  # reported by the main thread
        errors.append(f"thread {k}: {e}" if isinstance(e, Failure) else f"thread {k}:\n{traceback.format_exc()}")
        stop.set()


def mutator(shared, seed, counts, stop, errors):
    rng = random.Random(seed)
    try:
        while not stop.is_set():
            rng.choice((shared.small, shared.large)).mutate(rng)
            counts["mutations"] += 1
    except BaseException:
        errors.append(f"mutator:\n{traceback.format_exc()}")
        stop.set()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--threads", type=int, default=8)
    parser.add_argument("--seconds", type=float, default=20.0, help="how long to run (default 20)")
    parser.add_argument("--iterations", type=int, help="calls per thread instead of a duration")
    parser.add_argument("--stall-seconds", type=float, default=60.0,
                        help="fail when a thread finishes no call for this long (default 60)")
    parser.add_argument("--switch-interval", type=float, default=0.0005,
                        help="the interpreter's thread switch interval: short, so threads interleave often")
    parser.add_argument("--seed", type=int, default=7)
    args = parser.parse_args()

    t0 = time.perf_counter()
    shared = Shared(args.seed)
    print(f"stress: {morvane.__file__}: {len(shared.configs)} query configurations over {FAMILIES} word families "
          f"({len(shared.every)} variants) prepared in {time.perf_counter() - t0:.1f} s")

    sys.setswitchinterval(args.switch_interval)
    stop = threading.Event()
    errors = []
    counts = [Counter() for _ in range(args.threads)]
    progress = [0] * args.threads
    mutations = Counter()
    threads = [threading.Thread(target=worker, args=(k, shared, args, counts[k], progress, stop, errors), daemon=True)
               for k in range(args.threads)]
    side = threading.Thread(target=mutator, args=(shared, args.seed, mutations, stop, errors), daemon=True)

    # If a thread stops finishing calls, the loop below reports it; should
    # the interpreter itself be stuck, so that this thread cannot run, the
    # fault handler's own thread dumps every stack and exits.
    faulthandler.dump_traceback_later(args.stall_seconds + 30, exit=True)
    started = time.perf_counter()
    side.start()
    for t in threads:
        t.start()
    last = list(progress)
    last_change = [started] * args.threads
    while not stop.is_set():
        time.sleep(0.25)
        now = time.perf_counter()
        faulthandler.dump_traceback_later(args.stall_seconds + 30, exit=True)
        if args.iterations is None and now - started >= args.seconds:
            break
        if args.iterations is not None and not any(t.is_alive() for t in threads):
            break
        for k in range(args.threads):
            if progress[k] != last[k] or not threads[k].is_alive():
                last[k], last_change[k] = progress[k], now
            elif now - last_change[k] > args.stall_seconds:
                print(f"stress: FAILED: thread {k} finished no call for {args.stall_seconds:.0f} s "
                      "(deadlock?); stacks follow", file=sys.stderr, flush=True)
                faulthandler.dump_traceback(all_threads=True)
                os._exit(3)
    stop.set()
    for t in threads + [side]:
        t.join(args.stall_seconds)
        if t.is_alive():
            print(f"stress: FAILED: {t.name} did not stop within {args.stall_seconds:.0f} s (deadlock?); "
                  "stacks follow", file=sys.stderr, flush=True)
            faulthandler.dump_traceback(all_threads=True)
            os._exit(3)
    faulthandler.cancel_dump_traceback_later()
    seconds = time.perf_counter() - started

    total = sum(counts, Counter())
    print(f"stress: {args.threads} threads, {sum(total.values()):,} calls and {mutations['mutations']:,} "
          f"mutations in {seconds:.1f} s")
    for name in morvane.__all__:
        print(f"  {name:26} {total[name]:>10,}")
    if errors:
        for e in errors:
            print(f"stress: FAILED: {e}", file=sys.stderr)
        return 1
    missing = [name for name in morvane.__all__ if total[name] == 0]
    if missing and args.iterations is None:
        print(f"stress: FAILED: never called {missing}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
