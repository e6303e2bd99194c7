"""Correct use of the morvane API, as a user would write it: mypy --strict
must report nothing here (tools/check_typing.sh). Not collected by pytest."""

from collections.abc import Sequence
from concurrent.futures import ThreadPoolExecutor

import morvane


def best_match(query: str, names: Sequence[str], cutoff: float = 0.85) -> tuple[str, float] | None:
    scores: list[float] = morvane.jaro_winkler_batch(query, names, p=0.1, case_insensitive=True)
    best = max(range(len(names)), key=scores.__getitem__, default=None)
    if best is None or scores[best] < cutoff:
        return None
    return names[best], scores[best]


def near_duplicates(names: list[str], max_edits: int) -> list[tuple[str, str]]:
    pairs: list[tuple[str, str]] = []
    for i, name in enumerate(names):
        distances = morvane.damerau_batch(name, names[i + 1 :], case_insensitive=None)
        pairs.extend((name, other) for other, d in zip(names[i + 1 :], distances) if d <= max_edits)
    return pairs


def within(a: str, b: str, k: int) -> bool:
    # Above the cut-off the distance comes back as k + 1.
    return morvane.levenshtein_bp(a, b, None, True, k) <= k


def bounded(a: str, b: str) -> int | None:
    try:
        return morvane.levenshtein_bp(str_1=a, str_2=b, max_len=64, score_cutoff=None)
    except ValueError as error:  # InputTooLong { ... }
        print(error, getattr(error, "__notes__", []))
        return None


def in_threads(queries: list[str], candidates: tuple[str, ...]) -> list[list[int]]:
    with ThreadPoolExecutor(max_workers=4) as pool:
        return list(pool.map(lambda q: morvane.levenshtein_batch(q, candidates), queries))


similarity: float = morvane.jaro_winkler_similarity("martha", "marhta", p=None, max_len=None,
                                                     case_insensitive=False, score_cutoff=0.5)
osa: int = morvane.damerau_bp("abcd", "acbd", max_len=10, case_insensitive=True, score_cutoff=2)
total: int = sum(morvane.levenshtein_batch("kitten", ["sitting", "mitten"]))
probes: list[int] = [morvane._ingest_owned(["a"]), morvane._ingest_borrow(("a",)),
                     morvane._ingest_borrow_and_deref(["a"])]
print(best_match("jon", ["john", "joan"]), near_duplicates(["ab", "ba"], 1), within("a", "b", 1),
      bounded("a", "b"), in_threads(["a"], ("b",)), similarity, osa, total, probes, morvane.__all__)


def lookups(names: list[str], typos: Sequence[str]) -> None:
    import numpy as np

    import morvane_lookup as ml

    index: ml.Index[str] = ml.Index(names, case_insensitive=True, processor=ml.default_process)
    best = index.extract_one("jon smith", measure="jaro_winkler", score_cutoff=0.9)
    if best is not None:
        name, score, position = best
        print(name.upper(), score, position)
    matrix: np.ndarray = ml.cdist(typos, index, score_cutoff=2, dtype=np.uint8, workers=-1)
    pairs = ml.join(names, measure="damerau", score_cutoff=2, progress=True)
    print(matrix.shape, pairs.left.size, ml.extract("x", names, limit=None, normalized=True, score_cutoff=0.2))
