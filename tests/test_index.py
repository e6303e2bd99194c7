"""Index, cdist and join against the batch functions run query by query,
over random and adversarial texts; missing values, processors, normalised
scores and dtypes."""

import math
import random
import subprocess
import sys

import numpy as np
import pytest

import morvane
import morvane_lookup as ml

BATCH = {"levenshtein": morvane.levenshtein_batch, "damerau": morvane.damerau_batch,
         "jaro_winkler": morvane.jaro_winkler_batch}
# Few letters, so that near texts are many; cases, final sigma, U+0130
# (lowers to two code points), every storage width, repeated letters.
POOL = "abAB aaa\u00e9\u03a3\u03c3\u0130\u0436\U0001F600"


def texts(rng, n):
    out = []
    for _ in range(n):
        if out and rng.random() < 0.5:
            s = list(rng.choice(out))
            for _ in range(rng.randint(0, 3)):
                at = rng.randint(0, len(s))
                op = rng.randint(0, 3)
                if op == 0:
                    s.insert(at, rng.choice(POOL))
                elif at < len(s):
                    if op == 1:
                        del s[at]
                    elif op == 2:
                        s[at] = rng.choice(POOL)
                    elif at + 1 < len(s):
                        s[at], s[at + 1] = s[at + 1], s[at]
            out.append("".join(s))
        else:
            out.append("".join(rng.choices(POOL, k=rng.randint(0, 9))))
    return out


def brute(measure, queries, cands, fold, p, normalized):
    """The batch functions' scores, query by query; None for missing."""
    kw = {"case_insensitive": fold or None}
    if measure == "jaro_winkler":
        kw["p"] = p
    rows = []
    for q in queries:
        live = [c for c in cands if isinstance(c, str)]
        scores = iter(BATCH[measure](q, live, **kw) if isinstance(q, str) else [None] * len(live))
        row = [next(scores) if isinstance(c, str) else None for c in cands]
        if normalized and isinstance(q, str):
            lq = len(q.lower() if fold else q)
            longer = [max(lq, len(c.lower() if fold else c)) if d is not None else 0 for c, d in zip(cands, row)]
            row = [None if d is None else d / n if n else 0.0 for d, n in zip(row, longer)]
        rows.append(row)
    return rows


def passes(measure, v, cutoff):
    return cutoff is None or (v >= cutoff if measure == "jaro_winkler" else v <= cutoff)


CASES = [("levenshtein", False, c) for c in (None, 0, 1, 2, 3)] + [("damerau", False, c) for c in (None, 1, 2)] + \
    [("levenshtein", True, 0.3), ("damerau", True, None)] + [("jaro_winkler", False, c) for c in (None, 0.8, 0.95)]


@pytest.mark.parametrize("measure, normalized, cutoff", CASES)
@pytest.mark.parametrize("fold", [False, True])
@pytest.mark.parametrize("workers", [1, 2])
def test_cdist_extract_join_equal_brute_force(measure, normalized, cutoff, fold, workers):
    rng = random.Random(f"{measure}{normalized}{cutoff}{fold}{workers}")
    left = texts(rng, 60) + [None, float("nan")]
    right = texts(rng, 80) + [None]
    rng.shuffle(left)
    p = 0.2 if measure == "jaro_winkler" else None
    want = brute(measure, left, right, fold, p, normalized)
    largest = measure == "jaro_winkler"
    kw = dict(measure=measure, score_cutoff=cutoff, p=p, normalized=normalized, workers=workers)

    got = ml.cdist(left, right, case_insensitive=fold, **kw)
    none = (1.0 if normalized else 0.0) if normalized or largest else \
        (cutoff + 1 if cutoff is not None else np.iinfo(np.int32).max)
    expect = np.array([[none if v is None or not passes(measure, v, cutoff) else v for v in row] for row in want])
    assert got.dtype == (np.float64 if normalized or largest else np.int32)
    np.testing.assert_array_equal(got, expect)

    index = ml.Index(right, case_insensitive=fold)
    for i in range(0, len(left), 7):
        if not isinstance(left[i], str):
            continue
        ranked = sorted((j for j, v in enumerate(want[i]) if v is not None and passes(measure, v, cutoff)),
                        key=lambda j: (-want[i][j] if largest else want[i][j], j))
        for limit in (1, 4, None):
            expected = [(right[j], want[i][j], j) for j in ranked[:limit]]
            assert index.extract(left[i], limit=limit, **kw) == expected
            assert ml.extract(left[i], right, limit=limit, case_insensitive=fold, **kw) == expected

    if cutoff is None:
        return
    for self_join in (False, True):
        other = left if self_join else right
        rows = brute(measure, left, other, fold, p, normalized) if self_join else want
        pairs = [(i, j, v) for i, row in enumerate(rows) for j, v in enumerate(row)
                 if v is not None and passes(measure, v, cutoff) and (not self_join or i < j)]
        found = ml.join(left, None if self_join else right, case_insensitive=fold, **kw)
        assert list(zip(found.left.tolist(), found.right.tolist(), found.score.tolist())) == pairs


