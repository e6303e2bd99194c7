"""The main job: fuzzy lookup of misspelled names in a word list.

Shows the pair functions with and without folding, cut-off and length limit,
then ranks the closest entries of data/unicode_names.txt (the names of the
Unicode characters) for a few misspelled queries with each batch function.
"""

import argparse
import heapq
import pathlib
import time

import morvane

WORDLIST = pathlib.Path(__file__).resolve().parent.parent / "data" / "unicode_names.txt"
QUERIES = [
    "greek small leter alpha",
    "latin capital leter e with acute",
    "hevy check mark",
    "black hart suit",
    "snowmann",
]


def show_pairs():
    print("Pairs")
    print("  levenshtein_bp('kitten', 'sitting')                      =", morvane.levenshtein_bp("kitten", "sitting"))
    print("  levenshtein_bp('ABC', 'abc')                             =", morvane.levenshtein_bp("ABC", "abc"))
    print("  levenshtein_bp('ABC', 'abc', case_insensitive=True)      =",
          morvane.levenshtein_bp("ABC", "abc", case_insensitive=True))
    print("  levenshtein_bp('ΟΔΟΣ', 'οδος', case_insensitive=True)    =",
          morvane.levenshtein_bp("ΟΔΟΣ", "οδος", case_insensitive=True), "(final sigma)")
    print("  levenshtein_bp('kitten', 'sitting', score_cutoff=2)      =",
          morvane.levenshtein_bp("kitten", "sitting", score_cutoff=2), "(more than 2)")
    try:
        morvane.levenshtein_bp("kitten", "sitting", max_len=6)
    except ValueError as error:
        print("  levenshtein_bp('kitten', 'sitting', max_len=6)           -> ValueError:", error)
    print("  damerau_bp('abcdef', 'abcdfe')                           =", morvane.damerau_bp("abcdef", "abcdfe"))
    print("  jaro_winkler_similarity('MARTHA', 'MARHTA')              =",
          morvane.jaro_winkler_similarity("MARTHA", "MARHTA"))
    print()


def best(scores, names, k, largest):
    pick = heapq.nlargest if largest else heapq.nsmallest
    return pick(k, zip(scores, names), key=lambda pair: pair[0])


def lookup(names, queries, k):
    print(f"Fuzzy lookup in {len(names):,} names (case-insensitive)")
    functions = [
        ("levenshtein_batch", morvane.levenshtein_batch, False, "{:d}"),
        ("damerau_batch", morvane.damerau_batch, False, "{:d}"),
        ("jaro_winkler_batch", morvane.jaro_winkler_batch, True, "{:.4f}"),
    ]
    total = 0.0
    for query in queries:
        print(f"  query {query!r}")
        for label, fn, largest, fmt in functions:
            start = time.perf_counter()
            scores = fn(query, names, case_insensitive=True)
            elapsed = time.perf_counter() - start
            total += elapsed
            found = ", ".join(f"{name} ({fmt.format(score)})" for score, name in best(scores, names, k, largest))
            print(f"    {label:<19} {elapsed * 1e3:6.2f} ms  {found}")
    print(f"Scored {len(queries) * len(functions) * len(names):,} candidates in {total * 1e3:.1f} ms")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("queries", nargs="*", help="names to look up (default: a few misspellings)")
    parser.add_argument("-k", type=int, default=3, help="matches to show per function")
    args = parser.parse_args()
    names = WORDLIST.read_text(encoding="ascii").splitlines()
    show_pairs()
    lookup(names, args.queries or QUERIES, args.k)


if __name__ == "__main__":
    main()
