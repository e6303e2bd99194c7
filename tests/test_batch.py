"""The batch functions against their pair functions, and their own edge cases."""

import random

import pytest

import morvane

BATCHES = [
    (morvane.levenshtein_batch, morvane.levenshtein_bp),
    (morvane.damerau_batch, morvane.damerau_bp),
    (morvane.jaro_winkler_batch, morvane.jaro_winkler_similarity),
]
IDS = ["levenshtein", "damerau", "jaro_winkler"]

ALPHABETS = ["ab", "abcAB", "abcdefghijklmnopqrstuvwxyz", "aéÉß", "a日本\U0001f600", "kK\u212aİi\u0307ΣσςΑ"]


def random_texts(rng, count, max_len, alphabets=ALPHABETS):
    out = []
    for _ in range(count):
        alphabet = rng.choice(alphabets)
        out.append("".join(rng.choice(alphabet) for _ in range(rng.randrange(max_len + 1))))
    return out


@pytest.mark.parametrize("batch, pair", BATCHES, ids=IDS)
@pytest.mark.parametrize("query_len", [0, 1, 2, 16, 17, 63, 64, 65, 100])
@pytest.mark.parametrize("case_insensitive", [None, False, True])
def test_batch_equals_pair(batch, pair, query_len, case_insensitive):
    rng = random.Random(query_len * 10 + (case_insensitive is True))
    # Many short candidates that only lowercase in full, enough to fill groups.
    candidates = random_texts(rng, 300, 80) + random_texts(rng, 300, 12, ["ΣσΑ i", "İiΣ"]) + ["", "a", "A", "é", "İ"]
    for alphabet in ALPHABETS:
        query = "".join(rng.choice(alphabet) for _ in range(query_len))
        got = batch(query, candidates, case_insensitive=case_insensitive)
        assert isinstance(got, list) and len(got) == len(candidates)
        for candidate, score in zip(candidates, got):
            if query == "" and batch is not morvane.jaro_winkler_batch:
                expected = len(candidate)  # measured unfolded
            else:
                expected = pair(query, candidate, case_insensitive=case_insensitive)
            assert score == expected, (query, candidate)
            assert type(score) is type(expected)


@pytest.mark.parametrize("p", [None, 0.0, 0.25, 0.17])
def test_jaro_winkler_batch_prefix_scale(p):
    rng = random.Random(7)
    candidates = random_texts(rng, 200, 40)
    for query in ("MARTHA", "abcdefghijklmnopq", "日本語テキスト"):
        expected = [morvane.jaro_winkler_similarity(query, c, p=p) for c in candidates]
        assert morvane.jaro_winkler_batch(query, candidates, p=p) == expected


def test_empty_query_counts_unfolded_code_points():
    for batch in (morvane.levenshtein_batch, morvane.damerau_batch):
        assert batch("", ["", "abc", "日本", "héllo"]) == [0, 3, 2, 5]
        assert batch("", ["İ"], case_insensitive=True) == [1]
    # The pair functions measure the folded text.
    assert morvane.levenshtein_bp("", "İ", case_insensitive=True) == 2
    assert morvane.damerau_bp("", "İ", case_insensitive=True) == 2
    assert morvane.jaro_winkler_batch("", ["", "a", "İ"], case_insensitive=True) == [1.0, 0.0, 0.0]


@pytest.mark.parametrize(
    "batch, query, candidates, plain, folded",
    [
        (morvane.levenshtein_batch, "kitten", ["sitting", "", "KITTEN", "kitten"], [3, 6, 6, 0], [3, 6, 0, 0]),
        (morvane.levenshtein_batch, "ba", ["abaaba"], [4], [4]),
        (morvane.levenshtein_batch, "abc", ["abç"], [1], [1]),
        (morvane.damerau_batch, "abc", ["abc", "acb", "bca", "ca", "", "xyz"], [0, 1, 2, 3, 3, 3], [0, 1, 2, 3, 3, 3]),
        (morvane.damerau_batch, "ABC", ["abc", "AbC"], [3, 1], [0, 0]),
        (morvane.damerau_batch, "abc", ["abç"], [1], [1]),
        (morvane.jaro_winkler_batch, "MARTHA", ["MARHTA", "marhta", "MARTHA"],
         [0.9611111111111111, 0.0, 1.0], [0.9611111111111111, 0.9611111111111111, 1.0]),
        (morvane.jaro_winkler_batch, "k", ["\u212a"], [0.0], [1.0]),
    ],
)
def test_known_batch_results(batch, query, candidates, plain, folded):
    assert batch(query, candidates) == plain
    assert batch(query, candidates, case_insensitive=True) == folded
    assert batch(query, tuple(candidates)) == plain


@pytest.mark.parametrize("batch, pair", BATCHES, ids=IDS)
def test_query_length_boundary(batch, pair):
    rng = random.Random(64)
    candidates = random_texts(rng, 100, 140, ["ab", "abc"])
    for n in (64, 65):
        query = "".join(rng.choice("abc") for _ in range(n))
        assert batch(query, candidates) == [pair(query, c) for c in candidates]


def test_invalid_prefix_scale_fails_the_whole_batch():
    for candidates in ([], ["a", "b"]):
        with pytest.raises(ValueError) as info:
            morvane.jaro_winkler_batch("a", candidates, p=0.3)
        assert info.value.args == ("InvalidPrefixScale { value: 0.3 }",)


@pytest.mark.parametrize("batch, pair", BATCHES, ids=IDS)
def test_detached_and_attached_batches_agree(batch, pair):
    rng = random.Random(9999)
    words = random_texts(rng, 10000, 12, ["abcdefg", "abcdé"])
    query = "abcdef"
    attached = batch(query, words[:9999], case_insensitive=True)
    detached = batch(query, words, case_insensitive=True)
    assert detached[:9999] == attached
    assert detached[9999] == pair(query, words[9999], case_insensitive=True)


@pytest.mark.parametrize("batch, pair", BATCHES, ids=IDS)
def test_repeated_candidates(batch, pair):
    word = "kitten"
    assert batch("sitting", [word] * 5) == [pair("sitting", word)] * 5
    assert batch("sitting", []) == []
