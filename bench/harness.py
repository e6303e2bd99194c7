"""Shared parts of the Python-level benchmarks: the peer libraries and their
pair functions, the agreement checks, the timing helpers and the output.

Every script here runs ours and the peers in one process on one interpreter.
A peer's figures only count once its results have been compared with ours on
the very data it is timed on (or a sample of it, for the largest inputs).
"""

from __future__ import annotations

import gc
import importlib
import importlib.metadata
import itertools
import json
import math
import os
import platform
import random
import statistics
import sys
import sysconfig
import time

try:
    import resource
except ImportError:  # not on every platform
    resource = None

import morvane

# --------------------------------------------------------------------------
# Peers


class Peer:
    """One importable peer package, or the reason it is not available."""

    def __init__(self, module: str, dist: str):
        self.module_name = module
        self.dist = dist
        self.module = None
        self.error = None
        try:
            self.module = importlib.import_module(module)
        except Exception as exc:  # ImportError, or a broken build for 3.14
            self.error = f"{type(exc).__name__}: {exc}"
        try:
            self.version = importlib.metadata.version(dist)
        except importlib.metadata.PackageNotFoundError:
            self.version = None

    def get(self, dotted: str):
        """The attribute `dotted` below the module, or None."""
        if self.module is None:
            return None
        obj = self.module
        try:
            for part in dotted.split("."):
                if not hasattr(obj, part):
                    obj = importlib.import_module(f"{obj.__name__}.{part}")
                else:
                    obj = getattr(obj, part)
        except Exception:
            return None
        return obj


PEERS = {
    name: Peer(name, dist)
    for name, dist in (
        ("rapidfuzz", "rapidfuzz"),
        ("Levenshtein", "Levenshtein"),
        ("editdistance", "editdistance"),
        ("polyleven", "polyleven"),
        ("jellyfish", "jellyfish"),
    )
}


class PeerFn:
    """A peer's pair function for one measure, resolved lazily."""

    def __init__(self, label: str, package: str, attr: str):
        self.label = label
        self.package = package
        self.attr = attr
        peer = PEERS[package]
        self.fn = peer.get(attr)
        if peer.module is None:
            self.missing = f"not importable ({peer.error})"
        elif self.fn is None:
            self.missing = f"{package} has no {attr}"
        else:
            self.missing = None


# Pairs on which every peer must agree with us before its figures count as
# the same measure (no empty texts: edge conventions differ between peers).
AGREEMENT_PROBES = [
    ("ca", "abc"),
    ("abcdef", "badcfe"),
    ("kitten", "sitting"),
    ("martha", "marhta"),
    ("dixon", "dicksonx"),
    ("\u00e9l\u00e8ve", "\u00e9lev\u00e9"),
    ("\u65e5\u672c\u8a9e", "\u672c\u65e5\u8a9ex"),
    ("a" * 70 + "bc", "a" * 70 + "cb"),
]


class Measure:
    def __init__(self, name, ours, peers, is_float, batch, cdist_attr):
        self.name = name
        self.ours = ours
        self.peers = peers
        self.is_float = is_float
        self.batch = batch
        self.cdist_attr = cdist_attr

    def same(self, x, y) -> bool:
        if self.is_float:
            return abs(x - y) <= 1e-12
        return x == y

    @property
    def rapidfuzz(self) -> PeerFn:
        return next(p for p in self.peers if p.package == "rapidfuzz")


