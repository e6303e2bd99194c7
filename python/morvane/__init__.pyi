"""Exact Levenshtein, restricted Damerau-Levenshtein (optimal string
alignment) and Jaro-Winkler measures over Unicode code points, as pair
functions and as batches that prepare one query and score many candidates.

Common rules:

- Texts are compared as sequences of code points; lengths are code-point
  counts. ``str_1`` (or ``query``) is always the pattern: the arguments are
  never swapped.
- Every option accepts ``None``, which means the same as leaving it out.
- ``case_insensitive=True`` compares the full lowercase forms
  (``str.lower()``, final sigma included) of both texts; ``None`` or
  ``False`` compares them as given.
- A conversion error is the interpreter's own exception (``TypeError``,
  ``OverflowError``, ``UnicodeEncodeError``, or whatever a user's
  ``__index__`` / ``__float__`` raised) with the note
  ``while processing '<parameter>'`` in ``__notes__``, for example
  ``TypeError: 'int' object is not an instance of 'str'`` with the note
  ``while processing 'str_1'``. A text holding a lone surrogate raises
  ``UnicodeEncodeError``. Errors in binding the arguments (a missing or
  unknown parameter) are the usual ``TypeError`` without a note.
- Running out of memory raises ``MemoryError``.
"""

from collections.abc import Sequence

__all__ = [
    "levenshtein_bp",
    "damerau_bp",
    "jaro_winkler_similarity",
    "levenshtein_batch",
    "damerau_batch",
    "jaro_winkler_batch",
    "_ingest_owned",
    "_ingest_borrow",
    "_ingest_borrow_and_deref",
]

def levenshtein_bp(
    str_1: str,
    str_2: str,
    max_len: int | None = None,
    case_insensitive: bool | None = None,
    score_cutoff: int | None = None,
) -> int:
    """The Levenshtein distance of ``str_1`` and ``str_2``: the least number
    of single code-point insertions, deletions and substitutions that turn
    one into the other.

    ``max_len``: the longest (folded) length either text may have; ``None``
    means no limit. A longer text raises ``ValueError`` with the text
    ``InputTooLong { which: "str_1", len: 3, limit: 2 }`` (``str_1`` is
    checked first; ``len`` is the folded length). It must be a non-negative
    integer (``bool`` counts as 0 or 1): a negative one raises
    ``OverflowError``, a ``float`` ``TypeError``, each with the note
    ``while processing 'max_len'``.

    ``case_insensitive``: ``True`` lowercases both texts first; ``None`` or
    ``False`` does not. Only a ``bool`` (or a NumPy boolean) is accepted: an
    ``int`` raises ``TypeError: 'int' object is not an instance of 'bool'``.

    ``score_cutoff``: ``None`` means no cut-off. With ``score_cutoff=k`` any
    distance above ``k`` comes back as ``k + 1``; a distance of ``k`` or less
    is exact. The same integer rules as ``max_len`` apply.

    ``levenshtein_bp("kitten", "sitting")`` is 3;
    ``levenshtein_bp("kitten", "sitting", score_cutoff=2)`` is 3 as well
    (above the cut-off: ``k + 1``).
    """

def damerau_bp(
    str_1: str,
    str_2: str,
    max_len: int | None = None,
    case_insensitive: bool | None = None,
    score_cutoff: int | None = None,
) -> int:
    """The restricted Damerau-Levenshtein distance (optimal string
    alignment) of ``str_1`` and ``str_2``: insertions, deletions,
    substitutions and transpositions of two adjacent code points, each of
    cost 1, no code point edited twice.

    The options are those of :func:`levenshtein_bp`: ``max_len`` (``None``:
    no limit; a longer text raises ``ValueError`` with
    ``InputTooLong { which: "str_2", len: 5, limit: 4 }`` or the like),
    ``case_insensitive`` (``None``: as given) and ``score_cutoff``
    (``None``: no cut-off; a distance above ``k`` comes back as ``k + 1``),
    with the same conversion errors and notes.

    ``damerau_bp("abcd", "acbd")`` is 1 (``levenshtein_bp`` gives 2).
    """

