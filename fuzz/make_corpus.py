#!/usr/bin/env python3
"""Writes the fuzzers' seed corpus, fuzz/corpus/<fuzzer>/, in the input
format of fuzz/fuzz_input.hpp: a few small inputs per fuzzer that reach the
paths worth starting from (short pairs, folding with sigmas and U+0130, a
transposition at a word boundary, long near copies for the bands and the
wavefront, batches of every lane width). Run it after changing the format:

    python3 fuzz/make_corpus.py
"""

import pathlib
import shutil

ROOT = pathlib.Path(__file__).resolve().parent / "corpus"


def alphabet(*code_points):
    """Code points given in full (byte 0xF0 and 24 bits), so the seeds do
    not depend on the palette's order."""
    out = bytes([len(code_points) - 1])
    for c in code_points:
        out += bytes([0xF0]) + c.to_bytes(3, "little")
    return out


def literal(*indexes):
    return bytes(indexes)


END = bytes([0x80])


def run(length, seed):
    """length (1 to 8192) code points drawn from `seed`."""
    return bytes([0xA0 | (length - 1) >> 8, (length - 1) & 0xFF, seed])


def repeat(last, times):
    return bytes([0xC0 | (times - 1), last - 1])


def independent(text):
    return bytes([0]) + text


def edits(*steps):
    """An edited copy of the first text: (kind, position[, cut length])."""
    out = bytes([1, len(steps)])
    for step in steps:
        kind, at = step[0], step[1]
        out += bytes([kind]) + at.to_bytes(2, "little")
        if kind % 5 == 4:
            out += bytes([step[2] - 1])
    return out


SUB, INS, DEL, SWAP, CUT = 0, 1, 2, 3, 4

GREEK = alphabet(0x391, 0x3A3, 0x27, 0x20, 0x130, 0x69, 0x3C3)
LATIN = alphabet(ord("a"), ord("b"), ord("c"), ord("d"))
MIXED = alphabet(ord("a"), 0xE9, 0x416, 0x10400, 0x212A, ord("k"))

# Texts shared by the pair fuzzers: (alphabet, first text, second text).
PAIRS = {
    "short": (LATIN, literal(0, 1, 2, 3, 0) + END, edits((SUB, 1), (SWAP, 2))),
    "greek": (GREEK, literal(0, 1, 2, 1, 3, 4, 5, 1) + END, edits((21, 3), (DEL, 0))),
    "word-boundary": (LATIN, run(63, 7) + literal(0, 1) + END, edits((SWAP, 63))),
    "near-copies": (MIXED, run(700, 3) + END, edits((SUB, 10), (INS, 300), (CUT, 500, 40))),
    "far-apart": (LATIN, run(600, 5) + END, independent(run(1100, 9) + END)),
    "repeats": (MIXED, literal(0, 1, 2, 3, 4) + repeat(5, 30) + END, edits((SWAP, 64), (DEL, 128))),
}

# The pairs longer than the short inputs' cap.
LONG = ("word-boundary", "near-copies", "far-apart", "repeats")


def edit_distance_seeds():
    seeds = {}
    for name, (alpha, first, second) in PAIRS.items():
        fold = 2 if name in ("greek", "repeats") else 0
        # options, max_len selector, cut-off (top bit: none), texts; long
        # texts need the gate of fuzz_input.hpp (192 keeps fold's value mod 3)
        gate, limit = (0xC0, 0x1C) if name in LONG else (0, 0)
        seeds[name] = bytes([gate | fold, limit, 0xFF, 0xFF]) + alpha + first + second
    seeds["limit"] = bytes([2, 0x81, 3, 0]) + GREEK + literal(4, 0) + END + edits((SUB, 0))
    # Found by damerau_fuzzer: lengths 504 and 442, whose distance is their
    # difference, 62; a long-pair bound of 61 gave a band narrower than that.
    seeds["bound-below-length-difference"] = bytes.fromhex(
        "ff1e00ffff00f06b0000000000002b00010000260000f02329"
        "00296b8b8b8b8b8b8b8b8b8b0000800200ffff00f06b000000"
    )
    return seeds