MEASURES = [
    Measure(
        "levenshtein",
        morvane.levenshtein_bp,
        [
            PeerFn("rapidfuzz Levenshtein.distance", "rapidfuzz", "distance.Levenshtein.distance"),
            PeerFn("Levenshtein.distance", "Levenshtein", "distance"),
            PeerFn("editdistance.eval", "editdistance", "eval"),
            PeerFn("polyleven.levenshtein", "polyleven", "levenshtein"),
            PeerFn("jellyfish.levenshtein_distance", "jellyfish", "levenshtein_distance"),
        ],
        False,
        morvane.levenshtein_batch,
        "distance.Levenshtein.distance",
    ),
    Measure(
        "damerau (OSA)",
        morvane.damerau_bp,
        [
            PeerFn("rapidfuzz OSA.distance", "rapidfuzz", "distance.OSA.distance"),
            # Unrestricted Damerau-Levenshtein: the agreement check marks it.
            PeerFn("jellyfish.damerau_levenshtein_distance", "jellyfish", "damerau_levenshtein_distance"),
        ],
        False,
        morvane.damerau_batch,
        "distance.OSA.distance",
    ),
    Measure(
        "jaro-winkler",
        morvane.jaro_winkler_similarity,
        [
            PeerFn("rapidfuzz JaroWinkler.similarity", "rapidfuzz", "distance.JaroWinkler.similarity"),
            PeerFn("jellyfish.jaro_winkler_similarity", "jellyfish", "jaro_winkler_similarity"),
            PeerFn("Levenshtein.jaro_winkler", "Levenshtein", "jaro_winkler"),
        ],
        True,
        morvane.jaro_winkler_batch,
        "distance.JaroWinkler.similarity",
    ),
]


def disagreement(measure: Measure, fn, pairs) -> str | None:
    """None when `fn` agrees with ours on every pair, else a short note."""
    for a, b in pairs:
        try:
            theirs = fn(a, b)
        except Exception as exc:
            return f"raises {type(exc).__name__} on ({a[:12]!r}, {b[:12]!r})"
        ours = measure.ours(a, b)
        if not measure.same(ours, theirs):
            return f"different measure: ({a[:12]!r}, {b[:12]!r}) -> {theirs!r}, ours {ours!r}"
    return None


def folded_disagreement(measure: Measure, fn, pairs) -> str | None:
    """Like `disagreement`, for ours with case_insensitive=True next to the
    peer on the lowered texts."""
    for a, b in pairs:
        la, lb = a.lower(), b.lower()
        try:
            theirs = fn(la, lb)
        except Exception as exc:
            return f"raises {type(exc).__name__} on ({la[:12]!r}, {lb[:12]!r})"
        ours = measure.ours(a, b, case_insensitive=True)
        if not measure.same(ours, theirs):
            return f"different measure: ({a[:12]!r}, {b[:12]!r}) folded -> {theirs!r}, ours {ours!r}"
    return None


def usable_peers(measure: Measure, pairs, folded: bool = False, only_rapidfuzz: bool = False):
    """(peers that agree with ours on `pairs` and the probes, {label: note}
    for the others)."""
    check = folded_disagreement if folded else disagreement
    usable, notes = [], {}
    for peer in measure.peers:
        if only_rapidfuzz and peer.package != "rapidfuzz":
            continue
        if peer.missing:
            notes[peer.label] = peer.missing
            continue
        note = check(measure, peer.fn, AGREEMENT_PROBES + list(pairs))
        if note:
            notes[peer.label] = note
        else:
            usable.append(peer)
    return usable, notes


def cdist_scorer(measure: Measure):
    """(rapidfuzz.process.cdist, the measure's scorer) or (None, reason)."""
    rf = PEERS["rapidfuzz"]
    cdist = rf.get("process.cdist")
    scorer = rf.get(measure.cdist_attr)
    if cdist is None or scorer is None:
        return None, (f"not importable ({rf.error})" if rf.module is None else "cdist or scorer missing")
    return cdist, scorer


