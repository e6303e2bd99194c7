"""One call's validated options, the reading of candidates (missing values,
labels, processors) and the running of native work in chunks over threads."""

from __future__ import annotations

import math
import os
import sys
from collections.abc import Callable, Iterable, Iterator, Sequence
from concurrent.futures import FIRST_COMPLETED, Future, ThreadPoolExecutor, wait
from typing import Any, Literal, NoReturn, TypeVar

import morvane

from . import _engine

MeasureName = Literal["levenshtein", "damerau", "jaro_winkler"]
MEASURES: tuple[MeasureName, ...] = ("levenshtein", "damerau", "jaro_winkler")
Processor = Callable[[str], str]

T = TypeVar("T")


class Plan:
    """A call's measure, cut-off, prefix scale and workers, checked once."""

    __slots__ = ("measure", "code", "largest", "cutoff", "normalized", "p", "limit", "workers", "level")

    def __init__(self, measure: object, score_cutoff: object, p: object, workers: object, *,
                 normalized: object = False, limit: object = None) -> None:
        if not isinstance(measure, str):
            raise TypeError(f"measure must be a str, not {type(measure).__name__}")
        if measure not in MEASURES:
            raise ValueError(f"unknown measure {measure!r}; choose one of {', '.join(map(repr, MEASURES))}")
        self.measure = measure
        self.code = MEASURES.index(measure)
        self.largest = measure == "jaro_winkler"
        if not isinstance(normalized, bool):
            raise TypeError(f"normalized must be a bool, not {type(normalized).__name__}")
        self.normalized = normalized and not self.largest  # similarities are on 0-1 already
        if self.largest:
            # The batch's own check, so that its error text is the one raised.
            morvane.jaro_winkler_batch("", [], p=p)  # type: ignore[arg-type]
            self.p = 0.1 if p is None else float(p)  # type: ignore[arg-type]
        else:
            if p is not None:
                raise ValueError(f"p is the Jaro-Winkler prefix scale; measure {measure!r} takes none")
            self.p = 0.1

        if limit is not None:
            if isinstance(limit, bool) or not isinstance(limit, int):
                raise TypeError(f"limit must be a positive int or None, not {type(limit).__name__}")
            if limit < 1:
                raise ValueError(f"limit must be a positive int or None, not {limit}")
        self.limit: int | None = limit

        self.cutoff = _cutoff(score_cutoff, self.largest, self.normalized)

        if isinstance(workers, bool) or not isinstance(workers, int):
            raise TypeError(f"workers must be an int, not {type(workers).__name__}")
        if workers == -1:
            workers = os.process_cpu_count() or 1
        elif workers < 1:
            raise ValueError(f"workers must be a positive int or -1 (every core), not {workers}")
        self.workers: int = workers
        # One instruction-set level for the whole call.
        self.level: int = _engine.simd_level()

    @property
    def integral(self) -> bool:
        """Whether scores are whole distances."""
        return not self.largest and not self.normalized

    def scoring(self) -> tuple[int, float | None, bool, float, int]:
        """The native functions' trailing arguments."""
        return (self.code, None if self.cutoff is None else float(self.cutoff), self.normalized, self.p, self.level)

    def rank_key(self, score: float) -> float:
        """Sorts best first."""
        return -score if self.largest else score


def _cutoff(value: object, largest: bool, normalized: bool) -> int | float | None:
    if value is None:
        return None
    if largest or normalized:
        kind = "similarity" if largest else "normalized distance"
        if isinstance(value, bool) or not isinstance(value, (int, float)):
            raise TypeError(f"score_cutoff of a {kind} must be a float or None, not {type(value).__name__}")
        if math.isnan(value):
            raise ValueError("score_cutoff must not be NaN")
        if not 0.0 <= value <= 1.0:
            raise ValueError(f"score_cutoff of a {kind} is on the scale 0 to 1, not {value}")
        return float(value)
    if isinstance(value, bool) or not isinstance(value, int):
        raise TypeError(f"score_cutoff of a distance must be an int or None, not {type(value).__name__}")
    if value < 0:
        raise ValueError(f"score_cutoff of a distance must be at least 0, not {value}")
    return value


# --------------------------------------------------------------------------
# Candidates as given: values, labels, missing values


def series_type(module: str, attr: str = "Series") -> Any:
    """The Series class of `module` when it is already imported, else None:
    an object of a library that was never imported cannot be its Series."""
    mod = sys.modules.get(module)
    found = getattr(mod, attr, None) if mod is not None else None
    return found if isinstance(found, type) else None


def missing_markers() -> tuple[object, ...]:
    """The missing-value singletons of pandas, when it is imported (None and
    float NaN are recognised natively)."""
    pd = sys.modules.get("pandas")
    if pd is None:
        return ()
    return tuple(m for m in (getattr(pd, "NA", None), getattr(pd, "NaT", None)) if m is not None)


def is_missing(value: object) -> bool:
    if value is None:
        return True
    if isinstance(value, float):
        return math.isnan(value)
    return any(value is m for m in missing_markers())


