"""The core's lowercasing against the interpreter's own str.lower(), through
the test hooks.

MORVANE_TESTHOOKS must hold the path of libmorvane_testhooks.so.
"""

import ctypes
import itertools
import os

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

HOOKS = os.environ.get("MORVANE_TESTHOOKS")
pytestmark = pytest.mark.skipif(
    not HOOKS, reason="MORVANE_TESTHOOKS is not set to the path of libmorvane_testhooks.so")

SIGMA = "\u03a3"
SURROGATES = range(0xD800, 0xE000)
SCALARS = [c for c in range(0x110000) if c not in SURROGATES]
# Space is neither cased nor case-ignorable: it cuts every sigma context, so
# the pieces of a space-joined batch fold independently.
SEPARATOR = " "
BATCH = 0x10000

# Representatives of each class the sigma rule distinguishes.
CASED = ["A", "Z", "z", "\u03a9", "\u00df", "\u01c5", "\u00aa", "\u0130", "\U00010400", SIGMA]
IGNORABLE = ["'", ".", "`", "\u00ad", "\u0307", "\u02b0", "\u0345", "\u200d", "\U000e0001"]
NEITHER = [" ", "1", "@", "[", "{", "\u65e5", "\U0001f600"]


ENCODINGS = {1: "latin-1", 2: "utf-16-le", 4: "utf-32-le"}


def narrowest_width(text: str) -> int:
    top = max(map(ord, text), default=0)
    return 1 if top < 0x100 else 2 if top < 0x10000 else 4


@pytest.fixture(scope="module", params=["narrowest", "widest"])
def fold(request):
    """The core's lowercasing through the hooks, on the text stored as the
    interpreter stores it (the narrowest width) or four bytes per code point."""
    lib = ctypes.CDLL(HOOKS)
    hook = lib.morvane_test_lower
    hook.argtypes = [ctypes.c_char_p, ctypes.c_size_t, ctypes.c_uint, ctypes.c_char_p, ctypes.c_size_t]
    hook.restype = ctypes.c_size_t
    failed = ctypes.c_size_t(-1).value

    def call(text: str) -> str:
        width = narrowest_width(text) if request.param == "narrowest" else 4
        data = text.encode(ENCODINGS[width])
        cap = len(text) * 2
        buf = ctypes.create_string_buffer(max(cap, 1) * width)
        n = hook(data, len(text), width, buf, cap)
        assert n != failed, "lowering failed"
        assert n <= cap, f"lowered {len(text)} code points into {n}, more than twice as many"
        return buf.raw[: n * width].decode(ENCODINGS[width])

    return call


def assert_batch(fold, pieces):
    """Folds the space-joined pieces in one call; on a mismatch, names the
    first pieces that fold differently from str.lower()."""
    text = SEPARATOR.join(pieces)
    if fold(text) == text.lower():
        return
    bad = [p for p in pieces if fold(p) != p.lower()][:5]
    pytest.fail("lowering differs from str.lower() for "
                + ", ".join(f"{p!r}: {fold(p)!r} != {p.lower()!r}" for p in bad))


def batches(items, size=BATCH):
    for i in range(0, len(items), size):
        yield items[i:i + size]


# The code points of each storage width on their own, so that the narrowest
# storage of a batch of them is that width.
BY_WIDTH = [[c for c in SCALARS if c < 0x100], [c for c in SCALARS if 0x100 <= c < 0x10000],
            [c for c in SCALARS if c >= 0x10000]]


# Padded, each code point fills a block of eight units with seven that the
# block-wise paths handle, so that it alone decides which path lowers them.
@pytest.mark.parametrize("pad", ["", "aaa"], ids=["bare", "padded"])
@pytest.mark.parametrize("points", BY_WIDTH, ids=["one-byte", "two-byte", "four-byte"])
def test_every_code_point_alone(fold, points, pad):
    for chunk in batches(points):
        assert_batch(fold, [pad + chr(c) + pad for c in chunk])


@pytest.mark.parametrize("points", BY_WIDTH + [SCALARS], ids=["one-byte", "two-byte", "four-byte", "all"])
def test_all_code_points_concatenated(fold, points):
    # Every code point next to its neighbours, at every alignment the mixture
    # of lengths produces, in one text.
    text = "".join(map(chr, points))
    assert fold(text) == text.lower()


@pytest.mark.parametrize("context", [
    "a{x}\u03a3", "{x}\u03a3", "a\u03a3{x}", "a\u03a3{x}b", "\u03a3{x}",
    "a{x}{x}\u03a3{x}{x}", "{x}\u03a3\u03a3{x}",
], ids=lambda c: c.replace("\u03a3", "S").format(x="x"))
def test_sigma_next_to_every_code_point(fold, context):
    for chunk in batches(SCALARS, BATCH // 4):
        assert_batch(fold, [context.format(x=chr(c)) for c in chunk])


def test_sigma_contexts_by_class(fold):
    neighbours = [""] + CASED + IGNORABLE + NEITHER
    runs = ["", "'", "\u0307\u00ad", "\u02b0'\u0345\U000e0001"]
    sigmas = [SIGMA, SIGMA * 2, SIGMA + "'" + SIGMA]
    for before, run_1, sigma, run_2, after in itertools.product(
            neighbours, runs, sigmas, runs, neighbours):
        text = before + run_1 + sigma + run_2 + after
        assert fold(text) == text.lower(), repr(text)


ALPHABET = [SIGMA] * 6 + CASED + IGNORABLE + NEITHER + ["\u0130"] * 2


# Short texts of any one- or two-byte code points reach every block size and
# the overlapping last block of each width.
@settings(max_examples=6000, deadline=None)
@given(st.one_of(st.text(alphabet=st.sampled_from(ALPHABET), max_size=40),
                 st.text(alphabet=st.characters(max_codepoint=0xFF), max_size=40),
                 st.text(alphabet=st.characters(max_codepoint=0xFFFF, exclude_categories=("Cs",)), max_size=40)))
def test_random_strings(fold, text):
    assert fold(text) == text.lower()
