"""Top-k fuzzy lookup over morvane's batch functions, on every core of one
machine or partition by partition on a Dask cluster.

`extract(query, candidates)` returns the `limit` best candidates as
`(candidate, score, index)` tuples, best first: smallest distance for
"levenshtein" and "damerau", largest similarity for "jaro_winkler"; equal
scores keep the order of the candidates. The scores are exactly the batch
functions' (`morvane.levenshtein_batch`, `damerau_batch`,
`jaro_winkler_batch`), and so are their errors: a candidate that is not a
`str` raises TypeError, a lone surrogate UnicodeEncodeError, a prefix scale
out of range ValueError (`InvalidPrefixScale { ... }`).

Choices a caller can rely on:

- `limit=None` returns every candidate that passes `score_cutoff`, sorted.
- `candidates` is a list or a tuple (scored in place), a `pandas.Series` or
  a `dask.dataframe.Series` (the index is then the Series' index label), or
  any other iterable of `str`, which is first read into a list. A `str` or
  `bytes` object is refused: it is almost always a missing pair of brackets.
- `p` is the Winkler prefix scale and belongs to "jaro_winkler" only; with
  an edit distance it raises ValueError.
- `workers` threads score chunks of at least 10,000 candidates (from that
  size a batch runs without holding the interpreter) and each keeps only its
  chunk's best, so that only small lists are merged. `-1` uses every core
  this process may run on. When a chunk fails, the error of the first
  failing chunk is raised.
- A Dask Series is scored by one task per partition on whatever scheduler is
  active (a `distributed.Client` makes that a cluster); each task returns its
  partition's best, scored with `workers` threads (default 1: Dask already
  runs partitions side by side), and the client merges them, ties in
  partition order, then position. Dask is imported only for such a Series.
"""

from __future__ import annotations

import bisect
import heapq
import importlib
import itertools
import math
import operator
import os
import struct
import sys
from collections.abc import Callable, Iterable, Sequence
from concurrent.futures import Future, ThreadPoolExecutor
from typing import Any

import morvane

_np: Any
try:
    import numpy as _np
except ImportError:  # the selection then uses the interpreter's builtins alone
    _np = None

__all__ = ["MEASURES", "extract", "extract_one"]

MEASURES = ("levenshtein", "damerau", "jaro_winkler")

# A batch of this many candidates or more runs without holding the
# interpreter, so no thread is given a smaller chunk.
MIN_CHUNK = 10_000
# The chunk size with several workers. One worker scores everything in one
# call: a chunk is a slice, and slicing writes the reference count of every
# candidate, a cache miss each on a large list (bench/bench_extract.py).
CHUNK = 50_000

Score = int | float
Match = tuple[Any, Score, Any]  # (candidate, score, index or index label)
# (score, position in the scored sequence), best first
Ranked = list[tuple[Score, int]]
Selector = Callable[[list[Any], int, int | None, Any], Ranked]


