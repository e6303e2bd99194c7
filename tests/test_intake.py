"""Taking query and candidates in: the probes, every failure and hostile sequences."""

import random
import sys

import pytest

import morvane

PROBES = [morvane._ingest_owned, morvane._ingest_borrow, morvane._ingest_borrow_and_deref]
TAKERS = PROBES + [
    lambda c: morvane.levenshtein_batch("ab", c),
    lambda c: morvane.damerau_batch("ab", c),
    lambda c: morvane.jaro_winkler_batch("ab", c),
]


@pytest.mark.parametrize(
    "candidates, counts",
    [
        ([], (0, 0, 0)),
        (["a", "bb", ""], (3, 3, 3)),
        (["é", "日本"], (2, 2, 8)),
        (("é", "日本", "\U0001f600"), (3, 3, 12)),
        (["x"] * 7, (7, 7, 7)),
    ],
)
def test_probe_counts(candidates, counts):
    assert tuple(probe(candidates) for probe in PROBES) == counts


class Seq:
    """A sequence that is not a list, with a configurable __len__."""

    def __init__(self, items, length=None):
        self.items = list(items)
        self.length = length

    def __len__(self):
        if isinstance(self.length, BaseException):
            raise self.length
        return len(self.items) if self.length is None else self.length

    def __getitem__(self, i):
        return self.items[i]


class FailingIter(Seq):
    def __iter__(self):
        yield self.items[0]
        raise KeyError("iteration failed")


def gen():
    yield "a"


@pytest.mark.parametrize("take", TAKERS)
@pytest.mark.parametrize(
    "candidates, kind, text",
    [
        ("abc", TypeError, "Can't extract `str` to `Vec`"),
        ({"a"}, TypeError, "'set' object is not an instance of 'Sequence'"),
        ({"a": 1}, TypeError, "'dict' object is not an instance of 'Sequence'"),
        (gen(), TypeError, "'generator' object is not an instance of 'Sequence'"),
        (5, TypeError, "'int' object is not an instance of 'Sequence'"),
        (None, TypeError, "'None' is not an instance of 'Sequence'"),
        (b"ab", TypeError, "'int' object is not an instance of 'str'"),
        (["a", None, "b"], TypeError, "'None' is not an instance of 'str'"),
        (["a", 1], TypeError, "'int' object is not an instance of 'str'"),
        (["a", "\udc80"], UnicodeEncodeError, None),
        (FailingIter(["a", "b"]), KeyError, "'iteration failed'"),
    ],
)
def test_candidate_failures(take, candidates, kind, text):
    with pytest.raises(BaseException) as info:
        take(candidates)
    assert info.type is kind
    if text is not None:
        assert str(info.value) == text
    assert info.value.__notes__ == ["while processing 'candidates'"]


@pytest.mark.parametrize(
    "call, text",
    [
        (lambda: morvane.levenshtein_batch(1, []), "'int' object is not an instance of 'str'"),
        (lambda: morvane.damerau_batch(None, ["a"]), "'None' is not an instance of 'str'"),
        (lambda: morvane.jaro_winkler_batch(b"a", "abc"), "'bytes' object is not an instance of 'str'"),
    ],
)
def test_query_is_converted_first(call, text):
    with pytest.raises(TypeError) as info:
        call()
    assert str(info.value) == text
    assert info.value.__notes__ == ["while processing 'query'"]


def test_query_surrogate():
    with pytest.raises(UnicodeEncodeError) as info:
        morvane.levenshtein_batch("\udc80", [])
    assert info.value.__notes__ == ["while processing 'query'"]


def test_options_after_candidates():
    with pytest.raises(TypeError) as info:
        morvane.jaro_winkler_batch("a", ["b"], p="x", case_insensitive=1)
    assert info.value.__notes__ == ["while processing 'p'"]
    with pytest.raises(TypeError) as info:
        morvane.levenshtein_batch("a", ["b"], case_insensitive=1)
    assert info.value.__notes__ == ["while processing 'case_insensitive'"]


@pytest.mark.parametrize("take", TAKERS)
@pytest.mark.parametrize(
    "length",
    [
        RuntimeError("no length"),
        pytest.param(2**40, marks=pytest.mark.refused_allocation),
        pytest.param(10**9, marks=pytest.mark.refused_allocation),
        sys.maxsize,
        0,
        1,
    ],
)
def test_the_reported_length_is_only_a_hint(take, length):
    items = ["ab", "ba", "abc", "日本"]
    assert take(Seq(items, length)) == take(items)


def test_sequence_without_iter_and_custom_subclasses():
    class Text(str):
        pass

    class Items(list):
        pass

    items = [Text("kitten"), "sitting"]
    assert morvane.levenshtein_batch(Text("sitting"), Items(items)) == [3, 0]
    assert morvane.levenshtein_batch("sitting", Seq(items)) == [3, 0]
    assert morvane._ingest_borrow_and_deref(Seq(items)) == 13


