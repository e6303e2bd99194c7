"""Calls every function of the module a great many times, valid and invalid
calls mixed, and fails when memory grows, when an input's reference count
changes, or when any call gives a result or an error other than the one
expected.

Every expected result comes from the plain implementations in
tests/reference (the lowercase forms from str.lower()); every expected error
is a type, the note naming the parameter, and for value errors the text.
Run with any interpreter that can import morvane:

    .venv/bin/python tools/soak.py                  # 10**6 calls per function
    .venv/bin/python tools/soak.py --calls 20000    # a smoke run
"""

import argparse
import gc
import os
import random
import resource
import sys
import time
from dataclasses import dataclass

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests"))

from reference.edit_distance import levenshtein, osa  # noqa: E402
from reference.jaro_winkler import jaro_winkler  # noqa: E402

import morvane  # noqa: E402

# One call in this many is a heavy one (a batch of more than 10,000
# candidates, which runs detached, or a long pair).
HEAVY_EVERY = 1000
DETACHED = 12000


def fresh(text):
    """A str equal to `text` that no other code holds: literals may be shared
    or immortal, which would hide a reference the module keeps or drops."""
    return "".join([text[:1], text[1:]]) if len(text) > 1 else text


class Boom(Exception):
    pass


class Index:
    """An integer option whose __index__ raises a new exception every time
    (a raised instance collects the module's note, so it must not be reused)."""

    def __index__(self):
        raise Boom("index")


class Seq:
    """A sequence that is not a list: items through __getitem__, so the
    module iterates it by the generic protocol. `bad_len` makes __len__ raise
    (the length is only a hint: the call must still succeed); `fail_at` makes
    __getitem__ raise at that index (the call must fail with it)."""

    def __init__(self, items, bad_len=False, fail_at=None):
        self.items = items
        self.bad_len = bad_len
        self.fail_at = fail_at

    def __len__(self):
        if self.bad_len:
            raise RuntimeError("no length")
        return len(self.items)

    def __getitem__(self, i):
        if i == self.fail_at:
            raise Boom(i)
        return self.items[i]


@dataclass
class Case:
    fn: object
    args: tuple
    kwargs: dict
    value: object = None  # the result, when no error is expected
    kind: type | None = None  # the error type, when one is expected
    notes: list | None = None
    text: str | None = None  # str() of the error, when it is checked
    heavy: bool = False


def ok(fn, *args, value, heavy=False, **kwargs):
    return Case(fn, args, kwargs, value=value, heavy=heavy)


def err(fn, *args, kind, note=None, text=None, heavy=False, **kwargs):
    return Case(fn, args, kwargs, kind=kind, notes=None if note is None else [f"while processing '{note}'"], text=text,
                heavy=heavy)


# --- expected values from the reference implementations ---------------------

REF_CACHE = {}


def fold(text, case_insensitive):
    return text.lower() if case_insensitive else text


def ref_pair(name, a, b, p=None, max_len=None, case_insensitive=None, score_cutoff=None):
    """The pair function's result, or (ValueError, text) when it must fail."""
    a, b = fold(a, case_insensitive), fold(b, case_insensitive)
    if max_len is not None:
        for which, text in (("str_1", a), ("str_2", b)):
            if len(text) > max_len:
                return ValueError, f'InputTooLong {{ which: "{which}", len: {len(text)}, limit: {max_len} }}'
    key = (name, a, b, p, score_cutoff)
    if key not in REF_CACHE:
        if name == "jaro_winkler":
            REF_CACHE[key] = jaro_winkler(a, b, 0.1 if p is None else p, score_cutoff)
        else:
            d = (levenshtein if name == "levenshtein" else osa)(a, b)
            REF_CACHE[key] = d if score_cutoff is None else min(d, score_cutoff + 1)
    return REF_CACHE[key]


def ref_batch(name, query, candidates, p=None, case_insensitive=None):
    if query == "" and name != "jaro_winkler":
        return [len(c) for c in candidates]  # an empty query counts the candidates as given
    return [ref_pair(name, query, c, p=p, case_insensitive=case_insensitive) for c in candidates]


def pair_case(fn, name, a, b, **opts):
    expected = ref_pair(name, a, b, **opts)
    if isinstance(expected, tuple):
        return err(fn, a, b, kind=expected[0], text=expected[1], **opts)
    return ok(fn, a, b, value=expected, **opts)