def cdist_disagreement(measure: Measure, query: str, cands: list[str], folded: bool,
                       sample: int = 20_000) -> str | None:
    """None when cdist(workers=1) gives our batch's results on the first
    `sample` candidates; for `folded`, ours gets case_insensitive=True and
    cdist the lowered texts."""
    cdist, scorer = cdist_scorer(measure)
    if cdist is None:
        return scorer
    part = cands[:sample]
    peer_query, peer_part = (query.lower(), [c.lower() for c in part]) if folded else (query, part)
    matrix = cdist([peer_query], peer_part, scorer=scorer, workers=1)
    got = matrix[0].tolist()
    want = measure.batch(query, part, case_insensitive=True) if folded else measure.batch(query, part)
    # Called as users call it: a similarity comes back as float32, so it is
    # compared to float32 precision.
    single = str(matrix.dtype) == "float32"
    for i, (x, y) in enumerate(zip(want, got)):
        if not (abs(x - y) <= 1e-6 if single else measure.same(x, y)):
            return f"disagrees at {part[i]!r}: {got[i]!r} vs ours {want[i]!r}"
    return None


# --------------------------------------------------------------------------
# Timing


def per_call_loop(fn, a, b, n: int) -> int:
    it = itertools.repeat(None, n)
    t0 = time.perf_counter_ns()
    for _ in it:
        fn(a, b)
    return time.perf_counter_ns() - t0


def calibrate(fn, a, b, sample_ns: int) -> int:
    n = 1
    while True:
        elapsed = per_call_loop(fn, a, b, n)
        if elapsed >= sample_ns / 10 or n >= 1 << 24:
            return max(1, int(n * sample_ns / max(elapsed, 1)))
        n *= 4


def time_pairs(fns: list, a: str, b: str, cfg) -> list[float]:
    """Minimum ns per call of each function on one pair, timed in turns;
    `cfg` has `repeats` and `sample_ns`."""
    counts = [calibrate(fn, a, b, cfg.sample_ns) for fn in fns]
    best = [math.inf] * len(fns)
    for _ in range(cfg.repeats):
        for i, fn in enumerate(fns):
            best[i] = min(best[i], per_call_loop(fn, a, b, counts[i]) / counts[i])
    return best


def _pass_plain(fn, pairs, passes: int) -> int:
    t0 = time.perf_counter_ns()
    for _ in itertools.repeat(None, passes):
        for a, b in pairs:
            fn(a, b)
    return time.perf_counter_ns() - t0


def _pass_folded(fn, pairs, passes: int) -> int:
    # The keyword is spelled out, as a caller writes it: no partial, no
    # dictionary unpacking in the timed loop.
    t0 = time.perf_counter_ns()
    for _ in itertools.repeat(None, passes):
        for a, b in pairs:
            fn(a, b, case_insensitive=True)
    return time.perf_counter_ns() - t0


def _flat_plain(fn, pairs, passes: int) -> int:
    (a, b), = pairs
    t0 = time.perf_counter_ns()
    for _ in itertools.repeat(None, passes):
        fn(a, b)
    return time.perf_counter_ns() - t0


def _flat_folded(fn, pairs, passes: int) -> int:
    (a, b), = pairs
    t0 = time.perf_counter_ns()
    for _ in itertools.repeat(None, passes):
        fn(a, b, case_insensitive=True)
    return time.perf_counter_ns() - t0


class Runner:
    """One timed contender of a pair loop: `fn` over `pairs`, with
    case_insensitive=True when `folded`. A single pair is called in a flat
    loop, so that the pass around it does not weigh on a short call."""

    def __init__(self, fn, pairs, folded: bool = False):
        self.fn = fn
        self.pairs = pairs
        if len(pairs) == 1:
            self.loop = _flat_folded if folded else _flat_plain
        else:
            self.loop = _pass_folded if folded else _pass_plain

    def run(self, passes: int) -> int:
        return self.loop(self.fn, self.pairs, passes)


class Samples:
    """The per-repeat figures of one contender."""

    def __init__(self, values: list[float]):
        self.values = values

    @property
    def min(self) -> float:
        return min(self.values)

    @property
    def median(self) -> float:
        return statistics.median(self.values)


