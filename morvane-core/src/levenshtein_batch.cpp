#include "morvane/levenshtein_batch.hpp"

#include "bit_parallel.hpp"
#include "edit_distance_batch.hpp"

namespace morvane {

BulkVector<std::size_t> levenshtein_batch(std::string_view query,
                                           std::span<const std::string_view> candidates,
                                           std::optional<bool> case_insensitive) {
  return edit_distance_batch<bit_parallel::LevenshteinKernels>(query, candidates, case_insensitive);
}

}  // namespace morvane
