"""Jaro-Winkler similarity for one pair, from Python."""

import math

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import morvane
from reference.jaro_winkler import jaro_winkler

jw = morvane.jaro_winkler_similarity


@pytest.mark.parametrize(
    "a, b, p, expected",
    [
        ("MARTHA", "MARHTA", None, 0.9611111111111111),
        ("MARTHA", "MARHTA", 0.25, 0.9861111111111112),
        ("MARTHA", "MARHTA", 0.0, 0.9444444444444445),
        ("MARTHA", "MARHTA", -0.0, 0.9444444444444445),
        ("DWAYNE", "DUANE", None, 0.8400000000000001),
        ("DIXON", "DICKSONX", None, 0.8133333333333332),
        ("SHACKLE", "HACKLES", None, 0.9047619047619048),
        ("abcefd", "abcdef", None, 0.9611111111111111),
        ("abc", "bac", None, 0.5555555555555555),
        ("ab", "ba", None, 0.0),
        ("abcdefghijklmnopq", "bacdefghijklmnopq", None, 0.9803921568627452),
        ("", "", None, 1.0),
        ("", "a", None, 0.0),
        ("a", "", None, 0.0),
        ("abcd", "abcd", 0.25, 1.0),
        ("日本語", "日本", None, 0.9111111111111111),
    ],
)
def test_known_values(a, b, p, expected):
    assert jw(a, b, p=p) == expected


@pytest.mark.parametrize("p", [0.0, -0.0, 0.1, 0.25, 0, 0.2])
def test_accepted_prefix_scales(p):
    assert jw("abcdef", "abcdef", p=p) == 1.0
    assert jw("MARTHA", "MARHTA", p=p) == jaro_winkler("MARTHA", "MARHTA", float(p))


@pytest.mark.parametrize(
    "p, text",
    [
        (0.2500000000000001, "0.2500000000000001"),
        (-1e-300, "-1e-300"),
        (float("nan"), "NaN"),
        (float("inf"), "inf"),
        (1, "1.0"),
        (0.3, "0.3"),
    ],
)
def test_rejected_prefix_scales(p, text):
    with pytest.raises(ValueError) as info:
        jw("a", "b", p=p)
    assert info.value.args == (f"InvalidPrefixScale {{ value: {text} }}",)
    # The scale is checked before anything else, even an over-long text.
    with pytest.raises(ValueError, match="InvalidPrefixScale"):
        jw("abcd", "abc", p=p, max_len=1)


def test_limit():
    with pytest.raises(ValueError) as info:
        jw("abcd", "abc", max_len=3)
    assert info.value.args == ('InputTooLong { which: "str_1", len: 4, limit: 3 }',)
    with pytest.raises(ValueError) as info:
        jw("abc", "abcd", max_len=3)
    assert info.value.args == ('InputTooLong { which: "str_2", len: 4, limit: 3 }',)
    assert jw("abc", "abc", max_len=3) == 1.0
    with pytest.raises(ValueError, match="len: 2, limit: 1"):
        jw("İ", "i", max_len=1, case_insensitive=True)


def test_cutoff():
    s = jw("MARTHA", "MARHTA")
    assert jw("MARTHA", "MARHTA", score_cutoff=s) == s
    assert jw("MARTHA", "MARHTA", score_cutoff=math.nextafter(s, 2.0)) == 0.0
    assert jw("MARTHA", "MARHTA", score_cutoff=float("nan")) == s
    assert jw("MARTHA", "MARHTA", score_cutoff=0) == s
    # Empty texts give their result whatever the cut-off.
    assert jw("", "", score_cutoff=2.0) == 1.0
    assert jw("a", "", score_cutoff=-1.0) == 0.0


def test_folding():
    assert jw("ABC", "abc") == 0.0
    assert jw("ABC", "abc", case_insensitive=True) == 1.0
    assert jw("\u212a", "k", case_insensitive=True) == 1.0
    assert jw("ΟΔΟΣ", "οδος", case_insensitive=True) == 1.0


TEXT = st.text(alphabet="abcdeAÉé日Σσς\u212a", max_size=70) | st.text(max_size=12)


@settings(max_examples=500, deadline=None)
@given(
    a=TEXT,
    b=TEXT,
    p=st.sampled_from([None, 0.0, 0.1, 0.17, 0.25]),
    case_insensitive=st.sampled_from([None, False, True]),
    cutoff=st.none() | st.floats(0.0, 1.0),
)
def test_against_reference(a, b, p, case_insensitive, cutoff):
    fa, fb = (a.lower(), b.lower()) if case_insensitive else (a, b)
    expected = jaro_winkler(fa, fb, 0.1 if p is None else p, cutoff)
    assert jw(a, b, p=p, case_insensitive=case_insensitive, score_cutoff=cutoff) == expected


@pytest.mark.parametrize("n", [15, 16, 17, 63, 64, 65, 100])
def test_every_strategy_size_against_reference(n):
    import random

    rng = random.Random(n)
    for alphabet in ("ab", "abcd", "abcdefgh"):
        for _ in range(30):
            a = "".join(rng.choice(alphabet) for _ in range(n))
            b = "".join(rng.choice(alphabet) for _ in range(rng.randrange(1, n + 1)))
            assert jw(a, b) == jaro_winkler(a, b)
            assert jw(b, a) == jaro_winkler(b, a)
