// Reading a batch query's masks (QueryMasks) by candidate code unit and by
// pattern position, as the scalar forms do.
#pragma once

#include <cstddef>
#include <cstdint>

#include "morvane/batch_query.hpp"

namespace morvane::batch {

// Whether query position k is set in `row`.
inline bool has_position(const std::uint64_t* row, std::size_t k) noexcept { return (row[k / 64] >> (k % 64)) & 1; }

// The 64 positions of `row` from position `from` on, as one word.
inline std::uint64_t positions_from(const std::uint64_t* row, std::size_t words, std::size_t from) noexcept {
  const std::size_t k = from / 64;
  const unsigned r = from % 64;
  std::uint64_t w = row[k] >> r;
  if (r != 0 && k + 1 < words) w |= row[k + 1] << (64 - r);
  return w;
}

// The row of a code unit: one-byte units index the direct rows.
template <class T>
const std::uint64_t* row_of(const QueryMasks& masks, T c) noexcept {
  if constexpr (sizeof(T) == 1) {
    return masks.direct() + std::size_t{c} * masks.words();
  } else {
    return masks.row(c);
  }
}

// Word 0 of the row of a code unit, for a pattern of one word.
template <class T>
std::uint64_t word_of(const QueryMasks& masks, T c) noexcept {
  if constexpr (sizeof(T) == 1) {
    return masks.direct()[c];
  } else {
    return masks.first(c);
  }
}

}  // namespace morvane::batch
