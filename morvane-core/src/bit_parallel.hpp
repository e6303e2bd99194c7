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

#if defined(__x86_64__)
#include <x86intrin.h>
#endif

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

// Adds a + b + carry (0 or 1), returns the low 64 bits and leaves the carry
// out in `carry`.
inline std::uint64_t add_with_carry(std::uint64_t a, std::uint64_t b, std::uint64_t& carry) noexcept {
#if defined(__x86_64__)
  unsigned long long r;
  carry = _addcarry_u64(static_cast<unsigned char>(carry), a, b, &r);
  return r;
#else
  const std::uint64_t s = a + b;
  const std::uint64_t c1 = s < a;
  const std::uint64_t r = s + carry;
  carry = c1 | (r < s);
  return r;
#endif
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
struct BlockCarries {
  std::uint64_t add = 0;  // the addition's carry
  std::uint64_t hp = 1;   // bit 63 of HP; 1 into word 0 is the first row
  std::uint64_t hn = 0;   // bit 63 of HN
  std::uint64_t tr = 0;   // bit 63 of (NOT D0) AND Eq, for transpositions
  std::uint64_t HP = 0;   // unshifted HP and HN of the last word processed
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
  const std::uint64_t X = add_with_carry(eq & vp, vp, c.add) ^ vp;
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
  const std::uint64_t X = add_with_carry(eq & vp, vp, c.add) ^ vp;
  const std::uint64_t D0 = X | eq | vn | TR;
  finish_block_step(b, vp, vn, D0, c);
  b.D0 = D0;
}

// Multi-word kernel over `text`, with `Words` words when it is not 0 and
// table.words() words in `heap_blocks` otherwise. With a fixed count the
// column state is a local array, which the compiler keeps in registers
// instead of storing and reloading it on every step. Rows stay in the table
// for the whole call, so the previous character's row is kept by pointer.
template <class Block, std::size_t Words>
std::size_t run_blocks_with(const BlockMaskTable& table, std::size_t m, std::string_view text,
                            Block* heap_blocks) {
  Block local_blocks[Words == 0 ? 1 : Words];
  Block* const blocks = Words != 0 ? local_blocks : heap_blocks;
  const std::size_t words = Words != 0 ? Words : table.words();
  for (std::size_t k = 0; k < words; ++k) blocks[k] = Block{};
  const std::uint64_t last = last_bit_of(m);
  std::size_t score = m;
  const std::uint64_t* eq_prev = table.zero_row();
  const auto step = [&](const std::uint64_t* eq) {
    BlockCarries c;
    for (std::size_t k = 0; k < words; ++k) block_step(blocks[k], eq[k], eq_prev[k], c);
    score += (c.HP & last) != 0;
    score -= (c.HN & last) != 0;
    eq_prev = eq;
  };
  if (is_ascii(text)) {
    for (const unsigned char t : byte_span(text)) step(table.row(t));
  } else {
    for_each_code_point(text, [&](char32_t t) { step(table.row(t)); });
  }
  return score;
}

template <class Block>
std::size_t run_blocks(const BlockMaskTable& table, std::size_t m, std::string_view text) {
  switch (table.words()) {
    case 2: return run_blocks_with<Block, 2>(table, m, text, nullptr);
    case 3: return run_blocks_with<Block, 3>(table, m, text, nullptr);
    case 4: return run_blocks_with<Block, 4>(table, m, text, nullptr);
    default: {
      checked_bytes(table.words(), sizeof(Block));
      const auto blocks = std::make_unique_for_overwrite<Block[]>(table.words());
      return run_blocks_with<Block, 0>(table, m, text, blocks.get());
    }
  }
}

// The three kernel forms of one measure, as the edit-distance frame and the
// batches call them.
template <class Word, class Block>
struct Kernels {
  using WordState = Word;

  static std::size_t bytes(const std::uint64_t* masks, std::uint64_t last_bit, std::size_t m,
                           std::string_view text) noexcept {
    return run_bytes<Word>(masks, last_bit, m, text);
  }
  static std::size_t code_points(const MaskTable& table, std::uint64_t last_bit, std::size_t m,
                                 std::string_view text) noexcept {
    return run_code_points<Word>(table, last_bit, m, text);
  }
  static std::size_t blocks(const BlockMaskTable& table, std::size_t m, std::string_view text) {
    return run_blocks<Block>(table, m, text);
  }
};

using LevenshteinKernels = Kernels<LevenshteinWord, LevenshteinBlock>;
using DamerauKernels = Kernels<DamerauWord, DamerauBlock>;

}  // namespace morvane::bit_parallel
