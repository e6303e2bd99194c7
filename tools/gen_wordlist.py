"""Writes data/unicode_names.txt: the names of the Unicode characters, one per
line, as the word list of the fuzzy-lookup demonstration.

The names come from the running interpreter's unicodedata, so the list is
generated rather than taken from a third party. Scripts whose names are
numbered series (ideographs, syllables, hieroglyphs) are left out: they would
only add near-duplicates.
"""

import pathlib
import sys
import unicodedata

NUMBERED_SERIES = (
    "CJK UNIFIED IDEOGRAPH-",
    "CJK COMPATIBILITY IDEOGRAPH-",
    "HANGUL SYLLABLE ",
    "TANGUT IDEOGRAPH-",
    "TANGUT COMPONENT-",
    "KHITAN SMALL SCRIPT CHARACTER-",
    "NUSHU CHARACTER-",
    "EGYPTIAN HIEROGLYPH-",
    "CUNEIFORM SIGN ",
    "ANATOLIAN HIEROGLYPH ",
    "YI SYLLABLE ",
    "LINEAR B ",
    "BAMUM LETTER PHASE",
    "SIGNWRITING ",
)


def names():
    for cp in range(sys.maxunicode + 1):
        name = unicodedata.name(chr(cp), None)
        if name is not None and not name.startswith(NUMBERED_SERIES):
            yield name


def main():
    out = pathlib.Path(__file__).resolve().parent.parent / "data" / "unicode_names.txt"
    lines = list(names())
    out.write_text("\n".join(lines) + "\n", encoding="ascii")
    print(f"wrote {len(lines)} names (Unicode {unicodedata.unidata_version}) to {out}")


if __name__ == "__main__":
    main()
