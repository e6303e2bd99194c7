// Column state of the bit-parallel edit-distance kernels, one 64-bit word.
//
// Levenshtein: Myers, "A fast bit-vector algorithm for approximate string
// matching based on dynamic programming", J. ACM 46(3), 1999, in the global
// distance form of Hyyrö, "Explaining and extending the bit-parallel
// approximate string matching algorithm of Myers", 2001.
// Optimal string alignment: Hyyrö, "A bit-vector algorithm for computing
// Levenshtein and Damerau edit distances", Nordic J. Computing 10, 2003.
//
// Bit i of every vector stands for pattern position i. Bits above the last
// pattern position are never read: additions carry and shifts move bits only
// upwards, so they cannot disturb the positions below.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "morvane/error.hpp"
#include "morvane/mask_table.hpp"
#include "morvane/text.hpp"

namespace morvane::bit_parallel {

struct LevenshteinWord {
  std::uint64_t VP = ~std::uint64_t{0};
  std::uint64_t VN = 0;
  std::size_t score;
  std::uint64_t last;

  LevenshteinWord(std::size_t m, std::uint64_t last_bit) noexcept : score(m), last(last_bit) {}

  void step(std::uint64_t Eq) noexcept {
    const std::uint64_t D0 = (((Eq & VP) + VP) ^ VP) | Eq | VN;
    std::uint64_t HP = VN | ~(D0 | VP);
    std::uint64_t HN = VP & D0;
    score += (HP & last) != 0;
    score -= (HN & last) != 0;
    // The 1 shifted in is the first row: the distance from the empty pattern
    // prefix grows by one per text character.
    HP = (HP << 1) | 1;
    HN <<= 1;
    VP = HN | ~(D0 | HP);
    VN = HP & D0;
  }
};

struct DamerauWord {
  std::uint64_t VP = ~std::uint64_t{0};
  std::uint64_t VN = 0;
  std::uint64_t D0 = 0;      // diagonal vector of the previous text character
  std::uint64_t EqPrev = 0;  // match mask of the previous text character
  std::size_t score;
  std::uint64_t last;

  DamerauWord(std::size_t m, std::uint64_t last_bit) noexcept : score(m), last(last_bit) {}

