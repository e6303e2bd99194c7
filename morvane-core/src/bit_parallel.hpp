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

#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <type_traits>

#include "bits.hpp"
#include "morvane/error.hpp"
#include "morvane/mask_table.hpp"
#include "morvane/simd.hpp"
#include "morvane/text.hpp"

namespace morvane::bit_parallel {

// The distance after a whole text of n code points, from the column state:
// bit i of VP (VN) is set where D[i + 1][n] - D[i][n] is +1 (-1), so D[m][n]
// is D[0][n] = n plus the m lowest vertical deltas. The kernel step thus
// keeps no running score.
inline std::size_t distance_of(std::uint64_t VP, std::uint64_t VN, std::size_t m, std::size_t n) noexcept {
  const std::uint64_t rows = m >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << m) - 1;
  return n + static_cast<std::size_t>(popcount64(VP & rows)) - static_cast<std::size_t>(popcount64(VN & rows));
}

// The part of a word step both measures share, from the text character's
// diagonal vector D0: the horizontal deltas, the new vertical deltas.
inline void finish_word_step(std::uint64_t& VP, std::uint64_t& VN, std::uint64_t D0) noexcept {
  // The 1 shifted in is the first row: the distance from the empty pattern
  // prefix grows by one per text character.
  const std::uint64_t HP = ((VN | ~(D0 | VP)) << 1) | 1;
  const std::uint64_t HN = (VP & D0) << 1;
  VP = HN | ~(D0 | HP);
  VN = HP & D0;
}

struct LevenshteinWord {
  std::uint64_t VP = ~std::uint64_t{0};
  std::uint64_t VN = 0;

  void step(std::uint64_t Eq) noexcept { finish_word_step(VP, VN, (((Eq & VP) + VP) ^ VP) | Eq | VN); }
  std::size_t distance(std::size_t m, std::size_t n) const noexcept { return distance_of(VP, VN, m, n); }
};

struct DamerauWord {
  std::uint64_t VP = ~std::uint64_t{0};
  std::uint64_t VN = 0;
  std::uint64_t D0 = 0;      // diagonal vector of the previous text character
  std::uint64_t EqPrev = 0;  // match mask of the previous text character

  void step(std::uint64_t Eq) noexcept {
    // A transposition ends at position i when text[j] = pattern[i - 1],
    // text[j - 1] = pattern[i] and the diagonal did not already advance there.
    const std::uint64_t TR = (((~D0) & Eq) << 1) & EqPrev;
    D0 = (((Eq & VP) + VP) ^ VP) | Eq | VN | TR;
    finish_word_step(VP, VN, D0);
    EqPrev = Eq;
  }
  std::size_t distance(std::size_t m, std::size_t n) const noexcept { return distance_of(VP, VN, m, n); }
};

inline std::uint64_t last_bit_of(std::size_t m) noexcept { return std::uint64_t{1} << ((m - 1) % 64); }

// Single-word kernel over `text`, whose code points are all below 256, with
// the 256 direct masks of the pattern.
template <class Word, class T>
std::size_t run_direct(const std::uint64_t* masks, std::size_t m, const T* text, std::size_t n) noexcept {
  Word w;
  for (std::size_t j = 0; j < n; ++j) w.step(masks[text[j]]);
  return w.distance(m, n);
}

// Single-word kernel over `text`, any code points.
template <class Word, class T>
std::size_t run_table(const MaskTable& table, std::size_t m, const T* text, std::size_t n) noexcept {
  if constexpr (sizeof(T) == 1) {
    return run_direct<Word>(table.direct(), m, text, n);
  } else {
    Word w;
    if (!table.has_wide()) {
      // The pattern lies below 256: every wider text code point is a mismatch.
      const std::uint64_t* const masks = table.direct();
      for (std::size_t j = 0; j < n; ++j) w.step(text[j] < 256 ? masks[text[j]] : 0);
    } else if (table.one_page()) {
      for (std::size_t j = 0; j < n; ++j) w.step(table.get_paged(text[j]));
    } else {
      for (std::size_t j = 0; j < n; ++j) w.step(table.get(text[j]));
    }
    return w.distance(m, n);
  }
}