class _Plan:
    """One call's validated arguments: the batch function, how its scores
    rank, and the keyword arguments the batch receives."""

    __slots__ = ("batch", "largest", "limit", "cutoff", "kwargs", "workers")

    def __init__(self, measure: object, limit: object, score_cutoff: object, case_insensitive: object,
                 p: object, workers: object) -> None:
        if not isinstance(measure, str):
            raise TypeError(f"measure must be a str, not {type(measure).__name__}")
        if measure not in MEASURES:
            raise ValueError(f"unknown measure {measure!r}; choose one of {', '.join(map(repr, MEASURES))}")
        self.largest = measure == "jaro_winkler"
        self.batch: Callable[..., list[Any]]
        self.kwargs: dict[str, object] = {"case_insensitive": case_insensitive}
        if self.largest:
            self.batch = morvane.jaro_winkler_batch
            self.kwargs["p"] = p
        else:
            self.batch = morvane.levenshtein_batch if measure == "levenshtein" else morvane.damerau_batch
            if p is not None:
                raise ValueError(f"p is the Jaro-Winkler prefix scale; measure {measure!r} takes none")

        if limit is not None:
            if isinstance(limit, bool) or not isinstance(limit, int):
                raise TypeError(f"limit must be a positive int or None, not {type(limit).__name__}")
            if limit < 1:
                raise ValueError(f"limit must be a positive int or None, not {limit}")
        self.limit: int | None = limit

        if score_cutoff is not None:
            if self.largest:
                if isinstance(score_cutoff, bool) or not isinstance(score_cutoff, (int, float)):
                    raise TypeError(f"score_cutoff of a similarity must be a float or None, "
                                    f"not {type(score_cutoff).__name__}")
                if math.isnan(score_cutoff):
                    raise ValueError("score_cutoff must not be NaN")
            else:
                if isinstance(score_cutoff, bool) or not isinstance(score_cutoff, int):
                    raise TypeError(f"score_cutoff of a distance must be an int or None, "
                                    f"not {type(score_cutoff).__name__}")
                if score_cutoff < 0:
                    raise ValueError(f"score_cutoff of a distance must be at least 0, not {score_cutoff}")
        self.cutoff = score_cutoff

        if isinstance(workers, bool) or not isinstance(workers, int):
            raise TypeError(f"workers must be an int, not {type(workers).__name__}")
        if workers == -1:
            workers = os.process_cpu_count() or 1
        elif workers < 1:
            raise ValueError(f"workers must be a positive int or -1 (every core), not {workers}")
        self.workers: int = workers

    def select(self) -> Selector:
        if not self.largest:
            return _best_distances
        return _best_similarities if _np is not None else _best_by_value

    def rank_key(self, score: Score) -> Score:
        """Sorts best first."""
        return -score if self.largest else score


# --------------------------------------------------------------------------
# Selection within one chunk of scores. Each returns at most `k` (all when
# None) (score, offset + position) pairs that pass `cutoff`, best first,
# equal scores by position, and loops in Python only over what it returns.


def _best_distances(scores: list[int], offset: int, k: int | None, cutoff: int | None) -> Ranked:
    """Distances: as bytes, each distance is found by memchr."""
    if k is None and cutoff is None:
        return _all_sorted(scores, offset, False, cutoff)
    try:
        found = bytes(scores)
    except ValueError:  # a distance above 255
        return _best_by_value(scores, offset, k, cutoff, largest=False)
    out: Ranked = []
    top = 255 if cutoff is None else min(cutoff, 255)
    for d in range(top + 1):
        i = found.find(d)
        while i >= 0:
            out.append((d, offset + i))
            if len(out) == k:
                return out
            i = found.find(d, i + 1)
    return out


