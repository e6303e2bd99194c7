// One query against many candidates for both edit distances. The query is
// prepared once (QueryMasks, any script and length); every candidate, in any
// script, is read in place through those masks: common affixes are found
// through them and cut off by shifting the masks, the rest runs the measure's
// kernel. Nothing is allocated per candidate, except that a folding batch
// lowercases in full, into reused memory, the rare candidate whose lowercase
// form depends on context or grows (U+03A3, U+0130).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "bit_parallel.hpp"
#include "morvane/batch_query.hpp"
#include "morvane/bulk_vector.hpp"
#include "morvane/casefold.hpp"
#include "morvane/text.hpp"

namespace morvane {

namespace batch_detail {

// Candidates of a large batch lie all over the heap and were last touched
// when they were taken in, long enough ago to be out of the caches: asking
// for the code points of a candidate some places ahead hides most of that
// latency.
inline void prefetch_ahead(std::span<const Text> candidates, std::size_t i) noexcept {
  constexpr std::size_t kDistance = 16;
  if (i + kDistance < candidates.size()) __builtin_prefetch(candidates[i + kDistance].data());
}

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

template <class Kernels>
class EditDistanceScorer {
 public:
  explicit EditDistanceScorer(const BatchQuery& query) noexcept : q_(query), m_(query.pattern.size()) {}

  // The distance of the query and `candidate`; the query is not empty.
  std::size_t distance(Text candidate) {
    if (q_.case_insensitive && needs_full_lowering(candidate)) {
      lowered_.resize(candidate.size() * kMaxLoweredLength);
      const std::size_t n = lower_into(candidate, lowered_.data());
      // The masks answer for lowercase code points as they are.
      candidate = Text::of_width(lowered_.data(), n, candidate.width(), false);
    }
    return with_units(candidate, [this](const auto* t, std::size_t n) { return distance_of(t, n); });
  }

 private:
  template <class T>
  std::size_t distance_of(const T* t, std::size_t n) {
    const QueryMasks& masks = q_.masks;
    const std::size_t m = m_;
    if (n == 0) return m;
    const std::size_t words = masks.words();
    const auto row_of = [&masks](T c) noexcept {
      if constexpr (sizeof(T) == 1) {
        return masks.direct() + std::size_t{c} * masks.words();
      } else {
        return masks.row(c);
      }
    };
    // Common prefix and suffix, read off the masks: position k of the
    // pattern equals (the lowercase form of) code point c exactly when the
    // row of c has bit k.
    const std::size_t limit = std::min(m, n);
    std::size_t prefix = 0;
    while (prefix < limit && has_position(row_of(t[prefix]), prefix)) ++prefix;
    std::size_t suffix = 0;
    while (suffix < limit - prefix && has_position(row_of(t[n - 1 - suffix]), m - 1 - suffix)) ++suffix;
    const std::size_t rest_m = m - prefix - suffix;
    const std::size_t rest_n = n - prefix - suffix;
    if (rest_m == 0) return rest_n;
    if (rest_n == 0) return rest_m;
    const T* const text = t + prefix;
    if (rest_m <= 64) {
      // The pattern's middle as one word: masks shifted down by the prefix.
      // Bits above its last position belong to the suffix and are never read.
      typename Kernels::WordState w(rest_m, bit_parallel::last_bit_of(rest_m));
      if (words == 1) {
        if constexpr (sizeof(T) == 1) {
          const std::uint64_t* const direct = masks.direct();
          for (std::size_t j = 0; j < rest_n; ++j) w.step(direct[text[j]] >> prefix);
        } else {
          for (std::size_t j = 0; j < rest_n; ++j) w.step(masks.first(text[j]) >> prefix);
        }
      } else {
        for (std::size_t j = 0; j < rest_n; ++j) w.step(positions_from(row_of(text[j]), words, prefix));
      }
      return w.score;
    }
    // A longer middle keeps the rows as they are: only whole words of the
    // prefix are cut off (the rows are read from that word on); the rest of
    // the prefix and the suffix stay in the kernel's text and pattern.
    const std::size_t cut = prefix / 64 * 64;
    const std::size_t kept_m = m - suffix - cut;
    const std::size_t kept_n = n - suffix - cut;
    const std::size_t offset = cut / 64;
    return bit_parallel::run_rows<typename Kernels::BlockState>(
        [&](T c) noexcept { return row_of(c) + offset; }, masks.zero_row(), (kept_m + 63) / 64, kept_m, t + cut,
        kept_n);
  }

  const BatchQuery& q_;
  const std::size_t m_;
  // A candidate lowercased in full, in units of its own width.
  std::vector<std::uint32_t> lowered_;
};

}  // namespace batch_detail

// `Kernels` supplies the kernels of the measure.
template <class Kernels>
BulkVector<std::size_t> edit_distance_batch(Text query, std::span<const Text> candidates,
                                             std::optional<bool> case_insensitive) {
  const BatchQuery prepared(query, case_insensitive);
  BulkVector<std::size_t> results(candidates.size());
  std::size_t* const out = results.data();
  if (prepared.char_count == 0) {
    // The candidate is measured as passed in, even when folding is asked for.
    for (std::size_t i = 0; i < candidates.size(); ++i) out[i] = candidates[i].size();
    return results;
  }
  batch_detail::EditDistanceScorer<Kernels> scorer(prepared);
  for (std::size_t i = 0; i < candidates.size(); ++i) {
    batch_detail::prefetch_ahead(candidates, i);
    out[i] = scorer.distance(candidates[i]);
  }
  return results;
}

}  // namespace morvane
