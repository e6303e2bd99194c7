"""Texts of every script and storage width through every path, against the
textbook definitions; and texts come back from every call exactly as large
as they went in."""

import sys

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import morvane
from reference.edit_distance import levenshtein, osa
from reference.jaro_winkler import jaro_winkler

# Letters of the interpreter's three storage widths, letters whose lowercase
# form is another width or depends on context (KELVIN SIGN, U+0130, capital
# sigma), and repeats, so that affixes, transpositions and matches abound.
LETTERS = "abAB\u00e9\u00c9\u00df\u0436\u0416\u03c3\u03c2\u03a3\u65e5\u672c\U0001f600\U00010400\U00010428\u212ak\u0130i"
texts = st.text(alphabet=st.sampled_from(LETTERS), max_size=80)
short_texts = st.text(alphabet=st.sampled_from(LETTERS), max_size=12)


def expected(measure, query, candidate, fold):
    if fold:
        query, candidate = query.lower(), candidate.lower()
    return {"levenshtein": levenshtein, "damerau": osa, "jaro_winkler": jaro_winkler}[measure](query, candidate)


BATCH = {"levenshtein": morvane.levenshtein_batch, "damerau": morvane.damerau_batch,
         "jaro_winkler": morvane.jaro_winkler_batch}
PAIR = {"levenshtein": morvane.levenshtein_bp, "damerau": morvane.damerau_bp,
        "jaro_winkler": morvane.jaro_winkler_similarity}


@pytest.mark.parametrize("measure", list(BATCH))
@settings(max_examples=300, deadline=None)
@given(query=texts, candidates=st.lists(st.one_of(texts, short_texts), max_size=12), fold=st.booleans(),
       affix=short_texts)
def test_batches_and_pairs_equal_the_definitions(measure, query, candidates, fold, affix):
    # Candidates sharing the query's prefix or suffix, or being a copy of it.
    candidates += [query, affix + query, query + affix, query[: len(query) // 2] + affix]
    got = BATCH[measure](query, candidates, case_insensitive=fold)
    for candidate, score in zip(candidates, got):
        if not query and measure != "jaro_winkler":
            assert score == len(candidate)  # measured unfolded
            continue
        want = expected(measure, query, candidate, fold)
        assert score == want, (query, candidate)
        assert PAIR[measure](query, candidate, case_insensitive=fold) == want, (query, candidate)


def fresh(text: str) -> str:
    # A new str object, with none of the state an earlier call may have left.
    return text.encode("utf-32-le").decode("utf-32-le")


SAMPLES = ["plain ascii", "caf\u00e9", "\u041c\u043e\u0441\u043a\u0432\u0430", "\u0391\u0398\u0397\u039d\u0391\u03a3",
           "\u6771\u4eac\u90fd", "\U0001f600 smile", "x" * 100 + "\u00e9", "\u0436" * 300]


@pytest.mark.parametrize("call", [
    lambda a, b: morvane.levenshtein_bp(a, b, case_insensitive=True),
    lambda a, b: morvane.damerau_bp(a, b, max_len=1000),
    lambda a, b: morvane.jaro_winkler_similarity(a, b, case_insensitive=True),
    lambda a, b: morvane.levenshtein_batch(a, [b, a], case_insensitive=True),
    lambda a, b: morvane.damerau_batch(a, [b] * 10000),
    lambda a, b: morvane.jaro_winkler_batch(a, (b, a)),
], ids=["levenshtein_bp", "damerau_bp", "jaro_winkler_similarity", "levenshtein_batch", "damerau_batch",
        "jaro_winkler_batch"])
def test_calls_leave_texts_as_large_as_they_were(call):
    for a in SAMPLES:
        for b in SAMPLES:
            a, b = fresh(a), fresh(b)
            sizes = sys.getsizeof(a), sys.getsizeof(b)
            call(a, b)
            assert (sys.getsizeof(a), sys.getsizeof(b)) == sizes, (a[:10], b[:10])
