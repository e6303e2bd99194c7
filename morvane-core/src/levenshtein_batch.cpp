#include "morvane/levenshtein_batch.hpp"

#include "bit_parallel.hpp"
#include "edit_distance_batch.hpp"

namespace morvane {

BulkVector<std::size_t> levenshtein_batch(Text query,
                                           std::span<const Text> candidates,
                                           std::optional<bool> case_insensitive) {
  return edit_distance_batch<bit_parallel::LevenshteinKernels>(query, candidates, case_insensitive);
}

}  // namespace morvane
