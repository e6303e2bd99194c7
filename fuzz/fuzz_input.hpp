// What every fuzzer shares: decoding a byte input into texts and options,
// the texts' storage at every width, the plain lowercase form the folding is
// held to, and the abort that libFuzzer records as a crash.
//
// Decoding is total: every byte string decodes (reads past the end give
// zero), and small inputs reach long texts through runs and repeats, so the
// fuzzers get to the multi-word kernels, the bands and the wavefront without
// kilobytes of input. Every text is valid for morvane::Text: code points up
// to U+10FFFF and no surrogate.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "morvane/lower.hpp"
#include "morvane/error.hpp"
#include "morvane/text.hpp"
#include "native_text.hpp"

namespace fuzz {

class Reader {
 public:
  Reader(const std::uint8_t* data, std::size_t size) noexcept : data_(data), size_(size) {}

  bool done() const noexcept { return pos_ >= size_; }
  std::uint8_t byte() noexcept { return done() ? 0 : data_[pos_++]; }
  std::uint16_t u16() noexcept { return static_cast<std::uint16_t>(byte() | byte() << 8); }
  std::uint32_t u24() noexcept { return static_cast<std::uint32_t>(u16() | byte() << 16); }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

// Code points worth meeting often: ASCII letters and case-ignorables, Latin-1
// with its cases, code points whose lowercase form leaves their storage width
// (U+0178 lowers into one byte, U+212A to ASCII) or grows (U+0130), sigmas and
// what decides their final form, one low byte in several pages, astral
// letters with cases, the largest code point.
inline constexpr char32_t kPalette[] = {
    U'a', U'b', U'c', U'A', U'B', U'K', U'k', U'i', U' ', U'\'', U'.', U'1',
    0xC5, 0xC9, 0xE5, 0xE9, 0xDF, 0xFF, 0xAD, 0xB5,
    0x100, 0x101, 0x130, 0x131, 0x178, 0x1E9E, 0x212A, 0x212B, 0x2126, 0x3C9,
    0x391, 0x3A3, 0x3B1, 0x3C2, 0x3C3, 0x307, 0x2B0,
    0x16, 0x416, 0x436, 0x516, 0x65E5, 0x672C, 0xFFFF,
    0x10400, 0x10416, 0x10428, 0x1E900, 0x1F600, 0x10FFFF,
};

// Any code point but a surrogate, from 24 bits.
inline char32_t any_code_point(std::uint32_t bits) noexcept {
  char32_t c = bits % 0x110000;
  if (c >= 0xD800 && c <= 0xDFFF) c ^= 0x2000;
  return c;
}

// The input's alphabet: 1 to 12 code points, from the palette or any.
inline std::u32string decode_alphabet(Reader& r) {
  std::u32string alphabet;
  const std::size_t n = 1 + r.byte() % 12;
  for (std::size_t k = 0; k < n; ++k) {
    const std::uint8_t b = r.byte();
    alphabet += b < 0xF0 ? kPalette[b % std::size(kPalette)] : any_code_point(r.u24());
  }
  return alphabet;
}

// A text over `alphabet`, at most `cap` code points, as a list of steps:
//   0x00-0x7F  one code point, alphabet[op % size];
//   0x80-0x9F  end of the text;
//   0xA0-0xBF  a run of 1 to 8192 code points drawn from a seed;
//   0xC0-0xFF  the last 1 to 256 code points again, 1 to 64 times.
inline std::u32string decode_text(Reader& r, const std::u32string& alphabet, std::size_t cap) {
  std::u32string s;
  while (!r.done() && s.size() < cap) {
    const std::uint8_t op = r.byte();
    if (op < 0x80) {
      s += alphabet[op % alphabet.size()];
    } else if (op < 0xA0) {
      break;
    } else if (op < 0xC0) {
      const std::size_t length = (static_cast<std::size_t>(op & 0x1F) << 8 | r.byte()) + 1;
      std::uint64_t x = 0x9E3779B97F4A7C15u * (r.byte() + 1u);
      for (std::size_t k = 0; k < length && s.size() < cap; ++k) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        s += alphabet[x % alphabet.size()];
      }
    } else {
      const std::size_t last = std::min<std::size_t>(s.size(), std::size_t{r.byte()} + 1);
      const std::u32string piece = s.substr(s.size() - last);
      for (std::size_t k = (op & 0x3F) + 1u; k > 0 && !piece.empty() && s.size() < cap; --k) s += piece;
    }
  }
  if (s.size() > cap) s.resize(cap);
  return s;
}

// `base` with up to 15 edits: substitutions, insertions, deletions, adjacent
// swaps and cuts of up to 256 code points (which shift the rest along the
// diagonals), at most `cap` code points.
inline std::u32string decode_edits(Reader& r, std::u32string base, const std::u32string& alphabet, std::size_t cap) {
  for (std::size_t e = r.byte() % 16; e > 0; --e) {
    const std::uint8_t kind = r.byte();
    const std::size_t at = base.empty() ? 0 : r.u16() % base.size();
    const char32_t c = alphabet[kind / 8 % alphabet.size()];
    switch (kind % 5) {
      case 0: if (!base.empty()) base[at] = c; break;
      case 1: base.insert(at, 1, c); break;
      case 2: if (!base.empty()) base.erase(at, 1); break;
      case 3: if (at + 1 < base.size()) std::swap(base[at], base[at + 1]); break;
      default: base.erase(at, std::size_t{r.byte()} + 1); break;
    }
  }
  if (base.size() > cap) base.resize(cap);
  return base;
}

// A second text: independent, an edited copy of `first`, or its reverse
// edited (which the kernels meet as a text unlike the first).
inline std::u32string decode_related(Reader& r, const std::u32string& first, const std::u32string& alphabet,
                                     std::size_t cap) {
  switch (r.byte() % 4) {
    case 0: return decode_text(r, alphabet, cap);
    case 3: return decode_edits(r, std::u32string(first.rbegin(), first.rend()), alphabet, cap);
    default: return decode_edits(r, first, alphabet, cap);
  }
}

// Whether an input's texts may be long: the selector bytes must have their
// top bits set (`a` two, `b` three), one input in 32; the pair fuzzers pass
// the options byte and the max_len selector shifted left by three (whose
// values 28-31 mean no limit). Runs and repeats reach
// thousands of code points from a few bytes, so without this gate nearly
// every input would be long, and the quadratic definitions would take
// nearly all of a run; short texts are where most kernel paths and their
// edges are, and their definitions cost a small fraction of a long pair's.
//
// MORVANE_FUZZ_SHORT_ONLY=1 closes the gate: a run then spends its whole
// time on short texts, at many more inputs per second (tools/fuzz.sh prints
// the rate), since inputs that reach new paths through long texts would
// otherwise come to fill the corpus, and their mutations keep the gate open.
inline bool long_texts(std::uint8_t a, std::uint8_t b) noexcept {
  static const bool short_only = [] {
    const char* v = std::getenv("MORVANE_FUZZ_SHORT_ONLY");
    return v != nullptr && *v != '\0' && *v != '0';
  }();
  return !short_only && (a >> 6) == 3 && (b >> 5) == 7;
}

// The cap of a short input's texts: past one 64-bit word, so the multi-word
// kernels and the bands are still reached.
inline constexpr std::size_t kShortText = 100;

// case_insensitive as a caller passes it: absent, false or true.
inline std::optional<bool> fold_option(std::uint8_t bits) noexcept {
  switch (bits % 3) {
    case 0: return std::nullopt;
    case 1: return false;
    default: return true;
  }
}

// max_len from a selector byte: absent, a small limit, or one of each folded
// length minus one, the length itself and plus one.
inline std::optional<std::size_t> max_len_option(std::uint8_t sel, std::size_t len_1, std::size_t len_2) noexcept {
  if (sel < 64) return std::nullopt;
  if (sel < 128) return std::size_t{sel} - 64;
  const std::size_t base = sel & 1 ? len_1 : len_2;
  const std::size_t delta = (sel >> 1) % 3;
  return base + delta < 1 ? 0 : base + delta - 1;
}

// The error a limit gives prepared lengths len_1 and len_2: str_1 first.
inline std::optional<morvane::InputTooLong> limit_error(std::size_t len_1, std::size_t len_2,
                                                        std::optional<std::size_t> max_len) noexcept {
  if (max_len && len_1 > *max_len) return morvane::InputTooLong{"str_1", len_1, *max_len};
  if (max_len && len_2 > *max_len) return morvane::InputTooLong{"str_2", len_2, *max_len};
  return std::nullopt;
}

inline bool same_limit_error(const morvane::MatchError& got, const morvane::InputTooLong& want) noexcept {
  const auto* e = std::get_if<morvane::InputTooLong>(&got.get());
  return e != nullptr && std::string_view(e->which) == want.which && e->len == want.len && e->limit == want.limit;
}

// The narrowest width that stores every code point of `s`.
inline unsigned narrowest_width(const std::u32string& s) noexcept {
  char32_t top = 0;
  for (const char32_t c : s) top = c > top ? c : top;
  return top < 0x100 ? 1u : top < 0x10000 ? 2u : 4u;
}

// `s` stored at every width that holds it, narrowest first.
inline std::vector<reference::NativeText> every_width(const std::u32string& s) {
  std::vector<reference::NativeText> out;
  for (unsigned w = narrowest_width(s); w <= 4; w *= 2) out.emplace_back(s, w);
  return out;
}

// Pairs up to this many code points in all run at every combination of
// stored widths; a longer pair, whose kernels cost more than everything else
// in a run, at the one combination its input picks, so that runs stay short
// and the widths are covered across runs.
inline constexpr std::size_t kEveryWidthUpTo = 300;

// `s` stored at every width when `all`, else at the one of them `pick` names.
inline std::vector<reference::NativeText> widths_to_run(const std::u32string& s, bool all, unsigned pick) {
  if (all) return every_width(s);
  const unsigned narrow = narrowest_width(s);
  const unsigned choices = narrow == 1 ? 3 : narrow == 2 ? 2 : 1;
  std::vector<reference::NativeText> out;
  out.emplace_back(s, narrow << (pick % choices));
  return out;
}

// The plain lowercase form (str.lower()): each code point's own lowercase
// form, U+0130 growing to "i" and a combining dot, and a capital sigma in the
// final-sigma context becoming the final form. The per-code-point mapping and
// the context test are the core's; lower_into, which every fold uses and which
// lowers by blocks and ranges, is held to this.
inline std::u32string lower(const std::u32string& s) {
  const std::vector<std::uint32_t> units(s.begin(), s.end());
  std::u32string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    const char32_t c = s[i];
    if (c == 0x130) {
      out += U"i\u0307";
    } else if (c == 0x3A3) {
      out += morvane::is_final_sigma(units.data(), units.size(), i) ? U'\u03c2' : U'\u03c3';
    } else {
      out += morvane::lower_code_point(c);
    }
  }
  return out;
}

