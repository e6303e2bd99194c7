// Both edit-distance batches, levenshtein_batch and damerau_batch: the query
// is prepared once (BatchQuery, any script and length); every candidate, in
// any script, is read in place through its masks by the form chosen for the
// call's level and the query's length (batch_forms.hpp), in the groups of
// batch_driver.hpp.
#include <cstddef>
#include <optional>
#include <span>

#include "batch_driver.hpp"
#include "batch_forms.hpp"
#include "morvane/batch_query.hpp"
#include "morvane/bulk_vector.hpp"
#include "morvane/damerau_batch.hpp"
#include "morvane/levenshtein_batch.hpp"
#include "morvane/simd.hpp"
#include "morvane/text.hpp"

namespace morvane {

namespace {

BulkVector<std::size_t> edit_distance_batch(batch::Measure measure, Text query, std::span<const Text> candidates,
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
  const std::size_t m = prepared.pattern.size();
  batch::score_all(prepared, level, batch::choose(measure, level, m), batch::choose(measure, SimdLevel::scalar, m),
                   candidates, prepared.case_insensitive, static_cast<std::size_t>(-1), out, lone_surrogate);
  return results;
}

}  // namespace

BulkVector<std::size_t> levenshtein_batch(Text query, std::span<const Text> candidates,
                                          std::optional<bool> case_insensitive, SimdLevel level,
                                          std::size_t* lone_surrogate) {
  return edit_distance_batch(batch::Measure::levenshtein, query, candidates, case_insensitive, level,
                             lone_surrogate);
}

BulkVector<std::size_t> levenshtein_batch(Text query, std::span<const Text> candidates,
                                          std::optional<bool> case_insensitive) {
  return levenshtein_batch(query, candidates, case_insensitive, simd_level(), nullptr);
}

BulkVector<std::size_t> damerau_batch(Text query, std::span<const Text> candidates,
                                      std::optional<bool> case_insensitive, SimdLevel level,
                                      std::size_t* lone_surrogate) {
  return edit_distance_batch(batch::Measure::damerau, query, candidates, case_insensitive, level, lone_surrogate);
}

BulkVector<std::size_t> damerau_batch(Text query, std::span<const Text> candidates,
                                      std::optional<bool> case_insensitive) {
  return damerau_batch(query, candidates, case_insensitive, simd_level(), nullptr);
}

}  // namespace morvane