def test_same_object_many_times():
    s = "".join(["shared", "text"])  # a fresh object
    before = sys.getrefcount(s)
    assert morvane.levenshtein_batch("sharedtext", [s] * 1000) == [0] * 1000
    assert morvane._ingest_owned([s] * 3) == 3
    assert morvane._ingest_borrow_and_deref([s] * 3) == 30
    assert sys.getrefcount(s) == before


@pytest.mark.parametrize("wide", ["\u0436", "\U0001f600"], ids=["two-byte", "four-byte"])
def test_a_surrogate_anywhere_raises_the_interpreters_error(wide):
    # Every position of texts around the lengths of the vector-wise scan.
    for length in range(1, 40):
        for at in range(length):
            text = (wide * length)[:at] + "\udc80" + (wide * length)[at + 1:]
            with pytest.raises(UnicodeEncodeError) as info:
                morvane.levenshtein_bp("a", text)
            assert info.value.__notes__ == ["while processing 'str_2'"]
            with pytest.raises(UnicodeEncodeError):
                morvane.jaro_winkler_batch("a", ["b", text])
        assert morvane.levenshtein_bp("a", wide * length) == length


LONE = "ab\udc80c"


@pytest.mark.parametrize(
    "call",
    [
        lambda: morvane.levenshtein_batch("ab", ["x", LONE, 5]),  # before a later bad item
        lambda: morvane.damerau_batch("ab", ["x", LONE], case_insensitive=1),  # before a bad option
        lambda: morvane.jaro_winkler_batch("ab", ["x", LONE], p="x"),
        lambda: morvane.jaro_winkler_batch("ab", ["x", LONE], p=0.3),  # before a bad prefix scale
        lambda: morvane.levenshtein_batch("", ["x", LONE]),  # the empty query reads no code point
        lambda: morvane.jaro_winkler_batch("", ["\U0001f600", "\U0001f600\udc80"]),
        lambda: morvane.damerau_batch("ab", ["x"] * 10000 + [LONE], case_insensitive=True),  # detached
        lambda: morvane.jaro_winkler_batch("ab", ["y" * 200, LONE * 50], case_insensitive=True),
    ],
)
def test_a_candidates_surrogate_is_the_error_whatever_comes_after_it(call):
    with pytest.raises(UnicodeEncodeError) as info:
        call()
    assert info.value.__notes__ == ["while processing 'candidates'"]


@pytest.mark.parametrize("fold", [False, True], ids=["plain", "folding"])
@pytest.mark.parametrize("batch", [morvane.levenshtein_batch, morvane.damerau_batch, morvane.jaro_winkler_batch],
                         ids=["levenshtein", "damerau", "jaro_winkler"])
def test_the_first_candidate_with_a_surrogate_is_the_error(batch, fold):
    # Candidates of every width and of lengths that are scored in different
    # groups, or one by one, so that the first bad one is not the first seen.
    rng = random.Random(1234)
    for _ in range(30):
        n = rng.randint(1, 2500)
        candidates = [rng.choice(["ab", "\u0436" * rng.randint(1, 30), "x" * rng.randint(1, 200),
                                  "\U0001f600" * rng.randint(1, 9)]) for _ in range(n)]
        bad = sorted(rng.sample(range(n), k=min(n, rng.randint(1, 4))))
        for k in bad:
            candidates[k] = rng.choice(["\u0436", "\U0001f600"]) * rng.randint(0, 140) + "\udc80" + str(k)
        with pytest.raises(UnicodeEncodeError) as info:
            batch("query", candidates, case_insensitive=fold)
        assert info.value.object == candidates[bad[0]]


@pytest.mark.parametrize("container", [list, tuple, Seq], ids=["list", "tuple", "sequence"])
def test_probes_over_fresh_texts_and_their_first_error(container):
    # Fresh non-ASCII str objects have no UTF-8 form yet, ASCII ones and reused
    # ones have: the probes must count both kinds in order, and the first
    # failing item, in order, decides the error.
    rng = random.Random(16)
    texts = ["".join(rng.choice("aé日\U0001f600") for _ in range(rng.randrange(6))) for _ in range(300)]
    texts += [t for t in texts[:50]]  # reused objects, their forms made by the first occurrence
    rng.shuffle(texts)
    data = container(texts)
    assert morvane._ingest_owned(data) == len(texts)
    assert morvane._ingest_borrow(data) == len(texts)
    assert morvane._ingest_borrow_and_deref(data) == sum(len(t.encode()) for t in texts)
    for bad, kind in (([LONE, 5], UnicodeEncodeError), ([5, LONE], TypeError)):
        for probe in PROBES:
            with pytest.raises(kind):
                probe(container(["é" + str(i) for i in range(40)] + bad))
