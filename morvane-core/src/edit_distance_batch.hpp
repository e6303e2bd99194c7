// One query against many candidates for both edit distances: a short ASCII
// query runs the byte kernel straight over each ASCII candidate with the
// prepared masks; every other candidate goes through the single-pair operation.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "morvane/batch_query.hpp"
#include "morvane/error.hpp"
#include "morvane/text.hpp"

namespace morvane {

// `Kernels` supplies the byte kernel, `pair` the single-pair operation.
template <class Kernels, class PairFn>
std::vector<std::size_t> edit_distance_batch(std::string_view query,
                                             std::span<const std::string_view> candidates,
                                             std::optional<bool> case_insensitive, PairFn pair) {
  const BatchQuery prepared(query, case_insensitive);
  std::vector<std::size_t> results(candidates.size());
  std::size_t* out = results.data();
  for (const std::string_view candidate : candidates) {
    std::size_t distance;
    if (prepared.char_count == 0) {
      // The candidate is measured as passed in, even when folding is asked for.
      distance = count_code_points(candidate);
    } else if (prepared.ascii_ready && is_ascii(candidate)) {
      distance = candidate.empty() ? prepared.char_count
                                   : Kernels::bytes(prepared.ascii_masks, prepared.last_bit,
                                                    prepared.char_count, candidate);
    } else {
      const Expected<std::size_t> r =
          pair(std::string_view(prepared.query), candidate, std::nullopt, prepared.case_insensitive,
               std::nullopt);
      // Without a length limit the pair operation has no error result.
      if (!r) throw Panic("edit distance without a limit reported " + r.error().to_string());
      distance = *r;
    }
    *out++ = distance;
  }
  return results;
}

}  // namespace morvane