def _best_similarities(scores: list[float], offset: int, k: int | None, cutoff: float | None) -> Ranked:
    """Similarities, with NumPy: packed into doubles in one C call; the k-th
    best value from the scores at least as good as the k-th best of a
    sample, by sorting (NumPy's partition slows down badly on the many equal
    similarities of short words; its sort does not); then the positions of
    the better ones and of the first equal ones by comparisons."""
    n = len(scores)
    if n == 0 or _np is None or (k is None and cutoff is None):
        return _best_by_value(scores, offset, k, cutoff, largest=True)
    a = _np.frombuffer(struct.pack(f"{n}d", *scores), dtype=_np.float64)
    if k is None:
        passed = _np.flatnonzero(a >= cutoff)
        return [(scores[i], offset + i) for i in passed[_np.lexsort((passed, -a[passed]))].tolist()]
    if k < n:
        # The sample has at least k scores, so at least k are >= its k-th.
        sample = _np.sort(a[::max(1, n // (256 * k))])
        kth = float(_np.sort(a[a >= sample[-k]])[-k])
    else:
        kth = float(a.min())
    if cutoff is not None and cutoff > kth:
        kth = cutoff  # then fewer than k pass, and all of them are taken
    better = _np.flatnonzero(a > kth)
    better = better[_np.lexsort((better, -a[better]))]
    equal = _np.flatnonzero(a == kth)[:k - len(better)]
    return [(scores[i], offset + i) for i in itertools.chain(better.tolist(), equal.tolist())]


def _best_by_value(scores: list[Any], offset: int, k: int | None, cutoff: Score | None, largest: bool = True) -> Ranked:
    """Any scores: the k best values through heapq (max or min alone for
    k=1), then the positions of each distinct value by list.index."""
    if k is None:
        return _all_sorted(scores, offset, largest, cutoff)
    values = heapq.nlargest(k, scores) if largest else heapq.nsmallest(k, scores)
    if cutoff is not None:
        values = [v for v in values if (v >= cutoff if largest else v <= cutoff)]
    out: Ranked = []
    # `values` holds every occurrence of a value better than its last one,
    # and of the last value as many as are needed: the first positions.
    for value, group in itertools.groupby(values):
        i = -1
        for _ in group:
            i = scores.index(value, i + 1)
            out.append((scores[i], offset + i))
    return out


def _all_sorted(scores: list[Any], offset: int, largest: bool, cutoff: Score | None) -> Ranked:
    # A stable sort keeps equal scores in position order, reversed or not.
    order = sorted(range(len(scores)), key=scores.__getitem__, reverse=largest)
    if cutoff is not None:
        if largest:
            order = order[:bisect.bisect_right(order, -cutoff, key=lambda i: -scores[i])]
        else:
            order = order[:bisect.bisect_right(order, cutoff, key=scores.__getitem__)]
    return [(scores[i], offset + i) for i in order]


# --------------------------------------------------------------------------
# Scoring a sequence in chunks


def _chunk_bounds(n: int, workers: int) -> list[int]:
    """Start of every chunk and the end: one chunk for one worker; else
    chunks of about CHUNK candidates, at least one per worker where each can
    still have MIN_CHUNK, evenly sized."""
    if workers == 1:
        return [0, n]
    count = max(-(-n // CHUNK), min(workers, n // MIN_CHUNK))
    count = max(1, min(count, n // MIN_CHUNK))
    return [n * i // count for i in range(count + 1)]


def _best_of(plan: _Plan, query: str, cands: Sequence[str]) -> Ranked:
    """The best (score, position) of `cands`, best first."""
    n = len(cands)
    bounds = _chunk_bounds(n, plan.workers)
    select, batch, kwargs, k, cutoff = plan.select(), plan.batch, plan.kwargs, plan.limit, plan.cutoff

    def run(lo: int, hi: int) -> Ranked:
        part = cands if hi - lo == n else cands[lo:hi]
        scores = batch(query, part, **kwargs)
        del part  # released while its candidates are still in the caches
        return select(scores, lo, k, cutoff)

    spans = list(itertools.pairwise(bounds))
    threads = min(plan.workers, len(spans))
    if threads == 1:
        parts = [run(lo, hi) for lo, hi in spans]
    else:
        with ThreadPoolExecutor(threads, thread_name_prefix="morvane_lookup") as pool:
            futures: list[Future[Ranked]] = [pool.submit(run, lo, hi) for lo, hi in spans]
            try:
                parts = [f.result() for f in futures]
            except BaseException:
                for f in futures:
                    f.cancel()
                raise
    if len(parts) == 1:
        return parts[0]
    # By position, then stably by score: equal scores stay in position
    # order, with C-level keys only (limit=None merges every candidate).
    merged = sorted(itertools.chain.from_iterable(parts), key=operator.itemgetter(1))
    merged.sort(key=operator.itemgetter(0), reverse=plan.largest)
    return merged if k is None else merged[:k]


def _series_type(module: str, attr: str = "Series") -> type | None:
    """The Series class of `module` when it is already imported, else None:
    an object of a library that was never imported cannot be its Series."""
    mod = sys.modules.get(module)
    found = getattr(mod, attr, None) if mod is not None else None
    return found if isinstance(found, type) else None


def _pandas_best(plan: _Plan, query: str, series: Any) -> list[tuple[Score, int, Any, Any]]:
    """(score, position, index label, candidate) of a pandas Series' best."""
    values = series.tolist()
    labels = series.index
    return [(score, i, labels[i], values[i]) for score, i in _best_of(plan, query, values)]


def _partition_best(part: Any, query: str, measure: str, limit: int | None, score_cutoff: Score | None,
                    case_insensitive: bool | None, p: float | None, workers: int) -> list[tuple[Score, int, Any, Any]]:
    """One Dask partition's best; runs where the partition lives."""
    plan = _Plan(measure, limit, score_cutoff, case_insensitive, p, workers)
    return _pandas_best(plan, query, part)


def _dask_extract(plan: _Plan, query: str, series: Any, measure: str, case_insensitive: bool | None,
                  p: float | None, workers: int) -> list[Match]:
    dask: Any = importlib.import_module("dask")
    tasks = [
        dask.delayed(_partition_best, pure=True)(part, query, measure, plan.limit, plan.cutoff,
                                                 case_insensitive, p, workers)
        for part in series.to_delayed()
    ]
    parts = dask.compute(*tasks)
    key = plan.rank_key
    # Partition number, then position: the order of the Series itself.
    ranked = sorted(
        ((key(score), n, pos, score, label, cand) for n, part in enumerate(parts) for score, pos, label, cand in part),
        key=lambda item: item[:3],
    )
    if plan.limit is not None:
        ranked = ranked[:plan.limit]
    return [(cand, score, label) for *_, score, label, cand in ranked]


# --------------------------------------------------------------------------


def extract(query: str, candidates: Iterable[str], *, measure: str = "levenshtein", limit: int | None = 5,
            score_cutoff: Score | None = None, case_insensitive: bool | None = None, p: float | None = None,
            workers: int = 1) -> list[Match]:
    """The `limit` best candidates for `query` as (candidate, score, index),
    best first (smallest distance, largest similarity), equal scores in the
    candidates' order. `score_cutoff` keeps distances at most it, or
    similarities at least it; `limit=None` keeps every candidate that
    passes. `workers` threads score chunks side by side (-1: every core).
    For a pandas or Dask Series, index is the Series' index label."""
    plan = _Plan(measure, limit, score_cutoff, case_insensitive, p, workers)
    if not isinstance(candidates, (list, tuple)):
        dask_series = _series_type("dask.dataframe")
        if dask_series is not None and isinstance(candidates, dask_series):
            # -1 is resolved on each Dask worker, for its own cores.
            return _dask_extract(plan, query, candidates, measure, case_insensitive, p, workers)
        pandas_series = _series_type("pandas")
        if pandas_series is not None and isinstance(candidates, pandas_series):
            return [(cand, score, label) for score, _, label, cand in _pandas_best(plan, query, candidates)]
        if isinstance(candidates, (str, bytes, bytearray)):
            raise TypeError(f"candidates must be a sequence of str, not a single {type(candidates).__name__}")
        try:
            candidates = list(candidates)
        except TypeError:
            raise TypeError(f"candidates must be an iterable of str, not {type(candidates).__name__}") from None
    cands: Sequence[str] = candidates
    return [(cands[i], score, i) for score, i in _best_of(plan, query, cands)]


def extract_one(query: str, candidates: Iterable[str], *, measure: str = "levenshtein",
                score_cutoff: Score | None = None, case_insensitive: bool | None = None, p: float | None = None,
                workers: int = 1) -> Match | None:
    """The best candidate as (candidate, score, index), or None when none
    passes `score_cutoff` (or there are none)."""
    best = extract(query, candidates, measure=measure, limit=1, score_cutoff=score_cutoff,
                   case_insensitive=case_insensitive, p=p, workers=workers)
    return best[0] if best else None
