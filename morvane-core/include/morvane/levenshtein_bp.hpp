// Levenshtein distance of one pair: the least number of code-point insertions,
// deletions and substitutions turning str_1 into str_2.
#pragma once

#include <cstddef>
#include <optional>

#include "morvane/error.hpp"
#include "morvane/simd.hpp"
#include "morvane/text.hpp"

namespace morvane {

// str_1 is the pattern of the bit-parallel kernel, str_2 the text. With
// `case_insensitive` both are lowercased first. `max_len` bounds each
// (folded) length in code points: InputTooLong otherwise, str_1 reported
// first. With `score_cutoff` k the result is at most k + 1.
// Throws std::bad_alloc when memory runs out and Panic for a size that cannot
// be formed.
Expected<std::size_t> levenshtein_bp(Text str_1, Text str_2,
                                     std::optional<std::size_t> max_len = std::nullopt,
                                     std::optional<bool> case_insensitive = std::nullopt,
                                     std::optional<std::size_t> score_cutoff = std::nullopt);

// The same at a given instruction-set level, which must be supported: the
// result is the same at every level (the level chooses how long pairs are
// stepped).
Expected<std::size_t> levenshtein_bp(Text str_1, Text str_2, std::optional<std::size_t> max_len,
                                     std::optional<bool> case_insensitive,
                                     std::optional<std::size_t> score_cutoff, SimdLevel level);

}  // namespace morvane