# --- inputs -----------------------------------------------------------------

ALPHABETS = ["abcdef", "abcABC", "aéÉßü", "aβγδ日本", "x\U0001f600y\U0001f601", "kK\u212aİiΣσςΑ"]


def random_text(rng, max_len):
    alphabet = rng.choice(ALPHABETS)
    return fresh("".join(rng.choice(alphabet) for _ in range(rng.randrange(max_len + 1))))


def build_cases(rng):
    """Cases per function name: random valid calls with random options, then
    every error path the function has."""
    lev, dam, jw = morvane.levenshtein_bp, morvane.damerau_bp, morvane.jaro_winkler_similarity
    surrogate_2 = fresh("ab\udc80c")  # two-byte storage
    surrogate_4 = fresh("\U0001f600\udc80")  # four-byte storage
    word = fresh("kitten")
    other = fresh("sitting")
    long_a = fresh("ab" * 150 + "xyz")  # several words: the banded kernels
    long_b = fresh("ba" * 150 + "xz")
    cases = {}

    for fn, name in ((lev, "levenshtein"), (dam, "damerau")):
        fname = fn.__name__
        valid = []
        for _ in range(40):
            a, b = random_text(rng, 20), random_text(rng, 20)
            opts = {}
            if rng.random() < 0.5:
                opts["case_insensitive"] = rng.choice([None, False, True])
            if rng.random() < 0.3:
                opts["score_cutoff"] = rng.randrange(6)
            if rng.random() < 0.3:
                opts["max_len"] = rng.randrange(10, 40)  # sometimes too short: InputTooLong
            valid.append(pair_case(fn, name, a, b, **opts))
        valid.append(pair_case(fn, name, fresh("Straße"), fresh("STRASSE"), max_len=6, case_insensitive=True))
        valid.append(pair_case(fn, name, word, other, max_len=6))  # str_2 too long
        valid.append(ok(fn, str_2=other, str_1=word, value=ref_pair(name, word, other)))
        heavy = ok(fn, long_a, long_b, value=ref_pair(name, long_a, long_b), heavy=True)
        errors = [
            err(fn, 1, word, kind=TypeError, note="str_1", text="'int' object is not an instance of 'str'"),
            err(fn, None, word, kind=TypeError, note="str_1", text="'None' is not an instance of 'str'"),
            err(fn, word, b"x", kind=TypeError, note="str_2", text="'bytes' object is not an instance of 'str'"),
            err(fn, surrogate_2, word, kind=UnicodeEncodeError, note="str_1"),
            err(fn, word, surrogate_4, kind=UnicodeEncodeError, note="str_2"),
            err(fn, word, other, max_len=-1, kind=OverflowError, note="max_len"),
            err(fn, word, other, max_len=2.0, kind=TypeError, note="max_len"),
            err(fn, word, other, max_len=Index(), kind=Boom, note="max_len"),
            err(fn, word, other, case_insensitive=1, kind=TypeError, note="case_insensitive"),
            err(fn, word, other, score_cutoff="3", kind=TypeError, note="score_cutoff"),
            err(fn, word, other, limit=1, kind=TypeError, text=f"{fname}() got an unexpected keyword argument 'limit'"),
            err(fn, word, other, 5, None, 2, 1, kind=TypeError,
                text=f"{fname}() takes from 2 to 5 positional arguments but 6 were given"),
            err(fn, word, kind=TypeError, text=f"{fname}() missing 1 required positional argument: 'str_2'"),
            err(fn, word, other, str_1=other, kind=TypeError, text=f"{fname}() got multiple values for argument 'str_1'"),
        ]
        cases[fname] = valid + errors + [heavy]

    valid = []
    for _ in range(40):
        a, b = random_text(rng, 20), random_text(rng, 20)
        opts = {}
        if rng.random() < 0.5:
            opts["p"] = rng.choice([None, 0.0, 0.25, float(rng.randrange(26)) / 100])
        if rng.random() < 0.5:
            opts["case_insensitive"] = rng.choice([None, False, True])
        if rng.random() < 0.3:
            opts["score_cutoff"] = rng.choice([0.5, 0.8, 0.95])
        if rng.random() < 0.3:
            opts["max_len"] = rng.randrange(10, 40)
        valid.append(pair_case(jw, "jaro_winkler", a, b, **opts))
    cases[jw.__name__] = valid + [
        ok(jw, long_a, long_b, value=ref_pair("jaro_winkler", long_a, long_b), heavy=True),
        err(jw, word, None, kind=TypeError, note="str_2"),
        err(jw, surrogate_4, word, kind=UnicodeEncodeError, note="str_1"),
        err(jw, word, other, p=0.3, kind=ValueError, text="InvalidPrefixScale { value: 0.3 }"),
        err(jw, word, other, p=float("nan"), kind=ValueError, text="InvalidPrefixScale { value: NaN }"),
        err(jw, word, other, p="x", kind=TypeError, note="p", text="must be real number, not str"),
        err(jw, word, other, score_cutoff=[], kind=TypeError, note="score_cutoff"),
        err(jw, word, other, max_len=Index(), kind=Boom, note="max_len"),
        err(jw, word, other, case_insensitive="yes", kind=TypeError, note="case_insensitive"),
        err(jw, word, other, q=1, kind=TypeError, text="jaro_winkler_similarity() got an unexpected keyword argument 'q'"),
        err(jw, word, other, 0.1, 5, None, 0.5, 1, kind=TypeError,
            text="jaro_winkler_similarity() takes from 2 to 6 positional arguments but 7 were given"),
    ]

    # Candidate lists: mixed widths and lengths; the large one from a small
    # vocabulary, so that its items' reference counts are large and shared.
    small = [random_text(rng, 14) for _ in range(30)] + [fresh("KITTEN"), fresh("ΟΔΟΣ"), fresh("a" * 80)]
    vocabulary = [random_text(rng, 12) for _ in range(60)]
    large = [vocabulary[i % len(vocabulary)] for i in range(DETACHED)]
    large_bad = large[:-1] + [surrogate_2]
    queries = [fresh("kitten"), fresh("Abcdé"), fresh("日本"), fresh("ab" * 35), ""]

    for fn, name in ((morvane.levenshtein_batch, "levenshtein"), (morvane.damerau_batch, "damerau"),
                     (morvane.jaro_winkler_batch, "jaro_winkler")):
        fname = fn.__name__
        jw_batch = name == "jaro_winkler"
        valid = []
        for q in queries:
            for ci in (None, True):
                opts = {"case_insensitive": ci}
                if jw_batch:
                    opts["p"] = rng.choice([None, 0.2])
                subset = rng.sample(small, rng.randrange(len(small) + 1))
                valid.append(ok(fn, q, subset, value=ref_batch(name, q, subset, **opts), **opts))
        valid += [
            ok(fn, queries[0], tuple(small), value=ref_batch(name, queries[0], small)),
            ok(fn, queries[1], Seq(small), value=ref_batch(name, queries[1], small)),
            ok(fn, queries[2], Seq(small, bad_len=True), value=ref_batch(name, queries[2], small)),
            ok(fn, queries[0], [], value=[]),
            ok(fn, queries[1], large, case_insensitive=True, heavy=True,
               value=ref_batch(name, queries[1], large, case_insensitive=True)),
        ]
        errors = [
            err(fn, 1, small, kind=TypeError, note="query", text="'int' object is not an instance of 'str'"),
            err(fn, None, small, kind=TypeError, note="query", text="'None' is not an instance of 'str'"),
            err(fn, surrogate_2, small, kind=UnicodeEncodeError, note="query"),
            err(fn, word, word, kind=TypeError, note="candidates", text="Can't extract `str` to `Vec`"),
            err(fn, word, None, kind=TypeError, note="candidates", text="'None' is not an instance of 'Sequence'"),
            err(fn, word, {word}, kind=TypeError, note="candidates", text="'set' object is not an instance of 'Sequence'"),
            err(fn, word, small + [None], kind=TypeError, note="candidates", text="'None' is not an instance of 'str'"),
            err(fn, word, small[:5] + [7] + small[5:], kind=TypeError, note="candidates",
                text="'int' object is not an instance of 'str'"),
            err(fn, word, small + [surrogate_4], kind=UnicodeEncodeError, note="candidates"),
            err(fn, word, Seq(small, fail_at=3), kind=Boom, note="candidates"),
            err(fn, word, small, case_insensitive=1, kind=TypeError, note="case_insensitive"),
            err(fn, word, small, bad=1, kind=TypeError, text=f"{fname}() got an unexpected keyword argument 'bad'"),
            err(fn, word, kind=TypeError, text=f"{fname}() missing 1 required positional argument: 'candidates'"),
            err(fn, word, large_bad, kind=UnicodeEncodeError, note="candidates", heavy=True),
        ]
        if jw_batch:
            errors += [
                err(fn, word, small, p=0.3, kind=ValueError, text="InvalidPrefixScale { value: 0.3 }"),
                err(fn, word, small, p="x", kind=TypeError, note="p"),
                err(fn, word, small, 0.1, None, 1, kind=TypeError,
                    text=f"{fname}() takes from 2 to 4 positional arguments but 5 were given"),
            ]
        else:
            errors.append(err(fn, word, small, None, 1, kind=TypeError,
                              text=f"{fname}() takes from 2 to 3 positional arguments but 4 were given"))
        cases[fname] = valid + errors

    probes = [
        (morvane._ingest_owned, len),
        (morvane._ingest_borrow, len),
        (morvane._ingest_borrow_and_deref, lambda items: sum(len(c.encode()) for c in items)),
    ]
    for fn, measure in probes:
        fname = fn.__name__
        cases[fname] = [
            ok(fn, small, value=measure(small)),
            ok(fn, tuple(small[:7]), value=measure(small[:7])),
            ok(fn, Seq(small), value=measure(small)),
            ok(fn, Seq(small, bad_len=True), value=measure(small)),
            ok(fn, [], value=0),
            ok(fn, large, value=measure(large), heavy=True),
            err(fn, word, kind=TypeError, note="candidates", text="Can't extract `str` to `Vec`"),
            err(fn, 5, kind=TypeError, note="candidates", text="'int' object is not an instance of 'Sequence'"),
            err(fn, small + [None], kind=TypeError, note="candidates", text="'None' is not an instance of 'str'"),
            err(fn, small + [surrogate_2], kind=UnicodeEncodeError, note="candidates"),
            err(fn, Seq(small, fail_at=10), kind=Boom, note="candidates"),
            err(fn, small, small, kind=TypeError, text=f"{fname}() takes 1 positional arguments but 2 were given"),
            err(fn, candidates=small, x=1, kind=TypeError, text=f"{fname}() got an unexpected keyword argument 'x'"),
            err(fn, kind=TypeError, text=f"{fname}() missing 1 required positional argument: 'candidates'"),
        ]
    assert sorted(cases) == sorted(morvane.__all__), sorted(set(morvane.__all__) ^ set(cases))
    return cases


