// The one loop every batch runs: candidates in order, gathered into groups
// for the chosen form, with the scalar form for those a group cannot take.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "batch_forms.hpp"
#include "morvane/batch_query.hpp"
#include "morvane/casefold.hpp"
#include "morvane/text.hpp"

namespace morvane::batch {

// Scores every candidate with `form` where it can and with `scalar`
// otherwise, writing out[i] for candidate i. With `fold`, candidates the
// masks cannot lowercase (and candidates longer than `long_text`) are
// lowercased in full first, into memory reused from one to the next.
//
// A lane form's group runs as many steps as its longest text, so candidates
// are grouped by length: each group gathers candidates whose lengths differ
// by less than kBucketWidth, and is scored when full; the partly filled ones
// at the end. Results go to each candidate's own place, so the order in
// which groups are scored does not matter.
//
// With `lone_surrogate`, each candidate is first tested for a lone surrogate
// (just before its code points are read for scoring, so the test costs no
// extra trip to memory); at the first that holds one, its index is stored
// there and scoring stops.
template <class Out>
void score_all(const PreparedQuery& q, const Form& form, const Form& scalar, std::span<const Text> candidates,
               bool fold, std::size_t long_text, Out* out, std::size_t* lone_surrogate) {
  // Candidates of a large batch lie all over the heap and were last touched
  // when they were taken in: asking for the code points of a candidate some
  // places ahead hides most of the wait for them.
  constexpr std::size_t kAhead = 16;
  constexpr std::size_t kBucketWidth = 4;
  constexpr std::size_t kBuckets = kMaxLaneText / kBucketWidth + 1;
  std::vector<std::uint32_t> lowered;
  const std::size_t n = candidates.size();
  const bool grouped = form.lanes > 1;
  std::uint32_t pending[kBuckets][64];
  std::size_t filled[kBuckets] = {};
  // Indexes within groups count from `base` and stay below 2^32 whatever the
  // batch's size.
  std::size_t base = 0;
  const auto flush_all = [&] {
    for (std::size_t b = 0; grouped && b < kBuckets; ++b) {
      if (filled[b] != 0) form.score(q, candidates.data() + base, pending[b], filled[b], out + base);
      filled[b] = 0;
    }
  };
  for (std::size_t i = 0; i < n; ++i) {
    if (i + kAhead < n) __builtin_prefetch(candidates[i + kAhead].data());
    const Text c = candidates[i];
    // One pass over a wide candidate's units answers both questions.
    const unsigned flags = c.width() > 1 && (fold || lone_surrogate != nullptr) ? wide_flags(c, fold) : 0;
    if (lone_surrogate != nullptr && (flags & kLoneSurrogate) != 0) {
      *lone_surrogate = i;
      return;
    }
    const std::uint32_t self = 0;
    if (fold && (c.size() > long_text || (flags & kContextual) != 0)) {
      lowered.resize(c.size() * kMaxLoweredLength);
      const Text l = Text::of_width(lowered.data(), lower_into(c, lowered.data()), c.width(), c.ascii());
      scalar.score(q, &l, &self, 1, out + i);
      continue;
    }
    if (!grouped || c.size() > form.max_text) {
      scalar.score(q, &c, &self, 1, out + i);
      continue;
    }
    if (i - base > 0xFFFFFFFFu) {
      flush_all();
      base = i;
    }
    const std::size_t b = c.size() / kBucketWidth;
    pending[b][filled[b]++] = static_cast<std::uint32_t>(i - base);
    if (filled[b] == form.lanes) {
      form.score(q, candidates.data() + base, pending[b], filled[b], out + base);
      filled[b] = 0;
    }
  }
  flush_all();
}

// Finds the first candidate that holds a lone surrogate, for batches that
// score without reading code points.
inline bool find_lone_surrogate(std::span<const Text> candidates, std::size_t* lone_surrogate) noexcept {
  if (lone_surrogate == nullptr) return false;
  for (std::size_t i = 0; i < candidates.size(); ++i) {
    if (has_lone_surrogate(candidates[i])) {
      *lone_surrogate = i;
      return true;
    }
  }
  return false;
}

}  // namespace morvane::batch