def test_dtypes_and_their_errors():
    a, b = ["kitten", "", None], ["sitting", "kitten"]
    for dtype in (np.uint8, np.int16, np.int64, np.uint64, np.float32, "float64"):
        got = ml.cdist(a, b, dtype=dtype)
        assert got.dtype == np.dtype(dtype)
        assert got[:2].tolist() == [[3, 0], [7, 6]]
        assert got[2].tolist() == [np.iinfo(dtype).max if np.dtype(dtype).kind in "iu" else np.finfo(dtype).max] * 2
    assert ml.cdist(a, b, measure="jaro_winkler", dtype=np.float32).dtype == np.float32
    with pytest.raises(ValueError, match="cannot hold distances up to 300"):
        ml.cdist(["a" * 300], ["b"], dtype=np.uint8)
    with pytest.raises(TypeError, match="similarities need a float dtype"):
        ml.cdist(a, b, measure="jaro_winkler", dtype=np.int32)
    with pytest.raises(ValueError, match="scale 0 to 1"):
        ml.cdist(a, b, measure="jaro_winkler", score_cutoff=80)
    with pytest.raises(TypeError, match="needs a score_cutoff"):
        ml.join(a, score_cutoff=None)


def test_missing_values_keep_positions_and_labels():
    pd = pytest.importorskip("pandas")
    s = pd.Series(["Smith, John", None, "John Smyth", pd.NA, float("nan"), "J. Smith"], index=list("abcdef"))
    got = ml.extract("john smith", s, limit=None, processor=[ml.default_process, ml.sort_tokens])
    assert [(c, label) for c, _, label in got] == [("Smith, John", "a"), ("John Smyth", "c"), ("J. Smith", "f")]
    assert got[0][1] == 0
    with pytest.raises(TypeError, match=r"candidates\[1\] \(label 'x'\) is not a str"):
        ml.extract("a", pd.Series(["a", 3], index=["w", "x"]))
    with pytest.raises(UnicodeEncodeError):
        ml.Index(["a", "\ud800"])


def test_processors_match_their_definition():
    def reference(text):
        return " ".join("".join(c if c.isalnum() else " " for c in text.lower()).split())

    # Every code point alone and between letters and punctuation (final
    # sigma, U+0130's expansion), and mixed texts, one by one and as a column.
    texts = [chr(c) for c in range(0x110000) if not 0xD800 <= c < 0xE000]
    texts += [f"A{t}Σ, b" for t in texts[::97]]
    texts += ["Smith,  JOHN!", "  --Ünïcödé--  ", "ΟΔΟΣ ΑΣ", "İstanbul", "a_b", "", "東京都 ひらがな", "😀 x 😀"]
    want = [reference(t) for t in texts]
    assert [ml.default_process(t) for t in texts] == want
    assert ml.Index(texts, processor=ml.default_process).extract("", limit=None, score_cutoff=0) == [
        (t, 0, i) for i, t in enumerate(texts) if not want[i]]
    # Texts taken through it as a set is built: equal results pair up.
    mixed = [f"{t}.{i % 300}" for i, t in enumerate(texts[::97])]
    found = ml.join(mixed, processor=ml.default_process, score_cutoff=0)
    groups: dict[str, list[int]] = {}
    for i, t in enumerate(mixed):
        groups.setdefault(reference(t), []).append(i)
    assert list(zip(found.left.tolist(), found.right.tolist())) == sorted(
        (i, j) for g in groups.values() for k, i in enumerate(g) for j in g[k + 1:])
    assert ml.sort_tokens("b a  c") == "a b c"
    assert ml.strip_accents("Dvořák Ünïcödé") == "Dvorak Unicode"


@pytest.mark.parametrize("workers", [1, 2])
def test_join_shows_progress_and_stops_on_ctrl_c(capsys, workers):
    pytest.importorskip("tqdm")
    rng = random.Random(workers)
    names = ["".join(rng.choices("abcdefgh", k=rng.randint(8, 14))) for _ in range(3000)]
    ml.join(names, measure="jaro_winkler", score_cutoff=0.8, workers=workers, progress=True)
    assert "join" in capsys.readouterr().err
    # A join that would score every pair for minutes, finding few, stops
    # within a second or two of a real SIGINT; in a process of its own, so
    # that a join that does not stop fails the test instead of hanging it.
    script = f"""
import os, random, signal, threading, time
import morvane_lookup as ml
rng = random.Random(1)
names = ["".join(rng.choices("abcdefgh", k=rng.randint(8, 14))) for _ in range(200000)]
# A process started in the background inherits SIGINT ignored; a user's
# interpreter at a terminal has Python's own handler.
signal.signal(signal.SIGINT, signal.default_int_handler)
threading.Timer(1.0, os.kill, (os.getpid(), signal.SIGINT)).start()
started = time.monotonic()
try:
    ml.join(names, normalized=True, score_cutoff=0.25, workers={workers})
    print("finished")
except KeyboardInterrupt:
    print("stopped after", time.monotonic() - started)
"""
    done = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=60)
    assert done.returncode == 0, done.stderr
    assert done.stdout.startswith("stopped after"), done.stdout
    assert float(done.stdout.split()[-1]) < 4.0, done.stdout
