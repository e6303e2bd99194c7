// The steps shared by both edit distances around their kernels: preparation,
// the length limit, the cut-off by lengths, common affixes, empty texts, the
// choice of kernel form and the final clamp.
#pragma once

#include <algorithm>
#include <cstddef>
#include <memory>
#include <optional>

#include "bit_parallel.hpp"
#include "morvane/error.hpp"
#include "morvane/mask_table.hpp"
#include "morvane/simd.hpp"
#include "morvane/text.hpp"

namespace morvane {

namespace frame_detail {

// Rough costs of the kernel forms per text character, in units of one step
// of one word of the multi-word kernels: the single-word kernels are bound by
// the latency of their step, the multi-word ones by throughput, and both
// multi-word forms pay per character for the row lookup, the carries and the
// score, the banded one a little more for moving its band. They come from
// bit_parallel_benchmark.cpp (BM_Bytes, BM_CodePoints and BM_Blocks per
// character, BM_PairNearCopy for the bands); bench/bench_long_pairs.py shows
// the choices they make.
constexpr double kSingleWordStep = 1.7;
constexpr double kDiagonalStep = 1.7;
constexpr double kFullColumn = 0.3;
constexpr double kBandColumn = 1.2;
// Building the multi-word table, per pattern character.
constexpr double kTableChar = 0.5;
// The widest band whose rows, margins included, fit one word.
constexpr std::size_t kDiagonalBand = 61;
// The first band is only tried when it costs at most this share of the full
// kernel: it is wasted whenever the distance exceeds it.
constexpr double kFirstBandShare = 0.6;

// Cost per character of the band for bound k: one word along the diagonals,
// or the words meeting its 3 + k rows on average (at most `words`).
inline double band_cost(std::size_t k, std::size_t m, std::size_t words) noexcept {
  if (k <= kDiagonalBand) return kDiagonalStep;
  const std::size_t rows = k + 3 < m ? k + 3 : m;
  const double w = 1.0 + static_cast<double>(rows - 1) / 64.0;
  return (w < static_cast<double>(words) ? w : static_cast<double>(words)) + kBandColumn;
}

// Distance of pattern `a` (m >= 65 code points) and text `b` (n >= 1), exact
// when it is at most `bound` and above `bound` otherwise; `level` is the
// call's instruction-set level.
//
// Near copies have a distance small next to their lengths, and then a band
// of diagonals holds every optimal path: a band for bound k answers exactly
// once k reaches the distance, at a cost that grows with k, not with m. The
// first band is the widest that fits one word. A band that fails still
// returns an upper bound r of the distance; when it is not far above k
// (paths drifted out of a narrow band, or just a larger distance) the band
// for r is the last one needed, else k grows fourfold, so that a loose r (a
// block of text moved far) costs at most a few bands more than needed. Once
// a band would cost about as much as every word, the full kernel answers
// instead.
template <class Kernels, class P, class T>
std::size_t multi_word_distance(const P* a, std::size_t m, const T* b, std::size_t n, std::size_t bound,
                                SimdLevel level) {
  using Block = typename Kernels::BlockState;
  std::size_t k = m > n ? m - n : n - m;
  // Every alignment pays at least the difference of the lengths, so a bound
  // below it is exceeded already; every band needs k >= |m - n|.
  if (k > bound) return k;
  const BlockMaskTable table(a, m);
  const std::size_t words = table.words();
  const double full = static_cast<double>(words) + kFullColumn;
  if (k < kDiagonalBand) k = kDiagonalBand;
  if (k > bound) k = bound;
  if (band_cost(k, m, words) > kFirstBandShare * full) return Kernels::blocks(table, m, b, n, level);
  std::unique_ptr<Block[]> scratch;
  for (;;) {
    std::size_t r;
    if (k <= kDiagonalBand) {
      r = Kernels::diagonal_band(table, m, b, n, k);
    } else {
      if (!scratch) {
        checked_bytes(words, sizeof(Block));
        scratch = std::make_unique_for_overwrite<Block[]>(words);
      }
      r = Kernels::band(table, m, b, n, k, scratch.get(), level);
    }
    if (r <= k || k >= bound) return r;
    k = r / 16 <= k ? r : 4 * k;
    if (k > bound) k = bound;
    if (band_cost(k, m, words) >= full) return Kernels::blocks(table, m, b, n, level);
  }
}

}  // namespace frame_detail

// Distance of `a` (m code points) and `b` (n), without limit or cut-off:
// exact when it is at most `bound`, otherwise some value above `bound`.
// `level` is the call's instruction-set level.
//
// A common prefix or suffix never changes either distance: an optimal
// alignment of the rest, extended by the shared code points matched to each
// other, stays optimal, and no alignment does better. For optimal string
// alignment this includes transpositions that would straddle the boundary:
// they cannot beat matching the shared code point itself. (The core tests
// prove it against the plain dynamic programme over every pair of short
// texts on a small alphabet.) So the kernels only see the differing middle.
//
// Both distances are symmetric (reversing every operation of an alignment
// turns it into one the other way, at the same cost), so either text may be
// the kernel's pattern. A longer pattern means fewer characters to step
// through and the same number of word steps or fewer, so the longer text is
// the pattern, unless the shorter fits one word and the single-word kernel
// over the longer is cheaper.
template <class Kernels, class P, class T>
std::size_t pair_distance(const P* a, std::size_t m, const T* b, std::size_t n, std::size_t bound,
                          SimdLevel level) {
  using namespace frame_detail;
  const std::size_t prefix = common_prefix_length(a, m, b, n);
  a += prefix;
  b += prefix;
  m -= prefix;
  n -= prefix;
  const std::size_t suffix = common_suffix_length(a, m, b, n);
  m -= suffix;
  n -= suffix;
  if (m == 0) return n;
  if (n == 0) return m;
  const auto long_pattern = [level](const P* pa, std::size_t ma, const T* pb, std::size_t nb, std::size_t k) {
    return ma >= nb ? multi_word_distance<Kernels>(pa, ma, pb, nb, k, level)
                    : multi_word_distance<Kernels>(pb, nb, pa, ma, k, level);
  };
  const std::size_t shorter = m < n ? m : n;
  const std::size_t longer = m < n ? n : m;
  // Which text is the pattern of a single-word kernel, if one is used.
  bool pattern_a;
  if (longer <= 64) {
    pattern_a = m >= n;
  } else if (shorter <= 64) {
    const std::size_t words = (longer + 63) / 64;
    const double multi =
        static_cast<double>(shorter) *
            std::min(band_cost(longer - shorter, longer, words), static_cast<double>(words) + kFullColumn) +
        kTableChar * static_cast<double>(longer);
    if (kSingleWordStep * static_cast<double>(longer) > multi) return long_pattern(a, m, b, n, bound);
    pattern_a = m < n;
  } else {
    return long_pattern(a, m, b, n, bound);
  }
  MaskTable table;
  if (pattern_a) {
    table.assign_pair(a, m, b, n);
    return Kernels::table(table, m, b, n);
  }
  table.assign_pair(b, n, a, m);
  return Kernels::table(table, n, a, m);
}

// The operation on texts already folded (when folding was asked for): the
// length limit, the cut-off by lengths, the distance and the final clamp.
template <class Kernels>
Expected<std::size_t> prepared_pair_distance(Text text_1, Text text_2, std::optional<std::size_t> max_len,
                                             std::optional<std::size_t> score_cutoff, SimdLevel level) {
  const std::size_t m = text_1.size();
  const std::size_t n = text_2.size();
  if (auto error = check_limit(m, n, max_len)) return std::unexpected(*error);
  // Every alignment pays at least the difference of the lengths.
  if (score_cutoff && (m > n ? m - n : n - m) > *score_cutoff) return *score_cutoff + 1;
  // Above the cut-off the exact distance is not needed.
  const std::size_t bound = score_cutoff.value_or(static_cast<std::size_t>(-1));
  const std::size_t distance = with_units(
      text_1, text_2, [bound, level](const auto* a, std::size_t la, const auto* b, std::size_t lb) {
        return pair_distance<Kernels>(a, la, b, lb, bound, level);
      });
  if (score_cutoff && distance > *score_cutoff) return *score_cutoff + 1;
  return distance;
}

// The whole pair operation of either edit distance (levenshtein_bp,
// damerau_bp).
template <class Kernels>
Expected<std::size_t> pair_edit_distance(Text str_1, Text str_2, std::optional<std::size_t> max_len,
                                         std::optional<bool> case_insensitive,
                                         std::optional<std::size_t> score_cutoff, SimdLevel level) {
  if (!case_insensitive.value_or(false)) {
    return prepared_pair_distance<Kernels>(str_1, str_2, max_len, score_cutoff, level);
  }
  const PreparedPair pair(str_1, str_2, true);
  return prepared_pair_distance<Kernels>(pair.text_1(), pair.text_2(), max_len, score_cutoff, level);
}

}  // namespace morvane
