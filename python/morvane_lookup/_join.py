"""join: every pair of records within a threshold, in memory or over the
partitions of Dask Series."""

from __future__ import annotations

import importlib
import sys
from collections.abc import Sequence
from typing import Any, NamedTuple

import numpy as np

from . import _engine
from ._index import Index, sides
from ._options import Column, MeasureName, Plan, Processor, prepare, run_chunks, series_type


class JoinResult(NamedTuple):
    """The pairs of a join, sorted by (left, right): positions in the left
    and right sequences and each pair's score."""

    left: np.ndarray[Any, np.dtype[np.int64]]
    right: np.ndarray[Any, np.dtype[np.int64]]
    score: np.ndarray[Any, Any]


def join(left: Sequence[str] | Index[Any] | Any, right: Sequence[str] | Index[Any] | Any | None = None, *,
         measure: MeasureName = "levenshtein", score_cutoff: int | float, case_insensitive: bool | None = None,
         p: float | None = None, processor: Processor | Sequence[Processor] | None = None,
         normalized: bool = False, workers: int = 1, progress: bool = False) -> JoinResult | Any:
    """Every pair (i, j) whose score passes `score_cutoff` (a distance at
    most it, a similarity at least it), scored with left[i] as the query,
    exactly as the batch functions score it. `right=None` joins `left` with
    itself: pairs i < j only. Without scoring every pair: edit distances
    score only pairs that share an unchanged piece of text, and a cut-off
    rules out lengths. Missing values are never matched. `progress=True`
    shows a progress bar on standard error; Ctrl-C stops the join within
    about a second. Dask Series on either side give a Dask DataFrame with
    columns left, right (index labels) and score."""
    plan = Plan(measure, score_cutoff, p, workers, normalized=normalized)
    if plan.cutoff is None:
        raise TypeError("join needs a score_cutoff: without one every pair would be returned")
    dask_series = series_type("dask.dataframe")
    if dask_series is not None and (isinstance(left, dask_series) or isinstance(right, dask_series)):
        return _dask_join(plan, left, right, case_insensitive, processor)
    self_join = right is None
    lc, lt, rc, rt = sides(left, left if self_join else right, case_insensitive, processor, "left", "right")
    return _join_texts(plan, lt, rt, self_join, progress)


def _join_texts(plan: Plan, lt: Any, rt: Any, self_join: bool, progress: bool) -> JoinResult:
    index = _engine.join_index(lt, rt, self_join, *plan.scoring())
    n = len(lt)
    edit_filtered = plan.integral
    # Chunks short enough that progress moves and Ctrl-C is seen within a
    # second: probes that scan runs of lengths cost in proportion to the
    # right side.
    size = 2048 if edit_filtered else max(1, min(2048, 4_000_000 // max(1, len(rt))))
    chunks = [(b, min(n, b + size)) for b in range(0, n, size)]
    bar = _progress_bar(n) if progress else None
    score_type = np.int32 if plan.integral else np.float64
    out = _Pairs(score_type)
    try:
        for lb, rb, sb in run_chunks(lambda span: index.run(*span), chunks, plan.workers,
                                     None if bar is None else lambda span: bar.update(span[1] - span[0])):
            out.append(np.frombuffer(lb, np.int64), np.frombuffer(rb, np.int64), np.frombuffer(sb, np.float64))
    finally:
        if bar is not None:
            bar.close()
    return out.result()


class _Pairs:
    """The pairs found so far, in arrays grown in place: a chunk is copied
    in and dropped as it arrives, and growing reallocates rather than
    copies, so that a join of many pairs holds about one copy of them."""

    def __init__(self, score_type: Any) -> None:
        self.size = 0
        self.arrays = [np.empty(1 << 16, np.int64), np.empty(1 << 16, np.int64), np.empty(1 << 16, score_type)]

    def append(self, *parts: np.ndarray[Any, Any]) -> None:
        n = len(parts[0])
        if self.size + n > len(self.arrays[0]):
            capacity = max(2 * len(self.arrays[0]), self.size + n)
            for a in self.arrays:
                a.resize(capacity, refcheck=False)
        for a, part in zip(self.arrays, parts):
            a[self.size:self.size + n] = part
        self.size += n

    def result(self) -> JoinResult:
        for a in self.arrays:
            a.resize(self.size, refcheck=False)
        return JoinResult(*self.arrays)


def _progress_bar(total: int) -> Any:
    try:
        tqdm = importlib.import_module("tqdm")
    except ImportError:
        raise ImportError("progress=True needs the tqdm package (pip install tqdm)") from None
    return tqdm.tqdm(total=total, unit="records", file=sys.stderr, desc="join", mininterval=0.5)


# --------------------------------------------------------------------------
# Dask: one task per pair of partitions (each pair once for a self-join)


def _partition_pairs(lpart: Any, rpart: Any, ln: int, rn: int, same: bool, measure: str,
                     score_cutoff: int | float, fold: bool, p: float | None,
                     processor: Processor | Sequence[Processor] | None, normalized: bool) -> Any:
    pd: Any = importlib.import_module("pandas")
    plan = Plan(measure, score_cutoff, p, 1, normalized=normalized)
    lcol = Column(lpart, f"partition {ln} of left")
    lt = prepare(lcol, processor, fold)
    if same:
        rcol, rt = lcol, lt
    else:
        rcol = Column(rpart, f"partition {rn} of right")
        rt = prepare(rcol, processor, fold)
    found = _join_texts(plan, lt, rt, same, False)
    return pd.DataFrame({"left": np.asarray(lcol.labels)[found.left] if len(found.left) else
                         np.asarray(lcol.labels)[:0],
                         "right": np.asarray(rcol.labels)[found.right] if len(found.right) else
                         np.asarray(rcol.labels)[:0],
                         "score": found.score})


def _dask_join(plan: Plan, left: Any, right: Any, case_insensitive: bool | None,
               processor: Processor | Sequence[Processor] | None) -> Any:
    dask: Any = importlib.import_module("dask")
    dd: Any = importlib.import_module("dask.dataframe")
    pd: Any = importlib.import_module("pandas")
    dask_series = series_type("dask.dataframe")

    def parts(side: Any) -> list[Any]:
        if dask_series is not None and isinstance(side, dask_series):
            return list(side.to_delayed())
        return [dask.delayed(pd.Series(side) if not isinstance(side, pd.Series) else side)]

    fold = case_insensitive is True
    p = plan.p if plan.largest else None
    lparts = parts(left)
    self_join = right is None
    rparts = lparts if self_join else parts(right)
    tasks = []
    for i, lp in enumerate(lparts):
        for j, rp in enumerate(rparts):
            if self_join and j < i:
                continue
            tasks.append(dask.delayed(_partition_pairs, pure=True)(
                lp, rp, i, j, self_join and i == j, plan.measure, plan.cutoff, fold, p, processor, plan.normalized))
    meta = pd.DataFrame({"left": pd.Series([], dtype=object), "right": pd.Series([], dtype=object),
                         "score": pd.Series([], dtype=np.int32 if plan.integral else np.float64)})
    return dd.from_delayed(tasks, meta=meta, verify_meta=False)
