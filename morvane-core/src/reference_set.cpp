#include "morvane/reference_set.hpp"

#include <algorithm>
#include <cstring>
#include <numeric>
#include <stdexcept>

#include "morvane/default_process.hpp"
#include "morvane/lower.hpp"

namespace morvane {

namespace {

std::size_t words_for(std::size_t units, unsigned width) noexcept { return (units * width + 3) / 4; }

}  // namespace

ReferenceSet ReferenceSet::build(std::span<const Text> texts, std::span<const std::uint64_t> positions, bool lower,
                                 std::size_t* lone_surrogate, bool borrow, bool process) {
  *lone_surrogate = static_cast<std::size_t>(-1);
  const std::size_t n = texts.size();
  if (n > kMaxItems) throw std::length_error("too many texts for one reference set");

  // Lowering may lengthen a wide text, so texts are lowered first, in
  // order, into scratch storage sized for the worst case, then copied
  // out by length. The lowering reads every code point anyway, and so
  // does the test for lone surrogates that goes with it.
  BulkVector<Text> lowered;
  std::unique_ptr<std::uint32_t[]> scratch;
  if (lower && process) throw std::invalid_argument("a set is processed or lowered, not both");
  if (lower || process) {
    std::size_t words = 0;
    for (const Text t : texts) words += words_for(t.width() == 1 ? t.size() : t.size() * kMaxLoweredLength, t.width());
    scratch = std::make_unique_for_overwrite<std::uint32_t[]>(words + 1);
    lowered.resize(n);
    std::size_t at = 0;
    for (std::size_t i = 0; i < n; ++i) {
      const Text t = texts[i];
      if (t.width() > 1 && has_lone_surrogate(t)) {
        *lone_surrogate = i;
        return {};
      }
      if (i + kPrefetchDistance < n) __builtin_prefetch(texts[i + kPrefetchDistance].data());
      const std::size_t size = process ? default_process_into(t, scratch.get() + at) : lower_into(t, scratch.get() + at);
      lowered[i] = Text::of_width(scratch.get() + at, size, t.width(), t.ascii());
      at += words_for(size, t.width());
    }
  } else {
    for (std::size_t i = 0; i < n; ++i) {
      // The texts lie wherever their owner put them: ask for the memory of
      // one some places ahead.
      if (i + kPrefetchDistance < n) __builtin_prefetch(texts[i + kPrefetchDistance].data());
      if (texts[i].width() > 1 && has_lone_surrogate(texts[i])) {
        *lone_surrogate = i;
        return {};
      }
    }
  }
  const std::span<const Text> staged = lower || process ? std::span<const Text>(lowered) : texts;

  // By length, equal lengths in order: counting where lengths are few.
  BulkVector<std::uint32_t> order(n);
  std::size_t longest = 0;
  for (const Text t : staged) longest = std::max(longest, t.size());
  if (longest <= 4 * n + 1024) {
    std::vector<std::size_t> count(longest + 2, 0);
    for (const Text t : staged) ++count[t.size() + 1];
    for (std::size_t l = 1; l < count.size(); ++l) count[l] += count[l - 1];
    for (std::size_t i = 0; i < n; ++i) order[count[staged[i].size()]++] = static_cast<std::uint32_t>(i);
  } else {
    std::iota(order.begin(), order.end(), std::uint32_t{0});
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
      return staged[a].size() < staged[b].size() || (staged[a].size() == staged[b].size() && a < b);
    });
  }
  const bool copy = lower || process || !borrow;

  ReferenceSet set;
  set.lowered_ = lower;
  if (copy) {
    std::size_t words = 0;
    for (const Text t : staged) words += words_for(t.size(), t.width());
    set.storage_words_ = words;
    set.storage_ = std::make_unique_for_overwrite<std::uint32_t[]>(words + 1);
  }
  set.texts_.resize(n);
  set.positions_.resize(n);
  set.unlowered_.resize(n);
  set.by_position_.resize(n);
  std::size_t at = 0;
  for (std::size_t k = 0; k < n; ++k) {
    const std::uint32_t i = order[k];
    const Text t = staged[i];
    if (copy && k + kPrefetchDistance < n) __builtin_prefetch(staged[order[k + kPrefetchDistance]].data());
    if (copy) {
      std::uint32_t* out = set.storage_.get() + at;
      if (t.size() != 0) std::memcpy(out, t.data(), t.size() * t.width());
      set.texts_[k] = Text::of_width(out, t.size(), t.width(), t.ascii());
      at += words_for(t.size(), t.width());
    } else {
      set.texts_[k] = t;
    }
    set.positions_[k] = positions[i];
    set.unlowered_[k] = process ? t.size() : texts[i].size();
    // Positions rise with the input order, so the items in order of
    // position are the inverse of the order by length.
    set.by_position_[i] = static_cast<std::uint32_t>(k);
    if (k == 0 || t.size() != set.texts_[k - 1].size()) {
      set.lengths_.push_back(t.size());
      set.starts_.push_back(k);
    }
  }
  set.starts_.push_back(n);
  return set;
}

std::size_t ReferenceSet::first_of_length(std::size_t length) const noexcept {
  const auto it = std::lower_bound(lengths_.begin(), lengths_.end(), length);
  return starts_.empty() ? 0 : starts_[static_cast<std::size_t>(it - lengths_.begin())];
}

std::pair<std::size_t, std::size_t> ReferenceSet::lengths_between(std::size_t lo, std::size_t hi) const noexcept {
  if (lo > hi) return {0, 0};
  const std::size_t begin = first_of_length(lo);
  const std::size_t end = hi == static_cast<std::size_t>(-1) ? size() : first_of_length(hi + 1);
  return {begin, std::max(begin, end)};
}

std::size_t ReferenceSet::memory() const noexcept {
  return storage_words_ * 4 + texts_.capacity() * sizeof(Text) + positions_.capacity() * 8 +
         unlowered_.capacity() * sizeof(std::size_t) + by_position_.capacity() * 4 + (lengths_.capacity() + starts_.capacity()) * sizeof(std::size_t);
}

}  // namespace morvane
