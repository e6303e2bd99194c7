// Jaro-Winkler similarity of one pair of texts.
//
// One formula, two strategies chosen by length: a bit-parallel scan for
// pairs of up to 64 code points each, in any script, and a general scan for
// everything else. The strategies yield the same matched positions, the same
// transposition count and the same common prefix, and both finish through
// jaro_winkler_detail::score, so their doubles are bit-identical.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "morvane/error.hpp"
#include "morvane/text.hpp"

namespace morvane {

inline constexpr double kDefaultPrefixScale = 0.1;
inline constexpr double kMaxPrefixScale = 0.25;

// The prefix scale to use: 0.1 when absent, `p` itself when 0.0 <= p <= 0.25
// by ordered comparison (so -0.0 passes and NaN fails), else
// InvalidPrefixScale carrying `p`.
Expected<double> validate_prefix_scale(std::optional<double> p) noexcept;

// Similarity in [0.0, 1.0] of `str_1` and `str_2`, `str_1` driving the
// matching. Checks, in order: the prefix scale, then (after
// optional full lowercase folding) `max_len` against str_1 and then str_2.
// A result below `score_cutoff` becomes 0.0; the results for empty texts
// (1.0 for two, 0.0 for one) ignore the cut-off.
//
// Allocates only for folding texts longer than LowerText keeps inline and for
// the general scan; may throw std::bad_alloc.
Expected<double> jaro_winkler_similarity(Text str_1, Text str_2,
                                         std::optional<double> p,
                                         std::optional<std::size_t> max_len,
                                         std::optional<bool> case_insensitive,
                                         std::optional<double> score_cutoff);

namespace jaro_winkler_detail {

inline constexpr std::size_t kPrefixCap = 4;
// The longest text a bit-parallel scan takes: both texts of a pair, a
// batch's candidate (its query may be longer). Longer ones go through the
// general scan, which compares code points themselves.
inline constexpr std::size_t kBitParallelMax = 64;
// Boost only above this value; it is the double nearest to 0.7.
inline constexpr double kBoostThreshold = 0.7;

// Match window for lengths len_1 and len_2: max / 2 - 1, never below 0.
constexpr std::size_t match_window(std::size_t len_1, std::size_t len_2) noexcept {
  const std::size_t longer = len_1 > len_2 ? len_1 : len_2;
  return longer < 4 ? 0 : longer / 2 - 1;
}

// Steps shared by every strategy and by the batch: from m matches (m >= 1),
// t halved transpositions and a common prefix of `prefix` code points to the
// similarity. The operation order is part of the result: the two length
// ratios are summed first, the transposition term is added to that sum and
// the total is divided (not multiplied by a third); the boost is formed as
// (1 - jaro) * (p * prefix) and added last. The build neither reassociates
// (no -ffast-math) nor fuses multiplies and adds (-ffp-contract=off), also
// where the target has fused multiply-add.
inline double score(std::size_t m, std::size_t t, std::size_t prefix, std::size_t len_1,
                    std::size_t len_2, double p) noexcept {
  const double matches = static_cast<double>(m);
  const double a = matches / static_cast<double>(len_2);
  const double b = matches / static_cast<double>(len_1);
  const double c = static_cast<double>(m - t) / matches;
  const double jaro = (c + (a + b)) / 3.0;
  if (!(jaro > kBoostThreshold)) return jaro;
  const double q = p * static_cast<double>(prefix);
  const double r = (1.0 - jaro) * q;
  return jaro + r;
}

// The match window of position i: bits max(0, i - w) to i + w, cut to 64.
constexpr std::uint64_t window_at(std::size_t i, std::size_t w) noexcept {
  const std::size_t hi = i + w + 1;
  const std::uint64_t upto = hi >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << hi) - 1;
  const std::size_t lo = i > w ? i - w : 0;
  return lo >= 64 ? 0 : upto & ~((std::uint64_t{1} << lo) - 1);
}

// The two strategies. Each takes prepared (already folded) texts, both
// non-empty, and a validated prefix scale, and returns the similarity before
// any cut-off.

// Each text at most 64 code points. Allocates nothing.
double bit_parallel_scan(Text text_1, Text text_2, double p) noexcept;

// Any lengths. Allocates working memory linear in the lengths; runs in
// O(len_1 + len_2) beyond short pairs.
double general_scan(Text text_1, Text text_2, double p);

}  // namespace jaro_winkler_detail

}  // namespace morvane