def ratio_range(num: Samples, den: Samples) -> tuple[float, float]:
    """Min and max over the repeats of num/den, repeat by repeat (they were
    timed in the same turn)."""
    r = [x / y for x, y in zip(num.values, den.values)]
    return min(r), max(r)


def time_pair_loops(runners: list[Runner], repeats: int, sample_ns: int) -> list[Samples]:
    """ns per call of each runner, one sample per repeat, timed in turns.
    A sample is whole passes over the runner's pairs, as many as fill about
    `sample_ns`."""
    passes = []
    for r in runners:
        n = 1
        while True:
            elapsed = r.run(n)
            if elapsed >= sample_ns / 10 or n >= 1 << 20:
                passes.append(max(1, round(n * sample_ns / max(elapsed, 1))))
                break
            n *= 4
    out = [[] for _ in runners]
    for _ in range(repeats):
        for i, r in enumerate(runners):
            out[i].append(r.run(passes[i]) / (passes[i] * len(r.pairs)))
    return [Samples(v) for v in out]


def time_turns(calls: list, repeats: int, warmup: bool = True) -> list[Samples]:
    """Seconds per call of each zero-argument callable, one sample per
    repeat, the callables in turns within each repeat."""
    if warmup:
        for call in calls:
            call()
    out = [[] for _ in calls]
    for _ in range(repeats):
        for i, call in enumerate(calls):
            t0 = time.perf_counter_ns()
            result = call()
            t1 = time.perf_counter_ns()
            del result
            out[i].append((t1 - t0) / 1e9)
    return [Samples(v) for v in out]


def minor_faults() -> int:
    """Minor page faults of this process so far (0 where not available)."""
    if resource is None:
        return 0
    return resource.getrusage(resource.RUSAGE_SELF).ru_minflt


class CallTiming:
    def __init__(self, seconds: float, faults: float):
        self.seconds = seconds  # minimum over the repeats
        self.faults = faults  # minor page faults per call, median over the repeats


def time_call(call, repeats: int) -> CallTiming:
    """One warm-up call, then `repeats` calls back to back."""
    call()
    best, faults = math.inf, []
    for _ in range(repeats):
        f0 = minor_faults()
        t0 = time.perf_counter_ns()
        result = call()
        t1 = time.perf_counter_ns()
        del result
        faults.append(minor_faults() - f0)
        best = min(best, (t1 - t0) / 1e9)
    return CallTiming(best, statistics.median(faults))


def time_calls(calls: list, repeats: int) -> list[CallTiming]:
    return [time_call(call, repeats) for call in calls]


class BatchResult:
    """Ours next to cdist(workers=1) on one query and candidate list."""

    def __init__(self, n: int, ours: Samples, cdist: Samples | None, note: str | None):
        self.n = n
        self.ours = ours
        self.cdist = cdist
        self.note = note

    @property
    def ours_rate(self) -> float:
        return self.n / self.ours.min

    @property
    def cdist_rate(self) -> float | None:
        return self.n / self.cdist.min if self.cdist else None

    @property
    def speedup(self) -> float | None:
        """cdist time over ours, of the minimums."""
        return self.cdist.min / self.ours.min if self.cdist else None

    def speedup_range(self) -> tuple[float, float]:
        return ratio_range(self.cdist, self.ours)


def compare_batch(measure: Measure, query: str, cands: list[str], folded: bool, repeats: int,
                  lowered: list[str] | None = None) -> BatchResult:
    """Our batch next to rapidfuzz.process.cdist([query], cands, workers=1),
    in turns, after the agreement check. For `folded`, the peer gets the
    lowered query and candidates (`lowered`, or made here), made before
    timing."""
    note = cdist_disagreement(measure, query, cands, folded)
    batch = measure.batch
    ours = (lambda: batch(query, cands, case_insensitive=True)) if folded else (lambda: batch(query, cands))
    calls = [ours]
    if note is None:
        cdist, scorer = cdist_scorer(measure)
        if folded:
            peer_query, peer_cands = query.lower(), lowered if lowered is not None else [c.lower() for c in cands]
        else:
            peer_query, peer_cands = query, cands
        calls.append(lambda: cdist([peer_query], peer_cands, scorer=scorer, workers=1))
    samples = time_turns(calls, repeats)
    return BatchResult(len(cands), samples[0], samples[1] if note is None else None, note)