def reused_inputs(cases):
    """Every object the calls are given, containers and their items, once."""
    seen = {}

    def add(obj):
        if id(obj) in seen:
            return
        seen[id(obj)] = obj
        if isinstance(obj, (list, tuple, set)):
            for item in obj:
                add(item)
        elif isinstance(obj, Seq):
            add(obj.items)

    for case_list in cases.values():
        for case in case_list:
            for obj in case.args:
                add(obj)
            for obj in case.kwargs.values():
                add(obj)
    return list(seen.values())


def schedule(case_list):
    """Indexes into `case_list`, cycled through: light cases fill the slots,
    each heavy case takes one slot in HEAVY_EVERY."""
    light = [i for i, c in enumerate(case_list) if not c.heavy]
    heavy = [i for i, c in enumerate(case_list) if c.heavy]
    slots = [light[k % len(light)] for k in range(HEAVY_EVERY - len(heavy))]
    step = len(slots) // (len(heavy) + 1)
    for n, i in enumerate(heavy):
        slots.insert((n + 1) * step + n, i)
    return slots


class Failure(Exception):
    pass


def describe(case):
    args = ", ".join([repr(a)[:40] for a in case.args] + [f"{k}={v!r}"[:40] for k, v in case.kwargs.items()])
    return f"{case.fn.__name__}({args})"


