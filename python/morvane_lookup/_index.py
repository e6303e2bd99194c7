"""Index, a prepared reference set, and cdist, full score matrices."""

from __future__ import annotations

import heapq
import itertools
from collections.abc import Sequence
from typing import Any, Generic, TypeVar

import numpy as np

from . import _engine
from ._options import MeasureName, Plan, Processor, Column, prepare, process, run_chunks, spans

C = TypeVar("C")

Match = tuple[C, int | float, Any]  # (candidate, score, position or index label)


class Index(Generic[C]):
    """Candidates prepared once for many lookups: their texts copied into
    native storage, ordered by length, lowered with `str.lower()` when
    `case_insensitive` is true, after `processor` when one is given. Holds
    no per-candidate Python object while scoring; results hand back the
    original candidates (and a pandas Series' index labels). Missing values
    (None, NaN, pandas.NA, pandas.NaT) are never matched. Immutable and safe
    to share between threads."""

    __slots__ = ("_column", "_texts", "_processor", "_lowered", "__weakref__")

    def __init__(self, candidates: Sequence[C] | Any, *, case_insensitive: bool | None = None,
                 processor: Processor | Sequence[Processor] | None = None) -> None:
        if case_insensitive is not None and not isinstance(case_insensitive, bool):
            raise TypeError(f"case_insensitive must be a bool or None, not {type(case_insensitive).__name__}")
        self._column = Column(candidates, "candidates")
        self._processor = processor
        self._lowered = case_insensitive is True
        self._texts = prepare(self._column, processor, self._lowered)

    def __len__(self) -> int:
        return len(self._column)

    def __repr__(self) -> str:
        return (f"<morvane_lookup.Index of {len(self)} candidates, {len(self._texts)} prepared, "
                f"case_insensitive={self._lowered}>")

    @property
    def case_insensitive(self) -> bool:
        return self._lowered

    @property
    def nbytes(self) -> int:
        """Native memory held by the prepared texts."""
        return int(self._texts.memory)

    def extract(self, query: str, *, measure: MeasureName = "levenshtein", limit: int | None = 5,
                score_cutoff: int | float | None = None, p: float | None = None, normalized: bool = False,
                workers: int = 1) -> list[Match[C]]:
        """The `limit` best candidates for `query` as (candidate, score,
        position or index label), best first; equal scores in the
        candidates' order. `limit=None` keeps every candidate that passes
        `score_cutoff` (distances at most it, similarities at least it)."""
        plan = Plan(measure, score_cutoff, p, workers, normalized=normalized, limit=limit)
        return [(self._column.item(i), score, self._column.label(i))
                for score, i in best(plan, self._query(query), self._texts)]

    def extract_one(self, query: str, *, measure: MeasureName = "levenshtein",
                    score_cutoff: int | float | None = None, p: float | None = None, normalized: bool = False,
                    workers: int = 1) -> Match[C] | None:
        """The best candidate, or None when none passes `score_cutoff`."""
        found = self.extract(query, measure=measure, limit=1, score_cutoff=score_cutoff, p=p,
                             normalized=normalized, workers=workers)
        return found[0] if found else None

    def _query(self, query: object) -> str:
        if not isinstance(query, str):
            raise TypeError(f"query must be a str, not {type(query).__name__}")
        if self._processor is None:
            return query
        return process(Column([query], "query"), self._processor)[0]  # type: ignore[no-any-return]


def best(plan: Plan, query: str, texts: Any) -> list[tuple[int | float, int]]:
    """(score, position) of the best, best first, over `plan.workers` parts
    of the set; equal scores by position."""
    limit = plan.limit or 0
    scoring = plan.scoring()
    parts = spans(len(texts), plan.workers)
    if len(parts) == 1:
        return _engine.best(query, texts, limit, 0, len(texts), *scoring)
    found = list(run_chunks(lambda span: _engine.best(query, texts, limit, span[0], span[1], *scoring),
                            parts, plan.workers))
    key = plan.rank_key
    merged = heapq.merge(*found, key=lambda item: (key(item[0]), item[1]))
    return list(merged if plan.limit is None else itertools.islice(merged, plan.limit))