# --------------------------------------------------------------------------
# Output


def table(headers: list[str], rows: list[list], right: set[int] | None = None) -> None:
    """Prints an aligned plain-text table; columns in `right` align right."""
    right = right if right is not None else set(range(1, len(headers)))
    cells = [[str(c) for c in headers]] + [[str(c) for c in row] for row in rows]
    widths = [max(len(r[i]) for r in cells if i < len(r)) for i in range(len(headers))]

    def line(r):
        parts = []
        for i, c in enumerate(r):
            parts.append(c.rjust(widths[i]) if i in right else c.ljust(widths[i]))
        return "  ".join(parts).rstrip()

    print(line(cells[0]))
    print("  ".join("-" * w for w in widths))
    for r in cells[1:]:
        print(line(r))
    print()


def fmt_ns(ns: float) -> str:
    if ns >= 100_000:
        return f"{ns / 1000:,.0f}k"
    if ns >= 100:
        return f"{ns:,.0f}"
    return f"{ns:.1f}"


def fmt_duration(ns: float) -> str:
    """A duration with its unit, from nanoseconds to seconds."""
    if ns >= 1e9:
        return f"{ns / 1e9:.2f} s"
    if ns >= 1e6:
        return f"{ns / 1e6:.2f} ms"
    if ns >= 1e4:
        return f"{ns / 1e3:.1f} us"
    return f"{ns:,.0f} ns"


def fmt_rate(per_second: float) -> str:
    if per_second >= 1e6:
        return f"{per_second / 1e6:.2f}M/s"
    return f"{per_second / 1e3:.1f}k/s"


def fmt_ratio(x: float) -> str:
    """A ratio with two significant digits at least (0.0045x, not 0.00x)."""
    return f"{x:.2f}x" if x >= 0.1 else f"{x:.2g}x"


def fmt_range(lo: float, hi: float) -> str:
    return f"{fmt_ratio(lo)[:-1]}-{fmt_ratio(hi)[:-1]}"


def status(ok: bool) -> str:
    return "met" if ok else "NOT MET"


def heading(title: str) -> None:
    print("=" * len(title))
    print(title)
    print("=" * len(title))
    print()


def print_targets(targets: list) -> None:
    """`targets` holds (label, ok or None for informational, measured)."""
    if targets:
        heading("Targets")
        rows = [[label, value, "-" if ok is None else status(ok)] for label, ok, value in targets]
        table(["target", "measured", "status"], rows, right={1})


def print_environment(mode_line: str) -> None:
    heading("Environment")
    gil_disabled = sysconfig.get_config_var("Py_GIL_DISABLED")
    gil_enabled_now = getattr(sys, "_is_gil_enabled", lambda: True)()
    print(f"python        {sys.version.split()[0]} ({sys.executable}), {platform.machine()}")
    print(f"free-threaded Py_GIL_DISABLED={gil_disabled!r}, GIL enabled at run time: {gil_enabled_now}")
    cpus = os.cpu_count()
    usable = len(os.sched_getaffinity(0)) if hasattr(os, "sched_getaffinity") else cpus
    print(f"CPUs          {cpus} (usable by this process: {usable})")
    try:
        print(f"load average  {', '.join(f'{x:.2f}' for x in os.getloadavg())}")
    except OSError:
        pass
    print(f"morvane       {morvane.__file__}")
    for peer in PEERS.values():
        state = "ok" if peer.module is not None else f"NOT AVAILABLE: {peer.error}"
        print(f"{peer.module_name:<13} {peer.version or '-'}  {state}")
    print(f"mode          {mode_line}")
    print()