// Column state of one word of the multi-word kernels.
struct LevenshteinBlock {
  std::uint64_t VP = ~std::uint64_t{0};
  std::uint64_t VN = 0;
};

// A fresh block of either measure stands for a column whose values grow by
// one per row, and (D0 all ones) lets no transposition start from it.
struct DamerauBlock {
  std::uint64_t VP = ~std::uint64_t{0};
  std::uint64_t VN = 0;
  std::uint64_t D0 = ~std::uint64_t{0};  // of the previous text character
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

// Eight text characters at once (bit_parallel_wave.cpp), at the levels that
// have the vector instructions for it (available(level)). step_group steps the
// characters whose rows are rows[1] to rows[8] (rows[0]: the character before
// them) over words lo to hi of `blocks`, hi - lo >= 7, exactly as block_step
// would, one character after the other, each from fresh carries at word lo;
// with `joined`, the first of them without the transposition term into word
// hi. Returns the sum over the eight of HP - HN at bit `bottom` of word hi.
namespace wave {
constexpr std::size_t kLanes = 8;
// Whether a call at `level` (a supported one) steps eight characters at once.
bool available(SimdLevel level) noexcept;
std::ptrdiff_t step_group(const std::uint64_t* const* rows, LevenshteinBlock* blocks, std::size_t lo, std::size_t hi,
                          std::uint64_t bottom, bool joined) noexcept;
std::ptrdiff_t step_group(const std::uint64_t* const* rows, DamerauBlock* blocks, std::size_t lo, std::size_t hi,
                          std::uint64_t bottom, bool joined) noexcept;
}  // namespace wave

// Multi-word kernel over `text` with `words` words of rows, `Words` of them
// when it is not 0 (then the column state is a local array, which the
// compiler keeps in registers instead of storing and reloading it on every
// step) and `heap_blocks` otherwise. row_of(c) gives the row of a text code
// point, `zero_row` the row of none (the previous character's row before the
// first). The last pattern position is bit (m - 1) % 64 of word words - 1.
// Rows stay put for the whole call, so the previous character's row is kept
// by pointer. `level` is the call's instruction-set level.
template <class Block, std::size_t Words, class RowOf, class T>
std::size_t run_rows_with(RowOf&& row_of, const std::uint64_t* zero_row, std::size_t words, std::size_t m,
                          const T* text, std::size_t n, Block* heap_blocks, SimdLevel level) {
  Block local_blocks[Words == 0 ? 1 : Words];
  Block* const blocks = Words != 0 ? local_blocks : heap_blocks;
  if constexpr (Words != 0) words = Words;
  for (std::size_t k = 0; k < words; ++k) blocks[k] = Block{};
  const std::uint64_t last = last_bit_of(m);
  std::size_t score = m;
  const std::uint64_t* eq_prev = zero_row;
  std::size_t j = 0;
  if (Words == 0 && words >= wave::kLanes && wave::available(level)) {
    for (; j + wave::kLanes <= n; j += wave::kLanes) {
      const std::uint64_t* rows[wave::kLanes + 1] = {eq_prev};
      for (std::size_t l = 0; l < wave::kLanes; ++l) rows[l + 1] = row_of(text[j + l]);
      score = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(score) +
                                       wave::step_group(rows, blocks, 0, words - 1, last, false));
      eq_prev = rows[wave::kLanes];
    }
  }
  for (; j < n; ++j) {
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
                     const T* text, std::size_t n, SimdLevel level) {
  switch (words) {
    case 1: return run_rows_with<Block, 1>(row_of, zero_row, words, m, text, n, nullptr, level);
    case 2: return run_rows_with<Block, 2>(row_of, zero_row, words, m, text, n, nullptr, level);
    case 3: return run_rows_with<Block, 3>(row_of, zero_row, words, m, text, n, nullptr, level);
    case 4: return run_rows_with<Block, 4>(row_of, zero_row, words, m, text, n, nullptr, level);
    default: {
      checked_bytes(words, sizeof(Block));
      const auto blocks = std::make_unique_for_overwrite<Block[]>(words);
      return run_rows_with<Block, 0>(row_of, zero_row, words, m, text, n, blocks.get(), level);
    }
  }
}

// Banded multi-word kernel: the exact distance when it is at most `k`, and
// otherwise some value above `k` that is still an upper bound of the
// distance. `blocks` has room for `words` blocks; |n - m| <= k.
//
// An alignment through a cell on diagonal d = j - i (text position minus
// pattern position) costs at least L(d) = |d| + |n - m - d|: the length
// differences before and after the cell. So when the distance is at most k,
// every optimal path stays on the diagonals with L(d) <= k, which is
// [dmin, dmax] below. Each text character steps only the words that meet
// those diagonals widened by one row on either side; a word joins at the
// bottom when the band reaches it and leaves at the top once the band has
// passed. Cells never computed stand for values no smaller than the true
// ones:
// - the row above the first word grows by one per character from its last
//   computed value (carry HP = 1, HN = 0 into the first word);
// - a word joining at the bottom starts from a column that grows by one per
//   row from the row above it (a fresh block).
// Both are costs of real paths, so every computed value is at least the true
// one, and it equals the true one along any optimal path inside the band,
// because the recurrence is applied exactly there. The extra row on each
// side keeps the two transposition terms that read uncomputed cells (the
// one entering the first word from the row above, and the one entering a
// word in the character it joins) off the band's own cells; those terms are
// dropped, which again can only raise values. Hence: result <= k means it is
// the distance, result > k means the distance exceeds k (and is at most the
// result).
template <class Block, class RowOf, class T>
std::size_t run_band(RowOf&& row_of, const std::uint64_t* zero_row, std::size_t words, std::size_t m,
                     const T* text, std::size_t n, std::size_t k, Block* blocks, SimdLevel level) {
  using I = std::ptrdiff_t;
  // A band wider than both texts together changes nothing.
  if (k > m + n) k = m + n;
  const I diff = static_cast<I>(n) - static_cast<I>(m);
  const I slack = (static_cast<I>(k) - (diff < 0 ? -diff : diff)) / 2;
  const I dmin = (diff < 0 ? diff : 0) - slack;
  const I dmax = (diff > 0 ? diff : 0) + slack;
  // At text position j (from 1) the words holding rows j - dmax - 1 to
  // j - dmin + 1 (of 1 to m) are stepped: from first_of(j) to last_of(j),
  // both growing by at most one word per position. Positions stepped one by
  // one follow them by the positions where they grow.
  const auto first_of = [dmax](std::size_t j) {
    const I top = static_cast<I>(j) - dmax - 1;
    return top <= 1 ? std::size_t{0} : static_cast<std::size_t>(top - 1) / 64;
  };
  const auto last_of = [dmin, m](std::size_t j) {
    const I bottom = static_cast<I>(j) - dmin + 1;
    return static_cast<std::size_t>((bottom < static_cast<I>(m) ? bottom : static_cast<I>(m)) - 1) / 64;
  };
  const I words_i = static_cast<I>(words);
  std::size_t first = 0;
  std::size_t last = last_of(1);
  I next_first = 64 + dmax + 2;  // position from which word `first` is left out
  // Position at which the word after w joins, -1 for none.
  const auto next_last_of = [&](std::size_t w) {
    return static_cast<I>(w) + 1 < words_i ? 64 * (static_cast<I>(w) + 1) + dmin : I{-1};
  };
  I next_last = next_last_of(last);
  for (std::size_t w = 0; w <= last; ++w) blocks[w] = Block{};
  const std::uint64_t last_bit = last_bit_of(m);
  const auto rows_of = [&](std::size_t w) { return w + 1 == words ? m - 64 * w : std::size_t{64}; };
  const auto bottom_of = [&](std::size_t w) { return w + 1 == words ? last_bit : std::uint64_t{1} << 63; };
  // Value of the bottom row of word `last` in the previous column.
  std::size_t score = 64 * last + rows_of(last);
  const std::uint64_t* eq_prev = zero_row;
  // Eight positions at once where the band spans eight words or more (449
  // rows always do, away from the ends of the pattern).
  const bool grouped = dmax - dmin + 3 >= 64 * static_cast<I>(wave::kLanes) + 1 && wave::available(level);
  for (std::size_t j = 1; j <= n;) {
    const I ji = static_cast<I>(j);
    if (ji >= next_first) {
      first = first_of(j);
      next_first = 64 * (static_cast<I>(first) + 1) + dmax + 2;
    }
    if (grouped && j + wave::kLanes - 1 <= n && last_of(j + wave::kLanes - 1) - first >= wave::kLanes - 1) {
      // Over the words of all eight; a word that joins during them joins at
      // the first (earlier than needed, which the argument above allows).
      const std::size_t hi = last_of(j + wave::kLanes - 1);
      const bool joined = hi > last;
      if (joined) {
        blocks[hi] = Block{};
        score += rows_of(hi);
        last = hi;
        next_last = next_last_of(last);
      }
      const std::uint64_t* rows[wave::kLanes + 1] = {eq_prev};
      for (std::size_t l = 0; l < wave::kLanes; ++l) rows[l + 1] = row_of(text[j - 1 + l]);
      score = static_cast<std::size_t>(static_cast<I>(score) +
                                       wave::step_group(rows, blocks, first, last, bottom_of(last), joined));
      eq_prev = rows[wave::kLanes];
      j += wave::kLanes;
      continue;
    }
    const std::uint64_t* const eq = row_of(text[j - 1]);
    BlockCarries c;
    for (std::size_t w = first; w < last; ++w) block_step(blocks[w], eq[w], eq_prev[w], c);
    if (ji == next_last) {
      // Joins in this column: steps after its upper neighbour, without the
      // transposition term from it.
      block_step(blocks[last], eq[last], eq_prev[last], c);
      ++last;
      blocks[last] = Block{};
      score += rows_of(last);
      next_last = next_last_of(last);
      c.tr = 0;
    }
    block_step(blocks[last], eq[last], eq_prev[last], c);
    const std::uint64_t bottom = bottom_of(last);
    score += (c.HP & bottom) != 0;
    score -= (c.HN & bottom) != 0;
    eq_prev = eq;
    ++j;
  }
  return score;
}

// The band of run_band when its rows, margins included, fit one word: the
// word then follows the diagonals instead of the rows. Bit b stands for
// diagonal top - b (top = dmax + 1), that is row j - top + b at text position
// j, so that from one position to the next every vector moves down one bit
// (shifting in a fresh row at the bottom, bit 63), and the match mask is the
// pattern row's 64 positions from j - top - 1 on. Same contract as run_band,
// with |n - m| <= k <= 61.
//
// Bits above row 1 stand for rows above the matrix, whose values start as
// one per row above row 0 and grow by one per position, as the boundary
// above bit 0 does: they never undercut row 0, which thus keeps its values
// 0, 1, 2, ... So no bit needs special treatment at the start. The distance
// is read off the diagonal of the last cell, n - m (bit top - (n - m)),
// where values start at |n - m| and grow by one wherever D0 is clear.
// The transposition terms into bit 0 and bit 63 are dropped: they read
// cells outside the word.
template <bool kTranspositions, class RowOf, class T>
std::size_t run_diagonal_band(RowOf&& row_of, std::size_t words, std::size_t m, const T* text, std::size_t n,
                              std::size_t k) {
  using I = std::ptrdiff_t;
  const I diff = static_cast<I>(n) - static_cast<I>(m);
  const I slack = (static_cast<I>(k) - (diff < 0 ? -diff : diff)) / 2;
  const I top = (diff > 0 ? diff : 0) + slack + 1;
  constexpr std::uint64_t kBottom = std::uint64_t{1} << 63;
  std::uint64_t VP = ~std::uint64_t{0} << (top + 1);
  std::uint64_t VN = ~VP;
  std::uint64_t D0 = 0, eq_prev = 0;
  const unsigned diagonal = static_cast<unsigned>(top - diff);
  std::size_t score = static_cast<std::size_t>(diff < 0 ? -diff : diff);
  // Position j - top - 1 of the window at text position j, plus 64: the row
  // is read as if one word of zeros came before it and another after it.
  I from = 64 - top;
  for (std::size_t j = 0; j < n; ++j, ++from) {
    const std::uint64_t* const row = row_of(text[j]);
    const I w = from >> 6;
    const unsigned shift = static_cast<unsigned>(from & 63);
    const auto word = [&](I x) {
      const bool inside = x >= 1 && x <= static_cast<I>(words);
      return row[inside ? x - 1 : 0] & (inside ? ~std::uint64_t{0} : 0);
    };
    const std::uint64_t eq = (word(w) >> shift) | ((word(w + 1) << 1) << (63 - shift));
    const std::uint64_t vp = (VP >> 1) | kBottom;
    const std::uint64_t vn = VN >> 1;
    std::uint64_t d0 = (((eq & vp) + vp) ^ vp) | eq | vn;
    if constexpr (kTranspositions) {
      d0 |= ((~(D0 >> 1) & eq) << 1) & (eq_prev >> 1);
      D0 = d0;
      eq_prev = eq;
    }
    const std::uint64_t HP = vn | ~(d0 | vp);
    const std::uint64_t HN = vp & d0;
    score += ((d0 >> diagonal) & 1) ^ 1;
    const std::uint64_t HPs = (HP << 1) | 1;
    VP = (HN << 1) | ~(d0 | HPs);
    VN = HPs & d0;
  }
  return score;
}

template <class Block, class T>
std::size_t run_blocks(const BlockMaskTable& table, std::size_t m, const T* text, std::size_t n, SimdLevel level) {
  return run_rows<Block>([&table](char32_t c) { return table.row(c); }, table.zero_row(), table.words(), m, text,
                         n, level);
}

// The kernel forms of one measure, as the edit-distance frame and the
// batches call them.
template <class Word, class Block>
struct Kernels {
  using WordState = Word;
  using BlockState = Block;

