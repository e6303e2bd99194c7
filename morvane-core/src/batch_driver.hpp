// The one loop every batch runs: candidates in order, gathered into groups
// for the chosen form, with the scalar form for those a group cannot take.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "batch_forms.hpp"
#include "morvane/batch_query.hpp"
#include "morvane/bulk_vector.hpp"
#include "morvane/lower.hpp"
#include "morvane/text.hpp"

namespace morvane::batch {

constexpr std::size_t kBucketWidth = 4;
constexpr std::size_t kLengths = kMaxLaneText / kBucketWidth + 1;
constexpr std::size_t kBuckets = 3 * kLengths;

// The bucket of a text: its storage width and its length in steps of
// kBucketWidth.
inline std::size_t bucket_of(Text t) noexcept { return t.log_width() * kLengths + t.size() / kBucketWidth; }

// Candidates that only lowercase in full (a capital sigma decides by its
// context, U+0130 grows), lowered into storage of their own and scored in
// groups like the others rather than one by one: a Greek list holds many.
// A group's texts share one block, lane k's at k * kMaxLaneText units.
// Blocks are made on first use, so batches without such candidates pay
// nothing.
template <class Out>
class LoweredGroups {
 public:
  LoweredGroups(const BatchQuery& q, SimdLevel level, const Form& form, Out* out) noexcept
      : q_(q), level_(level), form_(form), out_(out) {}

  // Adds candidate i, whose lowercase form `l` holds at most form.max_text
  // code points.
  void add(std::size_t i, Text l) {
    if (!buckets_) buckets_ = std::make_unique<Bucket[]>(kBuckets);
    Bucket& g = buckets_[bucket_of(l)];
    const std::size_t stride = kMaxLaneText * l.width();
    if (g.storage.empty()) g.storage.resize(form_.lanes * stride);
    unsigned char* const slot = g.storage.data() + g.count * stride;
    __builtin_memcpy(slot, l.data(), l.size() * l.width());
    g.texts[g.count] = Text::of_log_width(slot, l.size(), l.log_width(), l.ascii());
    g.where[g.count] = i;
    if (++g.count == form_.lanes) flush(g);
  }

  void flush_all() {
    for (std::size_t b = 0; buckets_ && b < kBuckets; ++b) {
      if (buckets_[b].count != 0) flush(buckets_[b]);
    }
  }

 private:
  struct Bucket {
    std::vector<unsigned char> storage;
    Text texts[64];
    std::size_t where[64];
    std::size_t count = 0;
  };

  void flush(Bucket& g) {
    static constexpr auto kInOrder = [] {
      std::array<std::uint32_t, 64> a{};
      for (std::uint32_t k = 0; k < 64; ++k) a[k] = k;
      return a;
    }();
    Out scores[64];
    form_.score(q_, level_, g.texts, kInOrder.data(), g.count, scores);
    for (std::size_t k = 0; k < g.count; ++k) out_[g.where[k]] = scores[k];
    g.count = 0;
  }

  const BatchQuery& q_;
  SimdLevel level_;
  const Form& form_;
  Out* out_;
  std::unique_ptr<Bucket[]> buckets_;
};

// Scores every candidate with `form` where it can and with `scalar`
// otherwise, writing out[i] for candidate i; `level` is the call's. With `fold`, candidates the
// masks cannot lowercase (and candidates longer than `long_text`) are
// lowercased in full first; the short ones then join LoweredGroups, the
// others are scored one by one from memory reused from one to the next.
//
// A lane form's group runs as many steps as its longest text, so candidates
// are grouped by length: each group gathers candidates whose lengths differ
// by less than kBucketWidth, and is scored when full; the partly filled ones
// at the end. Groups are also of one storage width, so that filling a group
// does not mispredict a branch on the width of each candidate of a batch
// that mixes them. Results go to each candidate's own place, so the order in
// which groups are scored does not matter.
//
// With `lone_surrogate`, every candidate is tested for a lone surrogate, and
// the index of the first that holds one is stored there (the scores are
// then of no use). When folding, the test is the pass that also looks for
// code points to lowercase in full, made as each candidate comes; otherwise
// a group's candidates are tested together just before the group is scored
// (the code points are then in cache, and the branch on the width that a
// test per candidate would take is taken once per group).
template <class Out>
void score_all(const BatchQuery& q, SimdLevel level, const Form& form, const Form& scalar,
               std::span<const Text> candidates, bool fold, std::size_t long_text, Out* out,
               std::size_t* lone_surrogate) {
  // Candidates of a large batch lie all over the heap and were last touched
  // when they were taken in: their code points are asked for some places
  // ahead.
  constexpr std::size_t kNone = ~std::size_t{0};
  std::vector<std::uint32_t> lowered;
  LoweredGroups<Out> lowered_groups(q, level, form, out);
  const std::size_t n = candidates.size();
  const bool grouped = form.lanes > 1;
  const bool test_in_groups = lone_surrogate != nullptr && !fold;
  std::size_t first_lone = kNone;
  const auto test = [&](std::size_t i) {
    if (i < first_lone && has_lone_surrogate(candidates[i])) first_lone = i;
  };
  std::uint32_t pending[kBuckets][64];
  std::size_t filled[kBuckets] = {};
  // Indexes within groups count from `base` and stay below 2^32 whatever the
  // batch's size.
  std::size_t base = 0;
  const auto flush = [&](std::size_t b) {
    // One-byte storage holds no surrogate.
    if (test_in_groups && b >= kLengths) {
      for (std::size_t k = 0; k < filled[b]; ++k) test(base + pending[b][k]);
    }
    form.score(q, level, candidates.data() + base, pending[b], filled[b], out + base);
    filled[b] = 0;
  };
  const auto flush_all = [&] {
    for (std::size_t b = 0; grouped && b < kBuckets; ++b) {
      if (filled[b] != 0) flush(b);
    }
  };
  for (std::size_t i = 0; i < n; ++i) {
    if (i + kPrefetchDistance < n) __builtin_prefetch(candidates[i + kPrefetchDistance].data());
    const Text c = candidates[i];
    const std::uint32_t self = 0;
    if (fold) {
      // One pass over a wide candidate's units answers both questions.
      const unsigned flags = c.width() > 1 ? wide_flags(c, true) : 0;
      if (lone_surrogate != nullptr && (flags & kLoneSurrogate) != 0) {
        // Every candidate before this one has been tested.
        *lone_surrogate = i;
        return;
      }
      if (c.size() > long_text || (flags & kContextual) != 0) {
        lowered.resize(c.size() * kMaxLoweredLength);
        const Text l = Text::of_width(lowered.data(), lower_into(c, lowered.data()), c.width(), c.ascii());
        if (grouped && c.size() <= long_text && l.size() <= form.max_text) {
          lowered_groups.add(i, l);
        } else {
          scalar.score(q, level, &l, &self, 1, out + i);
        }
        continue;
      }
    }
    if (!grouped || c.size() > form.max_text) {
      if (test_in_groups && c.width() > 1) test(i);
      scalar.score(q, level, &c, &self, 1, out + i);
      continue;
    }
    if (i - base > 0xFFFFFFFFu) {
      flush_all();
      base = i;
    }
    const std::size_t b = bucket_of(c);
    pending[b][filled[b]++] = static_cast<std::uint32_t>(i - base);
    if (filled[b] == form.lanes) flush(b);
  }
  flush_all();
  lowered_groups.flush_all();
  if (first_lone != kNone) *lone_surrogate = first_lone;
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