  void step(std::uint64_t Eq) noexcept {
    // A transposition ends at position i when text[j] = pattern[i - 1],
    // text[j - 1] = pattern[i] and the diagonal did not already advance there.
    const std::uint64_t TR = (((~D0) & Eq) << 1) & EqPrev;
    D0 = (((Eq & VP) + VP) ^ VP) | Eq | VN | TR;
    std::uint64_t HP = VN | ~(D0 | VP);
    std::uint64_t HN = VP & D0;
    score += (HP & last) != 0;
    score -= (HN & last) != 0;
    HP = (HP << 1) | 1;
    HN <<= 1;
    VP = HN | ~(D0 | HP);
    VN = HP & D0;
    EqPrev = Eq;
  }
};

inline std::uint64_t last_bit_of(std::size_t m) noexcept { return std::uint64_t{1} << ((m - 1) % 64); }

// Single-word kernel over the bytes of `text`, masks indexed by byte.
template <class Word>
std::size_t run_bytes(const std::uint64_t* masks, std::uint64_t last_bit, std::size_t m,
                      std::string_view text) noexcept {
  Word w(m, last_bit);
  for (const unsigned char t : byte_span(text)) w.step(masks[t]);
  return w.score;
}

// Single-word kernel over the code points of `text`, decoded one per step.
template <class Word>
std::size_t run_code_points(const MaskTable& table, std::uint64_t last_bit, std::size_t m,
                            std::string_view text) noexcept {
  Word w(m, last_bit);
  for_each_code_point(text, [&](char32_t t) { w.step(table.get(t)); });
  return w.score;
}

// Adds a + b + carry_in, returns the low 64 bits and sets carry to the carry out.
inline std::uint64_t add_with_carry(std::uint64_t a, std::uint64_t b, std::uint64_t& carry) noexcept {
  const std::uint64_t s = a + b;
  const std::uint64_t c1 = s < a;
  const std::uint64_t r = s + carry;
  carry = c1 | (r < s);
  return r;
}

// Multi-word Levenshtein: the words behave as one 64 * words bit vector. The
// add, combine and shift passes are fused into one sweep from the least
// significant word up, which is valid because every carry only flows upwards.
inline std::size_t levenshtein_blocks(const BlockMaskTable& table, std::size_t m, std::string_view text) {
  const std::size_t words = table.words();
  checked_bytes(words, 2 * sizeof(std::uint64_t));
  const auto state = std::make_unique_for_overwrite<std::uint64_t[]>(2 * words);
  std::uint64_t* const VP = state.get();
  std::uint64_t* const VN = VP + words;
  for (std::size_t k = 0; k < words; ++k) {
    VP[k] = ~std::uint64_t{0};
    VN[k] = 0;
  }
  const std::uint64_t last = last_bit_of(m);
  std::size_t score = m;
  for_each_code_point(text, [&](char32_t t) {
    const std::uint64_t* const Eq = table.row(t);
    std::uint64_t add_carry = 0, hp_carry = 1, hn_carry = 0, HP = 0, HN = 0;
    for (std::size_t k = 0; k < words; ++k) {
      const std::uint64_t vp = VP[k], vn = VN[k], eq = Eq[k];
      const std::uint64_t X = add_with_carry(eq & vp, vp, add_carry) ^ vp;
      const std::uint64_t D0 = X | eq | vn;
      HP = vn | ~(D0 | vp);
      HN = vp & D0;
      const std::uint64_t HPs = (HP << 1) | hp_carry;
      const std::uint64_t HNs = (HN << 1) | hn_carry;
      hp_carry = HP >> 63;
      hn_carry = HN >> 63;
      VP[k] = HNs | ~(D0 | HPs);
      VN[k] = HPs & D0;
    }
    // HP and HN still hold the unshifted values of the last word.
    score += (HP & last) != 0;
    score -= (HN & last) != 0;
  });
  return score;
}

// Multi-word optimal string alignment. The transposition term of word k needs
// bit 63 of the previous word's (NOT D0) AND Eq taken from the previous text
// character, so it is formed before that word's D0 is overwritten.
inline std::size_t damerau_blocks(const BlockMaskTable& table, std::size_t m, std::string_view text) {
  const std::size_t words = table.words();
  checked_bytes(words, 3 * sizeof(std::uint64_t));
  const auto state = std::make_unique_for_overwrite<std::uint64_t[]>(3 * words);
  std::uint64_t* const VP = state.get();
  std::uint64_t* const VN = VP + words;
  std::uint64_t* const D0 = VN + words;
  for (std::size_t k = 0; k < words; ++k) {
    VP[k] = ~std::uint64_t{0};
    VN[k] = 0;
    D0[k] = 0;
  }
  const std::uint64_t last = last_bit_of(m);
  std::size_t score = m;
  // Rows stay in the table for the whole call, so the previous character's
  // match row is kept by pointer instead of being copied.
  const std::uint64_t* EqPrev = table.zero_row();
  for_each_code_point(text, [&](char32_t t) {
    const std::uint64_t* const Eq = table.row(t);
    std::uint64_t tr_carry = 0, add_carry = 0, hp_carry = 1, hn_carry = 0, HP = 0, HN = 0;
    for (std::size_t k = 0; k < words; ++k) {
      const std::uint64_t vp = VP[k], vn = VN[k], eq = Eq[k];
      const std::uint64_t u = ~D0[k] & eq;
      const std::uint64_t TR = ((u << 1) | tr_carry) & EqPrev[k];
      tr_carry = u >> 63;
      const std::uint64_t X = add_with_carry(eq & vp, vp, add_carry) ^ vp;
      const std::uint64_t d0 = X | eq | vn | TR;
      HP = vn | ~(d0 | vp);
      HN = vp & d0;
      const std::uint64_t HPs = (HP << 1) | hp_carry;
      const std::uint64_t HNs = (HN << 1) | hn_carry;
      hp_carry = HP >> 63;
      hn_carry = HN >> 63;
      VP[k] = HNs | ~(d0 | HPs);
      VN[k] = HPs & d0;
      D0[k] = d0;
    }
    score += (HP & last) != 0;
    score -= (HN & last) != 0;
    EqPrev = Eq;
  });
  return score;
}

struct LevenshteinKernels {
  static std::size_t bytes(const std::uint64_t* masks, std::uint64_t last_bit, std::size_t m,
                           std::string_view text) noexcept {
    return run_bytes<LevenshteinWord>(masks, last_bit, m, text);
  }
  static std::size_t code_points(const MaskTable& table, std::uint64_t last_bit, std::size_t m,
                                 std::string_view text) noexcept {
    return run_code_points<LevenshteinWord>(table, last_bit, m, text);
  }
  static std::size_t blocks(const BlockMaskTable& table, std::size_t m, std::string_view text) {
    return levenshtein_blocks(table, m, text);
  }
};

struct DamerauKernels {
  static std::size_t bytes(const std::uint64_t* masks, std::uint64_t last_bit, std::size_t m,
                           std::string_view text) noexcept {
    return run_bytes<DamerauWord>(masks, last_bit, m, text);
  }
  static std::size_t code_points(const MaskTable& table, std::uint64_t last_bit, std::size_t m,
                                 std::string_view text) noexcept {
    return run_code_points<DamerauWord>(table, last_bit, m, text);
  }
  static std::size_t blocks(const BlockMaskTable& table, std::size_t m, std::string_view text) {
    return damerau_blocks(table, m, text);
  }
};

}  // namespace morvane::bit_parallel
