"""The main job: fuzzy lookup of misspelled names in a word list.

Shows the pair functions with and without folding, cut-off and length limit,
then looks up the closest entries of data/unicode_names.txt (the names of the
Unicode characters) for a few misspelled queries with morvane_lookup.extract,
once per measure, on every core.
"""

import argparse
import pathlib
import time

import morvane
import morvane_lookup

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


def lookup(names, queries, k):
    print(f"Fuzzy lookup in {len(names):,} names: morvane_lookup.extract(query, names, measure=..., "
          f"limit={k}, case_insensitive=True, workers=-1)")
    measures = [("levenshtein", "{:d}"), ("damerau", "{:d}"), ("jaro_winkler", "{:.4f}")]
    total = 0.0
    for query in queries:
        print(f"  query {query!r}")
        for measure, fmt in measures:
            start = time.perf_counter()
            found = morvane_lookup.extract(query, names, measure=measure, limit=k, case_insensitive=True, workers=-1)
            elapsed = time.perf_counter() - start
            total += elapsed
            shown = ", ".join(f"{name} ({fmt.format(score)}, #{index})" for name, score, index in found)
            print(f"    {measure:<13} {elapsed * 1e3:6.2f} ms  {shown}")
    print(f"Looked through {len(queries) * len(measures) * len(names):,} candidates in {total * 1e3:.1f} ms")
    query = queries[0]
    print(f"extract_one({query!r}, names, score_cutoff=2, case_insensitive=True) =",
          morvane_lookup.extract_one(query, names, score_cutoff=2, case_insensitive=True))
    print("extract_one('no such name at all', names, score_cutoff=2) =",
          morvane_lookup.extract_one("no such name at all", names, score_cutoff=2))


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
