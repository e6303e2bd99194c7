// The steps shared by both edit distances around their kernels: preparation,
// the length limit, the cut-off by lengths, common affixes, empty texts, the
// choice of kernel form and the final clamp.
#pragma once

#include <cstddef>
#include <optional>

#include "bit_parallel.hpp"
#include "morvane/error.hpp"
#include "morvane/mask_table.hpp"
#include "morvane/text.hpp"

namespace morvane {

// Distance of pattern `a` (m code points) and text `b` (n), without limit or
// cut-off.
//
// A common prefix or suffix never changes either distance: an optimal
// alignment of the rest, extended by the shared code points matched to each
// other, stays optimal, and no alignment does better. For optimal string
// alignment this includes transpositions that would straddle the boundary:
// they cannot beat matching the shared code point itself. (The core tests
// prove it against the plain dynamic programme over every pair of short
// texts on a small alphabet.) So the kernels only see the differing middle.
template <class Kernels, class P, class T>
std::size_t pair_distance(const P* a, std::size_t m, const T* b, std::size_t n) {
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
  if (m <= 64) {
    MaskTable table;
    table.assign_pair(a, m, b, n);
    return Kernels::table(table, m, b, n);
  }
  const BlockMaskTable table(a, m);
  return Kernels::blocks(table, m, b, n);
}

template <class Kernels>
Expected<std::size_t> edit_distance_of(Text text_1, Text text_2, std::optional<std::size_t> max_len,
                                       std::optional<std::size_t> score_cutoff) {
  const std::size_t m = text_1.size();
  const std::size_t n = text_2.size();
  if (auto error = check_limit(m, n, max_len)) return std::unexpected(*error);
  // Every alignment pays at least the difference of the lengths.
  if (score_cutoff && (m > n ? m - n : n - m) > *score_cutoff) return *score_cutoff + 1;
  const std::size_t distance = with_units(text_1, text_2, [](const auto* a, std::size_t la, const auto* b,
                                                            std::size_t lb) {
    return pair_distance<Kernels>(a, la, b, lb);
  });
  if (score_cutoff && distance > *score_cutoff) return *score_cutoff + 1;
  return distance;
}

template <class Kernels>
Expected<std::size_t> edit_distance(Text str_1, Text str_2, std::optional<std::size_t> max_len,
                                    std::optional<bool> case_insensitive,
                                    std::optional<std::size_t> score_cutoff) {
  if (!case_insensitive.value_or(false)) return edit_distance_of<Kernels>(str_1, str_2, max_len, score_cutoff);
  const PreparedPair pair(str_1, str_2, true);
  return edit_distance_of<Kernels>(pair.text_1(), pair.text_2(), max_len, score_cutoff);
}

}  // namespace morvane
