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

namespace batch_detail {

// Candidates of a large batch lie all over the heap and were last touched
// when they were taken in, long enough ago to be out of the caches: asking
// for the bytes of a candidate some places ahead hides most of that latency.
inline void prefetch_ahead(std::span<const std::string_view> candidates, std::size_t i) noexcept {
  constexpr std::size_t kDistance = 16;
  if (i + kDistance < candidates.size()) __builtin_prefetch(candidates[i + kDistance].data());
}

// The byte kernel over every candidate of an ASCII-ready query. Whether a
// candidate is ASCII is learnt while its bytes are read (bytes from 0x80 up
// read all-zero masks, so the pass is harmless); one that is not is then
// scored by `fallback` instead. This spares a separate ASCII pass over every
// candidate.
template <class Word, class Fallback>
void score_ascii_ready(const BatchQuery& q, std::span<const std::string_view> candidates, std::size_t* out,
                       Fallback&& fallback) {
  const std::uint64_t* const masks = q.ascii_masks;
  const std::size_t m = q.char_count;
  for (std::size_t i = 0; i < candidates.size(); ++i) {
    prefetch_ahead(candidates, i);
    const std::string_view c = candidates[i];
    Word word(m, q.last_bit);
    unsigned char seen = 0;
    for (const unsigned char t : byte_span(c)) {
      seen |= t;
      word.step(masks[t]);
    }
    // An empty candidate leaves the score at m, its distance.
    out[i] = (seen & 0x80) ? fallback(c) : word.score;
  }
}

}  // namespace batch_detail

// `Kernels` supplies the byte kernel, `pair` the single-pair operation.
template <class Kernels, class PairFn>
std::vector<std::size_t> edit_distance_batch(std::string_view query,
                                             std::span<const std::string_view> candidates,
                                             std::optional<bool> case_insensitive, PairFn pair) {
  const BatchQuery prepared(query, case_insensitive);
  std::vector<std::size_t> results(candidates.size());
  std::size_t* const out = results.data();
  const auto fallback = [&](std::string_view candidate) {
    const Expected<std::size_t> r =
        pair(std::string_view(prepared.query), candidate, std::nullopt, prepared.case_insensitive, std::nullopt);
    // Without a length limit the pair operation has no error result.
    if (!r) throw Panic("edit distance without a limit reported " + r.error().to_string());
    return *r;
  };
  if (prepared.char_count == 0) {
    // The candidate is measured as passed in, even when folding is asked for.
    for (std::size_t i = 0; i < candidates.size(); ++i) out[i] = count_code_points(candidates[i]);
  } else if (prepared.ascii_ready) {
    batch_detail::score_ascii_ready<typename Kernels::WordState>(prepared, candidates, out, fallback);
  } else {
    for (std::size_t i = 0; i < candidates.size(); ++i) out[i] = fallback(candidates[i]);
  }
  return results;
}

}  // namespace morvane
