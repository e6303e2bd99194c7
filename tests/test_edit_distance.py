"""Levenshtein and restricted Damerau-Levenshtein for one pair, from Python."""

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import morvane
from reference.edit_distance import levenshtein, osa

MEASURES = [(morvane.levenshtein_bp, levenshtein), (morvane.damerau_bp, osa)]
IDS = ["levenshtein", "damerau"]


@pytest.mark.parametrize(
    "a, b, lev, dam",
    [
        ("kitten", "sitting", 3, 3),
        ("flaw", "lawn", 2, 2),
        ("abc", "abc", 0, 0),
        ("", "abc", 3, 3),
        ("abc", "", 3, 3),
        ("", "", 0, 0),
        ("ba", "abaaba", 4, 4),
        ("abaaba", "ba", 4, 4),
        ("café", "cafe", 1, 1),
        ("日本語", "日本", 1, 1),
        ("ca", "abc", 3, 3),
        ("ab", "ba", 2, 1),
        ("abcd", "badc", 3, 2),
        ("abc", "bca", 2, 2),
        ("abcdef", "abcdfe", 2, 1),
        ("sunday", "saturday", 3, 3),
        ("abc", "abç", 1, 1),
        ("a" * 100, "a" * 99 + "b", 1, 1),
        ("ab" * 130, ("ab" * 130)[1:], 1, 1),
        ("x" * 64 + "y", "x" * 64, 1, 1),
        ("\U0001f600é", "é\U0001f600", 2, 1),
    ],
)
def test_known_distances(a, b, lev, dam):
    assert morvane.levenshtein_bp(a, b) == lev
    assert morvane.damerau_bp(a, b) == dam


def test_transposition_across_the_word_boundary():
    a = "".join(chr(0x41 + i % 50) for i in range(70))
    b = a[:63] + a[64] + a[63] + a[65:]
    assert morvane.damerau_bp(a, b) == 1
    assert morvane.levenshtein_bp(a, b) == 2


@pytest.mark.parametrize("fn, ref", MEASURES, ids=IDS)
@pytest.mark.parametrize(
    "a, b, folded",
    [
        ("ABC", "abc", 0),
        ("STRASSE", "straße", 2),
        ("ΟΔΟΣ", "οδος", 0),  # final sigma
        ("ΟΔΟΣ", "οδοσ", 1),
        ("\u212a", "k", 0),  # Kelvin sign folds to ASCII: the pair becomes ASCII
        ("İ", "i̇", 0),  # U+0130 lowercases to two code points
    ],
)
def test_folding(fn, ref, a, b, folded):
    assert fn(a, b, case_insensitive=True) == folded
    assert fn(a, b, case_insensitive=False) == fn(a, b) == ref(a, b)


@pytest.mark.parametrize("fn, ref", MEASURES, ids=IDS)
def test_limit(fn, ref):
    def error(*args, **kwargs):
        with pytest.raises(ValueError) as info:
            fn(*args, **kwargs)
        return info.value.args[0]

    assert error("abc", "", max_len=0) == 'InputTooLong { which: "str_1", len: 3, limit: 0 }'
    assert fn("", "", max_len=0) == 0
    assert fn("abc", "abd", max_len=3) == 1
    assert error("abc", "abcd", max_len=3) == 'InputTooLong { which: "str_2", len: 4, limit: 3 }'
    assert error("abcd", "abcde", max_len=3) == 'InputTooLong { which: "str_1", len: 4, limit: 3 }'
    # Lengths are code points, after folding.
    assert fn("日本語", "日本", max_len=3) == 1
    assert error("İ", "", max_len=1, case_insensitive=True) == 'InputTooLong { which: "str_1", len: 2, limit: 1 }'
    assert fn("İ", "", max_len=1) == 1
    # The limit is checked before the cut-off.
    assert error("ab", "a", max_len=1, score_cutoff=0) == 'InputTooLong { which: "str_1", len: 2, limit: 1 }'


@pytest.mark.parametrize("fn, ref", MEASURES, ids=IDS)
def test_cutoff(fn, ref):
    assert fn("kitten", "sitting", score_cutoff=2) == 3
    assert fn("kitten", "sitting", score_cutoff=3) == 3
    assert fn("kitten", "sitting", score_cutoff=0) == 1
    assert fn("ab", "abcdef", score_cutoff=3) == 4
    assert fn("", "abc", score_cutoff=1) == 2
    assert fn("abc", "abc", score_cutoff=0) == 0
    assert fn("sunday", "saturday", score_cutoff=1) == 2
    assert fn("a", "b", score_cutoff=2**64 - 1) == 1


TRICKY = "aAbBσςΣΣΣ' İiıéÉß\u0307\u212akK日本\U0001f600"


@pytest.mark.parametrize("fn, ref", MEASURES, ids=IDS)
@settings(max_examples=400, deadline=None)
@given(
    a=st.text(alphabet=TRICKY, max_size=80) | st.text(max_size=20),
    b=st.text(alphabet=TRICKY, max_size=80) | st.text(max_size=20),
    case_insensitive=st.sampled_from([None, False, True]),
    cutoff=st.none() | st.integers(0, 90),
)
def test_against_reference(fn, ref, a, b, case_insensitive, cutoff):
    fa, fb = (a.lower(), b.lower()) if case_insensitive else (a, b)
    d = ref(fa, fb)
    expected = d if cutoff is None or d <= cutoff else cutoff + 1
    assert fn(a, b, case_insensitive=case_insensitive, score_cutoff=cutoff) == expected


@pytest.mark.parametrize("fn, ref", MEASURES, ids=IDS)
@pytest.mark.parametrize("m", [63, 64, 65, 66, 130, 300])
def test_long_patterns_against_reference(fn, ref, m):
    import random

    rng = random.Random(m)
    for alphabet in ("ab", "abc", "aé", "a日\U0001f600"):
        for _ in range(5):
            a = "".join(rng.choice(alphabet) for _ in range(m))
            b = "".join(rng.choice(alphabet) for _ in range(rng.randrange(m + 10)))
            assert fn(a, b) == ref(a, b)


@pytest.mark.parametrize("fn", [morvane.levenshtein_bp, morvane.damerau_bp], ids=IDS)
@pytest.mark.parametrize("n", [600, 2000, 20000])
def test_long_near_copies(fn, n):
    # Letters the texts do not hold, put in far apart: each costs exactly one
    # edit, whichever kernel (full, banded, wide) the lengths choose.
    import random

    rng = random.Random(n)
    a = "".join(rng.choice("abcdefgh\u00e9") for _ in range(n))
    b = list(a)
    for at in rng.sample(range(9, n, 9), 7):
        b[at] = "\u65e5"
    b = "".join(b)
    assert fn(a, b) == 7 and fn(b, a) == 7
    # Each of the seven still costs an edit besides the difference in length.
    assert fn(a, b + "xy") == 9 and fn(a, b[5:]) == 12