# --------------------------------------------------------------------------
# Machine-readable output (--json): the sections add one record per figure,
# in plain numbers, for bench/report.py.

RECORDS: list[dict] = []
# Taken when the benchmark starts: by its end its own work is in the figure.
LOAD_AT_START = list(os.getloadavg()) if hasattr(os, "getloadavg") else None


def record(section: str, **fields) -> None:
    RECORDS.append({"section": section, **fields})


def cpu_model() -> str:
    try:
        with open("/proc/cpuinfo", encoding="utf-8") as f:
            for line in f:
                if line.startswith("model name"):
                    return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return platform.processor() or platform.machine()


def environment() -> dict:
    try:
        ours = importlib.metadata.version("morvane")
    except importlib.metadata.PackageNotFoundError:
        ours = None
    return {
        "python": sys.version.split()[0],
        "free_threaded": bool(sysconfig.get_config_var("Py_GIL_DISABLED")),
        "machine": platform.machine(),
        "cpu": cpu_model(),
        "cpus": os.cpu_count(),
        "usable_cpus": len(os.sched_getaffinity(0)) if hasattr(os, "sched_getaffinity") else os.cpu_count(),
        "load_average_start": LOAD_AT_START,
        "load_average_end": list(os.getloadavg()) if hasattr(os, "getloadavg") else None,
        "morvane": ours,
        "morvane_file": morvane.__file__,
        "simd": os.environ.get("MORVANE_SIMD"),
        "peers": {peer.dist: peer.version for peer in PEERS.values() if peer.module is not None},
        "time": time.strftime("%Y-%m-%d %H:%M:%S %z"),
    }


def write_json(path: str, script: str, argv: list[str], targets: list) -> None:
    data = {
        "script": script,
        "argv": argv,
        "environment": environment(),
        "records": RECORDS,
        "targets": [{"target": label, "ok": ok, "measured": value} for label, ok, value in targets],
    }
    with open(path, "w", encoding="utf-8") as f:
        json.dump(data, f, indent=1, ensure_ascii=False)
        f.write("\n")


def parse_sections(parser, only: str, sections) -> list[str]:
    chosen = [s.strip() for s in only.split(",") if s.strip()]
    unknown = [s for s in chosen if s not in sections]
    if unknown:
        parser.error(f"unknown section(s) {', '.join(unknown)}; choose from {', '.join(sections)}")
    return chosen


def run_sections(sections: dict, chosen: list[str], cfg, targets: list, cache: dict) -> None:
    """Runs the chosen sections in the order of `sections` (name ->
    fn(cfg, targets, cache)) with the garbage collector off, then prints the
    Targets table and the total time."""
    gc_was_enabled = gc.isenabled()
    gc.disable()
    try:
        started = time.perf_counter()
        for name, section in sections.items():
            if name in chosen:
                t0 = time.perf_counter()
                section(cfg, targets, cache)
                print(f"[{name}: {time.perf_counter() - t0:.1f} s]")
                print()
                sys.stdout.flush()
        elapsed = time.perf_counter() - started
    finally:
        if gc_was_enabled:
            gc.enable()
    print_targets(targets)
    print(f"total time {elapsed:.1f} s")


def near_copy(rng: random.Random, text: str, alphabet: str, rate: float = 0.15) -> str:
    """`text` with about `rate` of its positions substituted, deleted or
    followed by an insertion."""
    out = []
    for ch in text:
        r = rng.random()
        if r < rate / 3:
            out.append(rng.choice(alphabet))
        elif r < 2 * rate / 3:
            continue
        elif r < rate:
            out.append(ch)
            out.append(rng.choice(alphabet))
        else:
            out.append(ch)
    return "".join(out)