def jaro_winkler_seeds():
    seeds = {}
    for k, (name, (alpha, first, second)) in enumerate(PAIRS.items()):
        fold = 2 if name in ("greek", "repeats") else 0
        # options, prefix-scale selector, max_len selector, cut-off, texts
        gate, limit = (0xC0, 0x1C) if name in LONG else (0, 0)
        seeds[name] = bytes([gate | fold, 40 * k, limit, 0xB0]) + alpha + first + second
    seeds["rejected-scale"] = bytes([0, 203, 0, 0]) + LATIN + literal(0, 1) + END + edits((SUB, 1))
    return seeds


def candidate(how, body=b""):
    return bytes([how]) + body


def batch_seeds():
    def batch(options, alpha, query, candidates, tail=b"", long=False):
        # long texts need the gate of fuzz_input.hpp: p selector 124 is p 0.129
        gate, p = (0xC0, 124) if long else (0, 96)
        return bytes([gate | options, p]) + alpha + query + bytes([len(candidates)]) + b"".join(candidates) + tail

    near = [candidate(1, bytes([1, SWAP, 2, 0])), candidate(2, bytes([1, DEL, 0, 0])), candidate(3)]
    return {
        "lanes-8": batch(0, LATIN, literal(0, 1, 2, 3, 0) + END, near + [candidate(0, run(9, 1) + END)]),
        "lanes-64": batch(2, MIXED, run(60, 2) + END, near + [candidate(8 | 1, bytes([0])), candidate(12, run(130, 4) + END)], long=True),
        "multi-word": batch(0, LATIN, run(150, 6) + END, near + [candidate(0, run(290, 8) + END)], long=True),
        "greek-folded": batch(2, GREEK, literal(0, 1, 2, 4) + END, near + [candidate(0, literal(1, 0, 1) + END)]),
        "large": batch(4, MIXED, literal(0, 1, 2) + END, near),
        "lone-surrogate": batch(0x20, MIXED, literal(0, 2) + END, [candidate(8, literal(2, 2) + END)] * 3,
                                tail=bytes([3, 1, 0, 0, 3, 0, 0])),
        "empty-query": batch(0, LATIN, END, near),
    }


def lookup_seeds():
    """Options (measure, folding, normalised), a cut-off, the alphabet, the
    counts of left and right texts, then texts new (odd byte) or edited
    copies of an earlier one (even byte, its index, how, the edits)."""
    def new(body):
        return bytes([1]) + body + END

    def copy_of(index, *steps):
        return bytes([0, index, 1]) + edits(*steps)[1:]

    names = new(literal(0, 1, 2, 3, 0)) + copy_of(0, (SUB, 1)) + copy_of(0, (SWAP, 2)) + new(run(70, 3)) + \
        copy_of(3, (DEL, 5)) + new(literal(4, 5, 6)) + copy_of(5, (INS, 1))
    return {
        "levenshtein-k2": bytes([0, 2]) + LATIN + bytes([2, 3]) + names,
        "damerau-folded-k1": bytes([1 | 4, 1]) + GREEK + bytes([3, 3]) + names,
        "jaro-winkler-0.9": bytes([2, 228]) + MIXED + bytes([2, 4]) + names,
        "normalized-no-cutoff": bytes([8, 255]) + MIXED + bytes([3, 3]) + names,
    }


def main():
    sets = {
        "lookup_fuzzer": lookup_seeds(),
        "levenshtein_fuzzer": edit_distance_seeds(),
        "damerau_fuzzer": edit_distance_seeds(),
        "jaro_winkler_fuzzer": jaro_winkler_seeds(),
        "batch_fuzzer": batch_seeds(),
    }
    for fuzzer, seeds in sets.items():
        folder = ROOT / fuzzer
        shutil.rmtree(folder, ignore_errors=True)
        folder.mkdir(parents=True)
        for name, data in seeds.items():
            (folder / name).write_bytes(data)


if __name__ == "__main__":
    main()
