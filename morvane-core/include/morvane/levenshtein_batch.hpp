// Levenshtein distance of one query against every candidate.
#pragma once

#include <cstddef>
#include <optional>
#include <span>

#include "morvane/bulk_vector.hpp"
#include "morvane/simd.hpp"
#include "morvane/text.hpp"

namespace morvane {

// One distance per candidate, in order. Each equals levenshtein_bp(query,
// candidate, no limit, case_insensitive, no cut-off), except that an empty
// query gives the candidate's unfolded code-point count.
BulkVector<std::size_t> levenshtein_batch(Text query, std::span<const Text> candidates,
                                    std::optional<bool> case_insensitive = std::nullopt);

// The same at a given instruction-set level, which must be supported: the
// results are the same at every level. With `lone_surrogate`, candidates may
// hold lone surrogates: each is tested before it is scored, and at the first
// that holds one its index is stored there and the results are unspecified;
// otherwise it is set to SIZE_MAX.
BulkVector<std::size_t> levenshtein_batch(Text query, std::span<const Text> candidates,
                                    std::optional<bool> case_insensitive, SimdLevel level,
                                    std::size_t* lone_surrogate = nullptr);

}  // namespace morvane