class Column:
    """A sequence of candidates as a list of values, with the labels of a
    pandas Series, under the name errors use."""

    __slots__ = ("values", "labels", "name", "original")

    def __init__(self, items: Any, name: str) -> None:
        self.name = name
        self.labels: Any = None
        self.original: Any = items
        pandas_series = series_type("pandas")
        if pandas_series is not None and isinstance(items, pandas_series):
            self.values: list[Any] = items.tolist()
            self.labels = items.index
        elif isinstance(items, list):
            self.values = items
        elif isinstance(items, (str, bytes, bytearray)):
            raise TypeError(f"{name} must be a sequence of str, not a single {type(items).__name__}")
        else:
            try:
                self.values = list(items)
            except TypeError:
                raise TypeError(f"{name} must be an iterable of str, not {type(items).__name__}") from None
            if not isinstance(items, Sequence):
                self.original = self.values

    def __len__(self) -> int:
        return len(self.values)

    def describe(self, position: int) -> str:
        if self.labels is None:
            return f"{self.name}[{position}]"
        return f"{self.name}[{position}] (label {self.labels[position]!r})"

    def item(self, position: int) -> Any:
        return self.original[position] if self.labels is None else self.values[position]

    def label(self, position: int) -> Any:
        return position if self.labels is None else self.labels[position]


def process(column: Column, processor: Processor | Sequence[Processor] | None) -> list[Any]:
    """The values after `processor` (one callable or several, applied in
    order); missing values pass untouched."""
    if processor is None:
        return column.values
    steps = [processor] if callable(processor) else list(processor)
    for step in steps:
        if not callable(step):
            raise TypeError(f"processor must be a callable or a sequence of callables, not {type(step).__name__}")
    values = column.values
    if steps and steps[0] is _default_process():
        # The ready processor goes over the whole column natively.
        done = _engine.default_process_list(values, missing_markers())
        if isinstance(done, int):
            raise_not_str(column, done)
        values, steps = done, steps[1:]
        if not steps:
            return values
    out: list[Any] = []
    for i, value in enumerate(values):
        if not isinstance(value, str):
            if not is_missing(value):
                raise_not_str(column, i)
            out.append(value)
            continue
        for step in steps:
            value = step(value)
        if not isinstance(value, str):
            raise TypeError(f"processor returned {type(value).__name__}, not a str, for {column.describe(i)}")
        out.append(value)
    return out


def _default_process() -> Processor:
    from ._process import default_process

    return default_process


def raise_not_str(column: Column, position: int) -> NoReturn:
    kind = type(column.values[position]).__name__
    raise TypeError(f"{column.describe(position)} is not a str: '{kind}' object is not an instance of 'str'")


def prepare(column: Column, processor: Processor | Sequence[Processor] | None, lower: bool, *,
            borrow: bool = False) -> Any:
    """Native texts of the column after `processor` (missing values left
    out), or the error naming the first item that is neither a str nor
    missing. The ready default_process alone runs as the texts are copied,
    making no str objects."""
    fused = processor is _default_process() and not lower
    values = column.values if fused else process(column, processor)
    try:
        texts = _engine.prepare(values, lower, missing_markers(), borrow, fused)
    except UnicodeEncodeError as e:
        e.add_note(f"in {column.name}")
        raise
    if isinstance(texts, int):
        raise_not_str(column, texts)
    return texts


# --------------------------------------------------------------------------
# Running native work


def run_chunks(work: Callable[[T], Any], chunks: Iterable[T], workers: int,
               progress: Callable[[T], None] | None = None) -> Iterator[Any]:
    """work(chunk) for every chunk, results in chunk order. With several
    workers, the chunks run on threads (the native calls release the
    interpreter); the caller's thread only waits, so Ctrl-C reaches it
    within a chunk's time: then no further chunk starts."""
    if workers == 1:
        for chunk in chunks:
            result = work(chunk)
            if progress is not None:
                progress(chunk)
            yield result
        return
    pending = iter(chunks)
    with ThreadPoolExecutor(workers, thread_name_prefix="morvane_lookup") as pool:
        running: list[tuple[T, Future[Any]]] = []
        try:
            while True:
                while len(running) < 2 * workers:
                    upcoming = next(pending, None)
                    if upcoming is None:
                        break
                    running.append((upcoming, pool.submit(work, upcoming)))
                if not running:
                    return
                chunk, first = running[0]
                while not first.done():
                    wait([first], timeout=0.1, return_when=FIRST_COMPLETED)
                running.pop(0)
                result = first.result()
                if progress is not None:
                    progress(chunk)
                yield result
        except BaseException:
            for _, f in running:
                f.cancel()
            raise


def spans(n: int, parts: int) -> list[tuple[int, int]]:
    """`parts` near-equal ranges covering 0 to n (fewer when n is small)."""
    parts = max(1, min(parts, n))
    return [(n * i // parts, n * (i + 1) // parts) for i in range(parts)]