  template <class T>
  static std::size_t direct(const std::uint64_t* masks, std::size_t m, const T* text, std::size_t n) noexcept {
    return run_direct<Word>(masks, m, text, n);
  }
  template <class T>
  static std::size_t table(const MaskTable& t, std::size_t m, const T* text, std::size_t n) noexcept {
    return run_table<Word>(t, m, text, n);
  }
  template <class T>
  static std::size_t blocks(const BlockMaskTable& t, std::size_t m, const T* text, std::size_t n, SimdLevel level) {
    return run_blocks<Block>(t, m, text, n, level);
  }
  // run_diagonal_band over a pair's table.
  template <class T>
  static std::size_t diagonal_band(const BlockMaskTable& t, std::size_t m, const T* text, std::size_t n,
                                   std::size_t k) {
    return run_diagonal_band<std::is_same_v<Block, DamerauBlock>>([&t](T c) { return t.row(c); }, t.words(), m, text,
                                                                  n, k);
  }
  // run_band over a pair's table; `scratch` holds t.words() blocks.
  template <class T>
  static std::size_t band(const BlockMaskTable& t, std::size_t m, const T* text, std::size_t n, std::size_t k,
                          Block* scratch, SimdLevel level) {
    return run_band<Block>([&t](char32_t c) { return t.row(c); }, t.zero_row(), t.words(), m, text, n, k, scratch,
                           level);
  }
};

using LevenshteinKernels = Kernels<LevenshteinWord, LevenshteinBlock>;
using DamerauKernels = Kernels<DamerauWord, DamerauBlock>;

}  // namespace morvane::bit_parallel
