// The steps shared by both edit distances around their kernels: preparation,
// the length limit, the cut-off by lengths, empty texts, the choice of kernel
// form and the final clamp.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "bit_parallel.hpp"
#include "morvane/error.hpp"
#include "morvane/mask_table.hpp"
#include "morvane/text.hpp"

namespace morvane {

template <class Kernels>
Expected<std::size_t> edit_distance(std::string_view str_1, std::string_view str_2,
                                    std::optional<std::size_t> max_len,
                                    std::optional<bool> case_insensitive,
                                    std::optional<std::size_t> score_cutoff) {
  const PreparedPair pair(str_1, str_2, case_insensitive.value_or(false));
  if (auto error = check_limit(pair.len_1, pair.len_2, max_len)) return std::unexpected(*error);
  const std::size_t m = pair.len_1;
  const std::size_t n = pair.len_2;
  // Every alignment pays at least the difference of the lengths.
  if (score_cutoff && (m > n ? m - n : n - m) > *score_cutoff) return *score_cutoff + 1;

  std::size_t distance;
  if (m == 0) {
    distance = n;
  } else if (n == 0) {
    distance = m;
  } else if (m <= 64) {
    MaskTable table;
    const std::uint64_t last = bit_parallel::last_bit_of(m);
    if (pair.all_ascii) {
      table.assign_ascii_pair(pair.text_1, pair.text_2);
      distance = Kernels::bytes(table.direct(), last, m, pair.text_2);
    } else {
      table.assign_code_point_pair(pair.text_1, pair.text_2);
      distance = Kernels::code_points(table, last, m, pair.text_2);
    }
  } else {
    const BlockMaskTable table(pair.text_1, m);
    distance = Kernels::blocks(table, m, pair.text_2);
  }
  if (score_cutoff && distance > *score_cutoff) return *score_cutoff + 1;
  return distance;
}

}  // namespace morvane