def jaro_winkler_similarity(
    str_1: str,
    str_2: str,
    p: float | None = None,
    max_len: int | None = None,
    case_insensitive: bool | None = None,
    score_cutoff: float | None = None,
) -> float:
    """The Jaro-Winkler similarity of ``str_1`` and ``str_2``, from 0.0
    (nothing in common) to 1.0 (equal). ``str_1`` drives the matching. Two
    empty texts give 1.0; one empty text gives 0.0.

    ``p``: the Winkler prefix scale, from 0.0 to 0.25 inclusive; ``None``
    means 0.1. A Jaro value above 0.7 is raised by ``p`` times the common
    prefix length (at most 4) times its distance to 1.0. Any other value,
    NaN included, raises ``ValueError`` with the text
    ``InvalidPrefixScale { value: 0.3 }`` (the value in its shortest form:
    ``1.0``, ``-1e-5``, ``NaN``, ``-inf``); this check comes before the
    length limit. A ``str`` raises ``TypeError: must be real number, not
    str`` with the note ``while processing 'p'``.

    ``max_len`` and ``case_insensitive``: as for :func:`levenshtein_bp`
    (``None``: no limit, texts as given; ``InputTooLong { ... }`` as the
    ``ValueError`` text of a text that is too long).

    ``score_cutoff``: ``None`` means no cut-off. A similarity below
    ``score_cutoff`` comes back as 0.0; one equal to it is kept. The
    empty-text results above are returned as they are.

    ``jaro_winkler_similarity("martha", "marhta")`` is 0.9611111111111111.
    """

def levenshtein_batch(
    query: str,
    candidates: Sequence[str],
    case_insensitive: bool | None = None,
) -> list[int]:
    """The Levenshtein distance of ``query`` to each of ``candidates``, in
    order, one ``int`` per candidate: each equals
    ``levenshtein_bp(query, candidate, case_insensitive=case_insensitive)``,
    except that for an empty ``query`` each result is the candidate's
    code-point count as given, not lowercased.

    ``candidates``: any sequence of ``str`` (list, tuple, ...). A single
    ``str`` raises ``TypeError: Can't extract `str` to `Vec```; an object
    that is not a sequence (a set, a dict, a generator) raises
    ``TypeError: 'set' object is not an instance of 'Sequence'``; an item
    that is not a ``str`` raises ``TypeError: 'int' object is not an
    instance of 'str'`` (``'None' is not an instance of 'str'`` for None);
    a lone surrogate in an item raises ``UnicodeEncodeError``. Each has the
    note ``while processing 'candidates'``, and nothing is computed.

    ``case_insensitive``: ``None`` or ``False`` compares the texts as given.

    There is no length limit and no cut-off. A batch of 10,000 candidates or
    more runs without holding the interpreter, so other threads run
    meanwhile.
    """

def damerau_batch(
    query: str,
    candidates: Sequence[str],
    case_insensitive: bool | None = None,
) -> list[int]:
    """The restricted Damerau-Levenshtein distance (optimal string
    alignment) of ``query`` to each of ``candidates``, in order: each equals
    ``damerau_bp(query, candidate, case_insensitive=case_insensitive)``,
    except that for an empty ``query`` each result is the candidate's
    code-point count as given.

    ``candidates`` and ``case_insensitive`` and their errors are those of
    :func:`levenshtein_batch` (``None``: texts as given). No length limit, no
    cut-off; 10,000 candidates or more run without holding the interpreter.
    """

def jaro_winkler_batch(
    query: str,
    candidates: Sequence[str],
    p: float | None = None,
    case_insensitive: bool | None = None,
) -> list[float]:
    """The Jaro-Winkler similarity of ``query`` to each of ``candidates``, in
    order: each equals
    ``jaro_winkler_similarity(query, candidate, p=p, case_insensitive=...)``.

    ``p``: the prefix scale, 0.0 to 0.25, ``None`` meaning 0.1; any other
    value raises ``ValueError`` with ``InvalidPrefixScale { value: ... }``,
    even when ``candidates`` is empty. ``candidates`` and
    ``case_insensitive`` and their errors are those of
    :func:`levenshtein_batch`. No length limit, no cut-off; 10,000
    candidates or more run without holding the interpreter.
    """

def _ingest_owned(candidates: Sequence[str]) -> int:
    """Measures taking ``candidates`` in by copying each text: the number of
    candidates. The errors of ``candidates`` are those of
    :func:`levenshtein_batch`."""

def _ingest_borrow(candidates: Sequence[str]) -> int:
    """Measures taking ``candidates`` in by reference, without copying: the
    number of candidates. The errors are those of :func:`levenshtein_batch`."""

def _ingest_borrow_and_deref(candidates: Sequence[str]) -> int:
    """Like :func:`_ingest_borrow`, also reading every text: the total UTF-8
    byte count of the candidates."""