def sides(queries: Any, choices: Any, case_insensitive: bool | None,
          processor: Processor | Sequence[Processor] | None, left: str, right: str,
          borrow: bool = False) -> tuple[Column, Any, Column, Any]:
    """Both sides of a matrix or join prepared alike: an Index brings its own
    folding and processor, which the other side then takes."""
    if case_insensitive is not None and not isinstance(case_insensitive, bool):
        raise TypeError(f"case_insensitive must be a bool or None, not {type(case_insensitive).__name__}")
    fold = case_insensitive is True
    for side in (queries, choices):
        if isinstance(side, Index):
            if case_insensitive is not None and case_insensitive != side.case_insensitive:
                raise ValueError("case_insensitive differs from the Index's; an Index is folded when it is built")
            if processor is not None and processor is not side._processor:
                raise ValueError("processor differs from the Index's; an Index is processed when it is built")
            fold, processor = side.case_insensitive, side._processor

    def one(items: Any, name: str) -> tuple[Column, Any]:
        if isinstance(items, Index):
            return items._column, items._texts
        column = Column(items, name)
        return column, prepare(column, processor, fold, borrow=borrow)

    lc, lt = one(queries, left)
    if choices is queries:
        return lc, lt, lc, lt
    rc, rt = one(choices, right)
    return lc, lt, rc, rt


_INTEGERS = {np.dtype(t): code for code, t in enumerate(
    (np.int8, np.int16, np.int32, np.int64, np.uint8, np.uint16, np.uint32, np.uint64))}
_FLOATS = {np.dtype(np.float32): 8, np.dtype(np.float64): 9}


def cdist(queries: Sequence[str] | Index[Any] | Any, choices: Sequence[str] | Index[Any] | Any, *,
          measure: MeasureName = "levenshtein", score_cutoff: int | float | None = None,
          case_insensitive: bool | None = None, p: float | None = None, dtype: Any = None,
          processor: Processor | Sequence[Processor] | None = None, normalized: bool = False,
          workers: int = 1) -> np.ndarray[Any, Any]:
    """The score of every query against every choice, as an array of shape
    (len(queries), len(choices)): distances (int32 unless `dtype` says
    otherwise) or similarities and normalised distances (float64, or
    float32 on request), each exactly the batch functions' score. With
    `score_cutoff`, a distance above it is stored as cut-off + 1 (1.0 when
    normalised) and a similarity below it as 0.0, and lengths that the
    cut-off rules out are not scored. Rows and columns of missing values
    hold that no-match value (without a cut-off: the dtype's largest value
    for distances). `workers` threads share the rows (-1: every core)."""
    plan = Plan(measure, score_cutoff, p, workers, normalized=normalized)
    qc, qt, cc, ct = sides(queries, choices, case_insensitive, processor, "queries", "choices", borrow=True)
    shape = (len(qc), len(cc))
    out_type = _dtype(plan, dtype, qt, ct)
    if plan.integral:
        no_match: float = plan.cutoff + 1 if plan.cutoff is not None else np.iinfo(out_type).max \
            if out_type.kind in "iu" else np.finfo(out_type).max
    else:
        no_match = 1.0 if plan.normalized else 0.0
    complete = len(qt) == shape[0] and len(ct) == shape[1]
    out = np.empty(shape, out_type) if complete and plan.cutoff is None else np.full(shape, no_match, out_type)
    element = _INTEGERS[out_type] if out_type in _INTEGERS else _FLOATS[out_type]
    n = len(qt)
    if n == 0 or len(ct) == 0:
        return out
    # Whole blocks of queries for the many-query kernels (up to 64 lanes).
    rows = max(64, min(512, n // (4 * plan.workers)) // 64 * 64)
    chunks = [(b, min(n, b + rows)) for b in range(0, n, rows)]
    scoring = plan.scoring()
    for _ in run_chunks(lambda span: _engine.score_matrix(qt, ct, out, element, span[0], span[1], float(no_match),
                                                          *scoring), chunks, plan.workers):
        pass
    return out


def _dtype(plan: Plan, dtype: Any, qt: Any, ct: Any) -> np.dtype[Any]:
    if dtype is None:
        default: np.dtype[Any] = np.dtype(np.int32 if plan.integral else np.float64)
        return default
    try:
        out: np.dtype[Any] = np.dtype(dtype)
    except TypeError:
        raise TypeError(f"dtype must be a NumPy integer or float type, not {dtype!r}") from None
    if out not in _INTEGERS and out not in _FLOATS:
        raise TypeError(f"dtype must be a NumPy integer or float type, not {out}")
    if not plan.integral:
        if out not in _FLOATS:
            raise TypeError(f"{'normalized distances' if plan.normalized else 'similarities'} need a float dtype, "
                            f"not {out}")
        return out
    # The largest value that can be stored: the no-match value with a
    # cut-off, else the longest distance possible.
    top = plan.cutoff + 1 if plan.cutoff is not None else max(
        qt.longest, ct.longest, qt.longest_unlowered, ct.longest_unlowered)
    limit = np.iinfo(out).max if out.kind in "iu" else 2 ** np.finfo(out).nmant
    if top > limit:
        raise ValueError(f"dtype {out} cannot hold distances up to {top}; choose a wider type")
    return out