def run(case_list, slots, calls):
    """`calls` calls through the schedule; raises Failure at the first call
    that does not do what its case expects."""
    n_slots = len(slots)
    for i in range(calls):
        case = case_list[slots[i % n_slots]]
        try:
            got = case.fn(*case.args, **case.kwargs)
        except Exception as e:
            if case.kind is None:
                raise Failure(f"call {i}: {describe(case)} raised {type(e).__name__}: {e}") from e
            if type(e) is not case.kind or getattr(e, "__notes__", None) != case.notes or (
                    case.text is not None and str(e) != case.text):
                raise Failure(f"call {i}: {describe(case)} raised {type(e).__name__}({str(e)!r}), notes "
                              f"{getattr(e, '__notes__', None)}; expected {case.kind.__name__}({case.text!r}), "
                              f"notes {case.notes}") from e
            continue
        if case.kind is not None:
            raise Failure(f"call {i}: {describe(case)} returned {got!r:.80} instead of raising {case.kind.__name__}")
        if got != case.value or type(got) is not type(case.value):
            if isinstance(got, list) and isinstance(case.value, list) and len(got) == len(case.value):
                k = next(k for k, (g, e) in enumerate(zip(got, case.value)) if g != e)
                raise Failure(f"call {i}: {describe(case)}: candidate {k} ({case.args[1][k]!r}) scored {got[k]!r}, "
                              f"expected {case.value[k]!r}")
            raise Failure(f"call {i}: {describe(case)} returned {got!r:.200}, expected {case.value!r:.200}")


