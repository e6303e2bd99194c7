"""Fuzzy lookup, score matrices and joins over morvane's measures, on every
core of one machine or over the partitions of Dask Series.

- `extract(query, candidates)` / `extract_one`: the best candidates of one
  query, as `(candidate, score, index)` tuples, best first.
- `Index(candidates)`: candidates prepared once (copied into native
  storage, ordered by length) for many lookups, matrices and joins.
- `cdist(queries, choices)`: every score, as a NumPy array.
- `join(left, right=None, score_cutoff=...)`: every pair within a
  threshold, without scoring every pair.

Measures: "levenshtein", "damerau" (optimal string alignment) and
"jaro_winkler" (prefix scale `p`, default 0.1). Every score equals what
`morvane.levenshtein_batch`, `damerau_batch` or `jaro_winkler_batch`
gives for that query and candidate, with `case_insensitive` as there.
Distances rank smallest first, similarities largest first; equal scores
keep the candidates' order. `normalized=True` divides distances by the
longer (processed, folded) length, so that every measure has a 0-1 scale.
Missing values (None, NaN, pandas.NA, pandas.NaT) are never matched and
keep the positions of the other items.

Every computation runs with the interpreter released; `workers` threads
(-1: every core the process may use) share it.
"""

from __future__ import annotations

from ._extract import extract, extract_one
from ._index import Index, cdist
from ._join import JoinResult, join
from ._options import MEASURES, MeasureName, Processor
from ._process import default_process, sort_tokens, strip_accents

__version__ = "0.2.0"

__all__ = [
    "MEASURES",
    "Index",
    "JoinResult",
    "MeasureName",
    "Processor",
    "cdist",
    "default_process",
    "extract",
    "extract_one",
    "join",
    "sort_tokens",
    "strip_accents",
]
