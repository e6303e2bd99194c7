"""Ready processors: applied to the query and to every candidate before
scoring, alone or several in a list (applied in order)."""

from __future__ import annotations

import unicodedata

from . import _engine


def default_process(text: str) -> str:
    """Lowercased (`str.lower()`), every run of characters that are not
    alphanumeric (`str.isalnum()`) turned into one space, and trimmed:
    `" ".join("".join(c if c.isalnum() else " " for c in text.lower()).split())`,
    computed natively (and, as a processor, over a whole column in one call)."""
    return _engine.default_process(text)


def strip_accents(text: str) -> str:
    """The canonical decomposition (NFD) without its combining marks:
    "Dvořák" becomes "Dvorak"."""
    return "".join(c for c in unicodedata.normalize("NFD", text) if not unicodedata.combining(c))


def sort_tokens(text: str) -> str:
    """The whitespace-separated words sorted and joined by one space, for
    matching that ignores word order."""
    return " ".join(sorted(text.split()))
