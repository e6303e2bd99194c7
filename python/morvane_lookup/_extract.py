"""extract and extract_one over a sequence, a pandas or Dask Series, or an
Index."""

from __future__ import annotations

import importlib
from collections.abc import Iterable, Sequence
from typing import Any, TypeVar

from ._index import Index, Match, best
from ._options import Column, MeasureName, Plan, Processor, prepare, process, series_type

C = TypeVar("C")


def extract(query: str, candidates: Iterable[C] | Index[C] | Any, *, measure: MeasureName = "levenshtein",
            limit: int | None = 5, score_cutoff: int | float | None = None, case_insensitive: bool | None = None,
            p: float | None = None, processor: Processor | Sequence[Processor] | None = None,
            normalized: bool = False, workers: int = 1) -> list[Match[C]]:
    """The `limit` best candidates for `query` as (candidate, score, index),
    best first (smallest distance, largest similarity), equal scores in the
    candidates' order. `score_cutoff` keeps distances at most it, or
    similarities at least it; `limit=None` keeps every candidate that
    passes. Missing values (None, NaN, pandas.NA, pandas.NaT) are skipped;
    any other item that is not a str raises TypeError naming it. For a
    pandas or Dask Series, index is the Series' index label. `processor`
    is applied to the query and to every candidate before scoring;
    `normalized` divides distances by the longer length. `workers` threads
    score parts of the candidates side by side (-1: every core)."""
    if isinstance(candidates, Index):
        if case_insensitive is not None and case_insensitive != candidates.case_insensitive:
            raise ValueError("case_insensitive differs from the Index's; an Index is folded when it is built")
        if processor is not None and processor is not candidates._processor:
            raise ValueError("processor differs from the Index's; an Index is processed when it is built")
        return candidates.extract(query, measure=measure, limit=limit, score_cutoff=score_cutoff, p=p,
                                  normalized=normalized, workers=workers)
    plan = Plan(measure, score_cutoff, p, workers, normalized=normalized, limit=limit)
    if case_insensitive is not None and not isinstance(case_insensitive, bool):
        raise TypeError(f"case_insensitive must be a bool or None, not {type(case_insensitive).__name__}")
    if not isinstance(query, str):
        raise TypeError(f"query must be a str, not {type(query).__name__}")
    if processor is not None:
        query = process(Column([query], "query"), processor)[0]
    dask_series = series_type("dask.dataframe")
    if dask_series is not None and isinstance(candidates, dask_series):
        return _dask_extract(plan, query, candidates, case_insensitive is True, processor)
    column = Column(candidates, "candidates")
    return [(column.item(i), score, column.label(i))
            for score, i in _best_of_column(plan, query, column, case_insensitive is True, processor)]


def _best_of_column(plan: Plan, query: str, column: Column, fold: bool,
                    processor: Processor | Sequence[Processor] | None) -> list[tuple[int | float, int]]:
    # The texts are read in place for this call only.
    texts = prepare(column, processor, fold, borrow=True)
    return best(plan, query, texts)


def extract_one(query: str, candidates: Iterable[C] | Index[C] | Any, *, measure: MeasureName = "levenshtein",
                score_cutoff: int | float | None = None, case_insensitive: bool | None = None,
                p: float | None = None, processor: Processor | Sequence[Processor] | None = None,
                normalized: bool = False, workers: int = 1) -> Match[C] | None:
    """The best candidate as (candidate, score, index), or None when none
    passes `score_cutoff` (or there are none)."""
    found = extract(query, candidates, measure=measure, limit=1, score_cutoff=score_cutoff,
                    case_insensitive=case_insensitive, p=p, processor=processor, normalized=normalized,
                    workers=workers)
    return found[0] if found else None


def _partition_best(part: Any, number: int, query: str, measure: str, limit: int | None,
                    score_cutoff: int | float | None, fold: bool, p: float | None,
                    processor: Processor | Sequence[Processor] | None, normalized: bool,
                    workers: int) -> list[tuple[Any, int, Any, Any]]:
    """One Dask partition's best as (score, position, label, candidate);
    runs where the partition lives."""
    plan = Plan(measure, score_cutoff, p, workers, normalized=normalized, limit=limit)
    column = Column(part, f"partition {number} of candidates")
    return [(score, i, column.label(i), column.item(i))
            for score, i in _best_of_column(plan, query, column, fold, processor)]


def _dask_extract(plan: Plan, query: str, series: Any, fold: bool,
                  processor: Processor | Sequence[Processor] | None) -> list[Match[Any]]:
    """One task per partition on the active scheduler; the client merges,
    ties in partition order, then position."""
    dask: Any = importlib.import_module("dask")
    tasks = [
        dask.delayed(_partition_best, pure=True)(part, n, query, plan.measure, plan.limit, plan.cutoff, fold,
                                                 None if plan.measure != "jaro_winkler" else plan.p, processor,
                                                 plan.normalized, plan.workers)
        for n, part in enumerate(series.to_delayed())
    ]
    parts = dask.compute(*tasks)
    key = plan.rank_key
    ranked = sorted(
        ((key(score), n, pos, score, label, cand) for n, part in enumerate(parts) for score, pos, label, cand in part),
        key=lambda item: item[:3],
    )
    if plan.limit is not None:
        ranked = ranked[:plan.limit]
    return [(cand, score, label) for *_, score, label, cand in ranked]
