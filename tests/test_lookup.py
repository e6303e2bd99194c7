"""morvane_lookup's selection against a brute-force ranking of the batch
scores, its argument errors, and the same lookups over a Dask cluster."""

import random
import re
import subprocess
import sys

import pytest

import morvane
import morvane_lookup as ml

BATCH = {"levenshtein": morvane.levenshtein_batch, "damerau": morvane.damerau_batch,
         "jaro_winkler": morvane.jaro_winkler_batch}


def words(rng, n):
    # Few letters and lengths make many ties; a few long words give distances
    # above 255, which the byte search cannot hold.
    out = ["".join(rng.choices("abcA", k=rng.randint(0, 6))) for _ in range(n)]
    for i in rng.sample(range(n), min(n, 3)):
        out[i] = "ab" * 150
    return out


def brute_force(query, cands, measure, limit, cutoff, **kw):
    scores = BATCH[measure](query, cands, **kw)
    big = measure == "jaro_winkler"
    keep = [i for i in range(len(cands))
            if cutoff is None or (scores[i] >= cutoff if big else scores[i] <= cutoff)]
    keep.sort(key=lambda i: (-scores[i] if big else scores[i], i))
    return [(cands[i], scores[i], i) for i in keep[:limit]]


@pytest.mark.parametrize("measure", ml.MEASURES)
@pytest.mark.parametrize("workers", [1, 2, -1])
def test_extract_equals_brute_force(measure, workers):
    rng = random.Random(f"{measure}{workers}")
    cutoffs = [0.0, 0.7, 0.9, 1.0] if measure == "jaro_winkler" else [0, 1, 3, 300]
    for n in (0, 1, 39, 500, 1300):
        cands = words(rng, n)
        for query in ("", "abc", "Abca", "ab" * 149 + "c"):
            limit, cutoff = rng.choice([1, 2, 5, 40, None]), rng.choice(cutoffs + [None])
            kw = {"case_insensitive": rng.choice([None, True])}
            if measure == "jaro_winkler":
                kw["p"] = rng.choice([None, 0.25])
            got = ml.extract(query, cands, measure=measure, limit=limit, score_cutoff=cutoff, workers=workers, **kw)
            assert got == brute_force(query, cands, measure, limit, cutoff, **kw), (n, query, limit, cutoff)
            one = ml.extract_one(query, tuple(cands), measure=measure, score_cutoff=cutoff, workers=workers, **kw)
            assert one == (got[0] if got else None)


@pytest.mark.parametrize(
    "candidates, kwargs, error, text",
    [
        (["a"], {"measure": "hamming"}, ValueError, "unknown measure 'hamming'"),
        (["a"], {"measure": None}, TypeError, "measure must be a str"),
        (["a"], {"limit": 0}, ValueError, "limit must be a positive int"),
        (["a"], {"limit": True}, TypeError, "limit must be a positive int"),
        (["a"], {"limit": 2.0}, TypeError, "limit must be a positive int"),
        (["a"], {"workers": 0}, ValueError, "workers must be a positive int or -1"),
        (["a"], {"workers": -2}, ValueError, "workers must be a positive int or -1"),
        (["a"], {"workers": "2"}, TypeError, "workers must be an int"),
        (["a"], {"score_cutoff": -1}, ValueError, "at least 0"),
        (["a"], {"score_cutoff": 1.5}, TypeError, "distance must be an int"),
        (["a"], {"measure": "jaro_winkler", "score_cutoff": "0.5"}, TypeError, "similarity must be a float"),
        (["a"], {"measure": "jaro_winkler", "score_cutoff": float("nan")}, ValueError, "NaN"),
        (["a"], {"measure": "damerau", "p": 0.1}, ValueError, "prefix scale"),
        ("abc", {}, TypeError, "not a single str"),
        (42, {}, TypeError, "iterable of str, not int"),
        # An item neither a str nor missing is named; the batch functions'
        # own errors come through unchanged.
        (["a", 1], {"workers": 2}, TypeError, "candidates[1] is not a str: 'int' object is not an instance of 'str'"),
        (["a", "\ud800"], {}, UnicodeEncodeError, "surrogates not allowed"),
        ([], {"measure": "jaro_winkler", "p": 0.3}, ValueError, "InvalidPrefixScale { value: 0.3 }"),
    ],
)
def test_argument_errors(candidates, kwargs, error, text):
    with pytest.raises(error, match=re.escape(text)):
        ml.extract("a", candidates, **kwargs)


def test_imports_without_dask():
    code = "import sys, morvane_lookup as ml; ml.extract('a', ['b']); assert 'dask' not in sys.modules"
    subprocess.run([sys.executable, "-c", code], check=True)


@pytest.fixture(scope="module")
def dask_client():
    distributed = pytest.importorskip("distributed")
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, host="127.0.0.1",
                                  dashboard_address=None) as cluster, distributed.Client(cluster) as client:
        yield client


@pytest.mark.parametrize("measure", ml.MEASURES)
def test_dask_series_on_a_cluster(dask_client, measure):
    dd = pytest.importorskip("dask.dataframe")
    pd = pytest.importorskip("pandas")
    rng = random.Random(measure)
    cands = words(rng, 3000)
    # Labels out of order, and partitions that split runs of equal scores.
    series = pd.Series(cands, index=[f"w{i}" for i in rng.sample(range(10**6), len(cands))])
    distributed_series = dd.from_pandas(series, npartitions=7, sort=False)
    cutoff = 0.8 if measure == "jaro_winkler" else 2
    for query, limit, score_cutoff in (("abc", 20, None), ("Abca", None, cutoff)):
        kw = {"measure": measure, "limit": limit, "score_cutoff": score_cutoff, "case_insensitive": True}
        want = [(c, s, series.index[i]) for c, s, i in ml.extract(query, cands, **kw)]
        assert ml.extract(query, distributed_series, **kw) == want
        assert ml.extract(query, series, **kw) == want


@pytest.mark.parametrize("measure, cutoff", [("levenshtein", 1), ("jaro_winkler", 0.85)])
def test_dask_join_on_a_cluster(dask_client, measure, cutoff):
    dd = pytest.importorskip("dask.dataframe")
    pd = pytest.importorskip("pandas")
    rng = random.Random(measure)
    left = pd.Series(words(rng, 400), index=[f"l{i}" for i in range(400)])
    right = pd.Series(words(rng, 300), index=range(1000, 1300))
    for other in (None, right):
        want = ml.join(left, other, measure=measure, score_cutoff=cutoff, case_insensitive=True)
        got = ml.join(dd.from_pandas(left, npartitions=3, sort=False),
                      None if other is None else dd.from_pandas(other, npartitions=2, sort=False),
                      measure=measure, score_cutoff=cutoff, case_insensitive=True).compute()
        got = got.sort_values(["left", "right"], key=lambda c: c.map(list(left.index).index)
                              if c.name == "left" else c.map(list((left if other is None else other).index).index))
        labels_r = (left if other is None else other).index
        assert list(zip(got.left, got.right, got.score)) == list(
            zip(left.index[want.left], labels_r[want.right], want.score.tolist()))
