"""Mistakes a user could make with the morvane API. Every line marked
`# E: <codes>` must get exactly those mypy error codes, and no other line
any (tools/check_typing.sh checks both). Not collected by pytest."""

import morvane

words: list[str] = ["sitting", "mitten"]
ints: list[int] = [1, 2, 3]

morvane.levenshtein_bp("kitten", 7)  # E: arg-type
len(morvane.levenshtein_bp("kitten", "sitting"))  # E: arg-type
morvane.levenshtein_batch("kitten", ints)  # E: arg-type
morvane.jaro_winkler_similarity("martha", "marhta", p="0.1")  # E: arg-type
morvane.levenshtein_bp("kitten", "sitting", max_len=2.5)  # E: arg-type
morvane.damerau_bp("kitten", "sitting", case_insensitive=1)  # E: arg-type
label: str = morvane.jaro_winkler_similarity("martha", "marhta")  # E: assignment
distances: list[int] = morvane.jaro_winkler_batch("kitten", words)  # E: assignment
morvane.levenshtein_batch("kitten", words).append(0.5)  # E: arg-type
morvane.damerau_batch("kitten", words, p=0.2)  # E: call-arg
morvane.levenshtein_bp("kitten", "sitting", limit=3)  # E: call-arg
morvane.jaro_winkler_batch("kitten", words, 0.1, True, 0.5)  # E: call-arg


def lookup_mistakes() -> None:
    import morvane_lookup as ml

    ml.extract("a", ["b"], measure="jaro")  # E: arg-type
    ml.cdist(["a"], ["b"], workers="2")  # E: arg-type
