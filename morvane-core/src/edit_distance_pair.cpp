// Both edit distances of one pair, levenshtein_bp and damerau_bp: the steps
// of edit_distance_frame.hpp around the kernels of bit_parallel.hpp.
#include "bit_parallel.hpp"
#include "edit_distance_frame.hpp"
#include "morvane/damerau_bp.hpp"
#include "morvane/levenshtein_bp.hpp"

namespace morvane {

Expected<std::size_t> levenshtein_bp(Text str_1, Text str_2, std::optional<std::size_t> max_len,
                                     std::optional<bool> case_insensitive,
                                     std::optional<std::size_t> score_cutoff, SimdLevel level) {
  return pair_edit_distance<bit_parallel::LevenshteinKernels>(str_1, str_2, max_len, case_insensitive, score_cutoff,
                                                              level);
}

Expected<std::size_t> levenshtein_bp(Text str_1, Text str_2, std::optional<std::size_t> max_len,
                                     std::optional<bool> case_insensitive,
                                     std::optional<std::size_t> score_cutoff) {
  return levenshtein_bp(str_1, str_2, max_len, case_insensitive, score_cutoff, simd_level());
}

Expected<std::size_t> damerau_bp(Text str_1, Text str_2, std::optional<std::size_t> max_len,
                                 std::optional<bool> case_insensitive, std::optional<std::size_t> score_cutoff,
                                 SimdLevel level) {
  return pair_edit_distance<bit_parallel::DamerauKernels>(str_1, str_2, max_len, case_insensitive, score_cutoff,
                                                          level);
}

Expected<std::size_t> damerau_bp(Text str_1, Text str_2, std::optional<std::size_t> max_len,
                                 std::optional<bool> case_insensitive, std::optional<std::size_t> score_cutoff) {
  return damerau_bp(str_1, str_2, max_len, case_insensitive, score_cutoff, simd_level());
}

}  // namespace morvane
