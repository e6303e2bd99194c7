// One query against many candidates for both edit distances. The query is
// prepared once (QueryMasks, any script and length); every candidate, in any
// script, is read in place through those masks by the form chosen for the
// level and the query's length (batch_forms.hpp).
#pragma once

#include <cstddef>
#include <optional>
#include <span>

#include "batch_driver.hpp"
#include "batch_forms.hpp"
#include "morvane/batch_query.hpp"
#include "morvane/bulk_vector.hpp"
#include "morvane/simd.hpp"
#include "morvane/text.hpp"

namespace morvane {

template <batch::Measure kMeasure>
BulkVector<std::size_t> edit_distance_batch(Text query, std::span<const Text> candidates,
                                             std::optional<bool> case_insensitive, SimdLevel level,
                                             std::size_t* lone_surrogate) {
  if (lone_surrogate != nullptr) *lone_surrogate = static_cast<std::size_t>(-1);
  BatchQuery prepared(query, case_insensitive);
  BulkVector<std::size_t> results(candidates.size());
  std::size_t* const out = results.data();
  if (prepared.char_count == 0) {
    if (batch::find_lone_surrogate(candidates, lone_surrogate)) return results;
    // The candidate is measured as passed in, even when folding is asked for.
    for (std::size_t i = 0; i < candidates.size(); ++i) out[i] = candidates[i].size();
    return results;
  }
  if (candidates.size() >= batch::kIndexBasicPlaneFrom) prepared.masks.index_basic_plane();
  const batch::PreparedQuery q{&prepared.masks, prepared.pattern.data(), prepared.pattern.size(), 0.0};
  const std::size_t m = prepared.pattern.size();
  batch::score_all(q, level, batch::choose(kMeasure, level, m), batch::choose(kMeasure, SimdLevel::scalar, m), candidates,
                   prepared.case_insensitive, static_cast<std::size_t>(-1), out, lone_surrogate);
  return results;
}

}  // namespace morvane
