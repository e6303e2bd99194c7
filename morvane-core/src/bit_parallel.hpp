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

#include "morvane/error.hpp"
#include "morvane/mask_table.hpp"
#include "morvane/text.hpp"

namespace morvane::bit_parallel {

struct LevenshteinWord {
  std::uint64_t VP = ~std::uint64_t{0};
  std::uint64_t VN = 0;
  std::size_t score = 0;
  std::uint64_t last = 0;

  LevenshteinWord() noexcept = default;
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
  std::size_t score = 0;
  std::uint64_t last = 0;

  DamerauWord() noexcept = default;
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

// Single-word kernel over `text`, whose code points are all below 256, with
// the 256 direct masks of the pattern.
template <class Word, class T>
std::size_t run_direct(const std::uint64_t* masks, std::uint64_t last_bit, std::size_t m, const T* text,
                       std::size_t n) noexcept {
  Word w(m, last_bit);
  for (std::size_t j = 0; j < n; ++j) w.step(masks[text[j]]);
  return w.score;
}

// Single-word kernel over `text`, any code points.
template <class Word, class T>
std::size_t run_table(const MaskTable& table, std::uint64_t last_bit, std::size_t m, const T* text,
                      std::size_t n) noexcept {
  if constexpr (sizeof(T) == 1) {
    return run_direct<Word>(table.direct(), last_bit, m, text, n);
  } else {
    Word w(m, last_bit);
    if (!table.has_wide()) {
      // The pattern lies below 256: every wider text code point is a mismatch.
      const std::uint64_t* const masks = table.direct();
      for (std::size_t j = 0; j < n; ++j) w.step(text[j] < 256 ? masks[text[j]] : 0);
    } else {
      for (std::size_t j = 0; j < n; ++j) w.step(table.get(text[j]));
    }
    return w.score;
  }
}

// Column state of one word of the multi-word kernels.
struct LevenshteinBlock {
  std::uint64_t VP = ~std::uint64_t{0};
  std::uint64_t VN = 0;
};

struct DamerauBlock {
  std::uint64_t VP = ~std::uint64_t{0};
  std::uint64_t VN = 0;
  std::uint64_t D0 = 0;  // of the previous text character
};

// Carries from word k to word k + 1 within one text character.
//
// The addition (Eq & VP) + VP carries into bit i exactly
// VP[i-1] & (Eq[i-1] | carry[i-1]), which is how HN[i-1] = VP[i-1] & D0[i-1]
// unfolds: VN never shares a bit with VP, and neither does a transposition
// bit (one under a VP bit would need a vertical step of two in the column two
// characters back). So the addition's carry out of a word is bit 63 of the
// word's HN, and one carry serves both.
struct BlockCarries {
  std::uint64_t hp = 1;  // bit 63 of HP; 1 into word 0 is the first row
  std::uint64_t hn = 0;  // bit 63 of HN
  std::uint64_t tr = 0;  // bit 63 of (NOT D0) AND Eq, for transpositions
  std::uint64_t HP = 0;  // unshifted HP and HN of the last word processed
  std::uint64_t HN = 0;
};

// The part of one word's step that both measures share, from the word's
// diagonal vector D0 and its vertical deltas `vp`, `vn` before the step: the
// horizontal deltas, their carries into the next word, and the word's new
// vertical deltas.
template <class Block>
inline void finish_block_step(Block& b, std::uint64_t vp, std::uint64_t vn, std::uint64_t D0,
                              BlockCarries& c) noexcept {
  const std::uint64_t HP = vn | ~(D0 | vp);
  const std::uint64_t HN = vp & D0;
  const std::uint64_t HPs = (HP << 1) | c.hp;
  const std::uint64_t HNs = (HN << 1) | c.hn;
  c.hp = HP >> 63;
  c.hn = HN >> 63;
  c.HP = HP;
  c.HN = HN;
  b.VP = HNs | ~(D0 | HPs);
  b.VN = HPs & D0;
}

// One word of one text character. The words behave as one 64 * words bit
// vector: every carry flows from word k to word k + 1 only, so the add,
// combine and shift passes can be fused into one sweep upwards.
inline void block_step(LevenshteinBlock& b, std::uint64_t eq, std::uint64_t /*eq_prev*/, BlockCarries& c) noexcept {
  const std::uint64_t vp = b.VP, vn = b.VN;
  const std::uint64_t X = ((eq & vp) + vp + c.hn) ^ vp;
  finish_block_step(b, vp, vn, X | eq | vn, c);
}

// The transposition term of word k needs bit 63 of the previous word's
// (NOT D0) AND Eq for the previous text character, so it is formed before
// that word's D0 is overwritten.
inline void block_step(DamerauBlock& b, std::uint64_t eq, std::uint64_t eq_prev, BlockCarries& c) noexcept {
  const std::uint64_t vp = b.VP, vn = b.VN;
  const std::uint64_t u = ~b.D0 & eq;
  const std::uint64_t TR = ((u << 1) | c.tr) & eq_prev;
  c.tr = u >> 63;
  const std::uint64_t X = ((eq & vp) + vp + c.hn) ^ vp;
  const std::uint64_t D0 = X | eq | vn | TR;
  finish_block_step(b, vp, vn, D0, c);
  b.D0 = D0;
}

// Multi-word kernel over `text` with `words` words of rows, `Words` of them
// when it is not 0 (then the column state is a local array, which the
// compiler keeps in registers instead of storing and reloading it on every
// step) and `heap_blocks` otherwise. row_of(c) gives the row of a text code
// point, `zero_row` the row of none (the previous character's row before the
// first). The last pattern position is bit (m - 1) % 64 of word words - 1.
// Rows stay put for the whole call, so the previous character's row is kept
// by pointer.
template <class Block, std::size_t Words, class RowOf, class T>
std::size_t run_rows_with(RowOf&& row_of, const std::uint64_t* zero_row, std::size_t words, std::size_t m,
                          const T* text, std::size_t n, Block* heap_blocks) {
  Block local_blocks[Words == 0 ? 1 : Words];
  Block* const blocks = Words != 0 ? local_blocks : heap_blocks;
  if constexpr (Words != 0) words = Words;
  for (std::size_t k = 0; k < words; ++k) blocks[k] = Block{};
  const std::uint64_t last = last_bit_of(m);
  std::size_t score = m;
  const std::uint64_t* eq_prev = zero_row;
  for (std::size_t j = 0; j < n; ++j) {
    const std::uint64_t* const eq = row_of(text[j]);
    BlockCarries c;
    for (std::size_t k = 0; k < words; ++k) block_step(blocks[k], eq[k], eq_prev[k], c);
    score += (c.HP & last) != 0;
    score -= (c.HN & last) != 0;
    eq_prev = eq;
  }
  return score;
}

template <class Block, class RowOf, class T>
std::size_t run_rows(RowOf&& row_of, const std::uint64_t* zero_row, std::size_t words, std::size_t m,
                     const T* text, std::size_t n) {
  switch (words) {
    case 1: return run_rows_with<Block, 1>(row_of, zero_row, words, m, text, n, nullptr);
    case 2: return run_rows_with<Block, 2>(row_of, zero_row, words, m, text, n, nullptr);
    case 3: return run_rows_with<Block, 3>(row_of, zero_row, words, m, text, n, nullptr);
    case 4: return run_rows_with<Block, 4>(row_of, zero_row, words, m, text, n, nullptr);
    default: {
      checked_bytes(words, sizeof(Block));
      const auto blocks = std::make_unique_for_overwrite<Block[]>(words);
      return run_rows_with<Block, 0>(row_of, zero_row, words, m, text, n, blocks.get());
    }
  }
}

template <class Block, class T>
std::size_t run_blocks(const BlockMaskTable& table, std::size_t m, const T* text, std::size_t n) {
  return run_rows<Block>([&table](char32_t c) { return table.row(c); }, table.zero_row(), table.words(), m, text,
                         n);
}

// The kernel forms of one measure, as the edit-distance frame and the
// batches call them.
template <class Word, class Block>
struct Kernels {
  using WordState = Word;
  using BlockState = Block;

  template <class T>
  static std::size_t direct(const std::uint64_t* masks, std::uint64_t last_bit, std::size_t m, const T* text,
                            std::size_t n) noexcept {
    return run_direct<Word>(masks, last_bit, m, text, n);
  }
  template <class T>
  static std::size_t table(const MaskTable& t, std::uint64_t last_bit, std::size_t m, const T* text,
                           std::size_t n) noexcept {
    return run_table<Word>(t, last_bit, m, text, n);
  }
  template <class T>
  static std::size_t blocks(const BlockMaskTable& t, std::size_t m, const T* text, std::size_t n) {
    return run_blocks<Block>(t, m, text, n);
  }
};

using LevenshteinKernels = Kernels<LevenshteinWord, LevenshteinBlock>;
using DamerauKernels = Kernels<DamerauWord, DamerauBlock>;

}  // namespace morvane::bit_parallel