// Code points of a stored text.
inline std::u32string points_of(morvane::Text t) {
  std::u32string s;
  for (std::size_t i = 0; i < t.size(); ++i) s += t.at(i);
  return s;
}

// "12 [U+0061 U+03A3 ...]", the first 48 code points.
inline std::string describe(const std::u32string& s) {
  std::string out = std::to_string(s.size()) + " [";
  for (std::size_t i = 0; i < s.size() && i < 48; ++i) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%sU+%04X", i == 0 ? "" : " ", static_cast<unsigned>(s[i]));
    out += buf;
  }
  return out + (s.size() > 48 ? " ...]" : "]");
}

// Reports a mismatch and aborts, which libFuzzer records as a crash.
[[noreturn]] inline void fail(std::string_view what, const std::string& detail) {
  std::fprintf(stderr, "\n*** MISMATCH: %.*s\n%s\n", static_cast<int>(what.size()), what.data(), detail.c_str());
  std::abort();
}

inline std::string pair_detail(const std::u32string& a, const std::u32string& b) {
  return "str_1 " + describe(a) + "\nstr_2 " + describe(b);
}

// Every stored width of `s` lowers to lower(s), in units of its own width.
inline void check_lowering(const std::u32string& s, const std::u32string& expected) {
  for (const reference::NativeText& t : every_width(s)) {
    std::vector<std::uint32_t> out(t.text().size() * morvane::kMaxLoweredLength + 1);
    const std::size_t n = morvane::lower_into(t.text(), out.data());
    const std::u32string got = points_of(morvane::Text::of_width(out.data(), n, t.width(), false));
    if (got != expected) {
      fail("lower_into at width " + std::to_string(t.width()),
           "text " + describe(s) + "\nwant " + describe(expected) + "\ngot  " + describe(got));
    }
  }
  for (const char32_t c : s) {
    if (morvane::expands(c) && c != 0x130) fail("a code point other than U+0130 expands", describe(s));
  }
}

}  // namespace fuzz