def rss_kib():
    try:
        with open("/proc/self/statm") as f:
            return int(f.read().split()[1]) * (os.sysconf("SC_PAGE_SIZE") // 1024)
    except OSError:
        # Elsewhere the peak resident set, which a steady leak raises too.
        return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss


def refcounts(objects):
    return [sys.getrefcount(obj) for obj in objects]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--calls", type=int, default=10**6, help="calls per function (default 10**6)")
    parser.add_argument("--seed", type=int, default=2026)
    parser.add_argument("--rss-limit-kib", type=int, default=1024,
                        help="fail when the resident set grows by this much or more (default 1024)")
    parser.add_argument("--no-rss-check", action="store_true",
                        help="report the resident set but do not fail on its growth")
    args = parser.parse_args()

    cases = build_cases(random.Random(args.seed))
    slots = {name: schedule(case_list) for name, case_list in cases.items()}
    inputs = reused_inputs(cases)
    print(f"soak: {morvane.__file__}: {sum(map(len, cases.values()))} cases over {len(cases)} functions, "
          f"{len(inputs)} inputs counted")

    try:
        # Warm-up: every case at least twice, so that caches the interpreter
        # fills once (UTF-8 forms of str objects, free lists, the module's
        # process-wide objects) are full before memory is measured.
        for name in morvane.__all__:
            run(cases[name], slots[name], min(args.calls, 2 * len(slots[name])))
        gc.collect()
        refs_before = refcounts(inputs)
        rss_before = rss_kib()
        started = time.perf_counter()
        for name in morvane.__all__:
            t = time.perf_counter()
            run(cases[name], slots[name], args.calls)
            print(f"  {name:26} {args.calls:>10,} calls {time.perf_counter() - t:7.1f} s")
        seconds = time.perf_counter() - started
    except Failure as failure:
        print(f"soak: FAILED: {failure}", file=sys.stderr)
        return 1
    gc.collect()
    rss_after = rss_kib()
    refs_after = refcounts(inputs)

    failed = False
    changed = [(obj, b, a) for obj, b, a in zip(inputs, refs_before, refs_after) if a != b]
    for obj, b, a in changed[:10]:
        print(f"soak: FAILED: the reference count of {obj!r:.60} went from {b} to {a}", file=sys.stderr)
    failed |= bool(changed)
    growth = rss_after - rss_before
    total = args.calls * len(cases)
    print(f"soak: {total:,} calls in {seconds:.1f} s; RSS {rss_before:,} KiB after warm-up, {rss_after:,} KiB at "
          f"the end ({growth:+,} KiB); {len(inputs)} inputs' reference counts "
          f"{'changed' if changed else 'unchanged'}")
    if growth >= args.rss_limit_kib:
        if args.no_rss_check:
            print(f"soak: RSS grew by {growth:,} KiB (not checked here)")
        else:
            print(f"soak: FAILED: RSS grew by {growth:,} KiB (limit {args.rss_limit_kib:,} KiB)", file=sys.stderr)
            failed = True
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
