#include "morvane/damerau_batch.hpp"

#include "edit_distance_batch.hpp"

namespace morvane {

BulkVector<std::size_t> damerau_batch(Text query, std::span<const Text> candidates,
                                    std::optional<bool> case_insensitive, SimdLevel level,
                                    std::size_t* lone_surrogate) {
  return edit_distance_batch<batch::Measure::damerau>(query, candidates, case_insensitive, level, lone_surrogate);
}

BulkVector<std::size_t> damerau_batch(Text query, std::span<const Text> candidates,
                                    std::optional<bool> case_insensitive) {
  return damerau_batch(query, candidates, case_insensitive, simd_level(), nullptr);
}

}  // namespace morvane
