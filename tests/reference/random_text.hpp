// Random UTF-8 texts over small alphabets, for differential tests. Small
// alphabets make matches, repeats and transpositions frequent.
#pragma once

#include <cstddef>
#include <random>
#include <string>
#include <vector>

namespace reference {

inline void append_utf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// `length` code points drawn uniformly from `alphabet`.
inline std::string random_text(std::mt19937_64& rng, const std::u32string& alphabet, std::size_t length) {
  std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
  std::string out;
  for (std::size_t i = 0; i < length; ++i) append_utf8(out, alphabet[pick(rng)]);
  return out;
}

// Alphabets covering each storage class of the match tables: ASCII, code
// points 128-255 (direct entries in the code-point form), the BMP above 255
// and astral planes (one page or the map).
inline const std::vector<std::u32string>& alphabets() {
  static const std::vector<std::u32string> all = {
      U"ab", U"abc", U"abcdefghij", U"aé", U"a\u00ff\u0100", U"x\u65e5\u672c", U"a\U0001F600\u00e9b",
      // One low byte in three pages: patterns of one wide page read texts
      // with the same low byte in another.
      U"a\u0016\u0416\u0516\U00010416",
  };
  return all;
}

}  // namespace reference
