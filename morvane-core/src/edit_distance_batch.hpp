// One query against many candidates for both edit distances: a short ASCII
// query runs the byte kernel straight over each ASCII candidate with the
// prepared masks; every other candidate goes through the single-pair operation.
#pragma once

#include <algorithm>
#include <cstddef>
#include <optional>
#include <string>
#include <span>
#include <string_view>

#include "bit_parallel.hpp"
#include "morvane/batch_query.hpp"
#include "morvane/bulk_vector.hpp"
#include "morvane/casefold.hpp"
#include "morvane/mask_table.hpp"
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
//
// Each kernel step depends on the one before, so one candidate at a time
// leaves most of the processor's execution units idle; two candidates are
// stepped side by side over their common length, their chains interleaved.
template <class Word, class Fallback>
void score_ascii_ready(const BatchQuery& q, std::span<const std::string_view> candidates, std::size_t* out,
                       Fallback&& fallback) {
  const std::uint64_t* const masks = q.ascii_masks;
  const std::size_t m = q.char_count;
  // Runs `word` over `text` from position `from`; the bytes seen are or-ed
  // into `seen`.
  const auto run = [masks](Word& word, const unsigned char* text, std::size_t from, std::size_t to,
                           unsigned char& seen) noexcept {
    for (std::size_t j = from; j < to; ++j) {
      seen |= text[j];
      word.step(masks[text[j]]);
    }
  };
  // An empty candidate leaves the score at m, its distance.
  const auto finish = [&](std::size_t i, const Word& word, unsigned char seen) {
    out[i] = (seen & 0x80) ? fallback(candidates[i]) : word.score;
  };
  std::size_t i = 0;
  for (; i + 1 < candidates.size(); i += 2) {
    prefetch_ahead(candidates, i);
    prefetch_ahead(candidates, i + 1);
    const std::string_view a = candidates[i];
    const std::string_view b = candidates[i + 1];
    const unsigned char* const pa = byte_span(a).data();
    const unsigned char* const pb = byte_span(b).data();
    Word wa(m, q.last_bit);
    Word wb(m, q.last_bit);
    unsigned char seen_a = 0;
    unsigned char seen_b = 0;
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t j = 0; j < common; ++j) {
      const unsigned char ta = pa[j];
      const unsigned char tb = pb[j];
      seen_a |= ta;
      seen_b |= tb;
      wa.step(masks[ta]);
      wb.step(masks[tb]);
    }
    run(wa, pa, common, a.size(), seen_a);
    run(wb, pb, common, b.size(), seen_b);
    finish(i, wa, seen_a);
    finish(i + 1, wb, seen_b);
  }
  if (i < candidates.size()) {
    const std::string_view c = candidates[i];
    Word word(m, q.last_bit);
    unsigned char seen = 0;
    run(word, byte_span(c).data(), 0, c.size(), seen);
    finish(i, word, seen);
  }
}

// The single-pair operation with the query side done once. Whatever the
// candidate, that operation folds the query the same way, measures it the
// same way and builds the same match table from it, so a batch that sends
// many candidates through it prepares the query once and runs only the
// candidate's share per candidate: folding it, measuring it, and the kernel
// the pair would choose.
template <class Kernels>
class PreparedPattern {
 public:
  PreparedPattern(std::string_view query, bool fold) : fold_(fold) {
    if (fold_) {
      fold_lower(query, folded_);
      text_ = folded_;
    } else {
      text_ = query;
    }
    ascii_ = is_ascii(text_);
    length_ = ascii_ ? text_.size() : count_code_points(text_);
    if (length_ == 0) return;
    if (length_ <= 64) {
      table_.assign_code_points(text_);  // its direct part serves the byte kernel too
    } else {
      blocks_.emplace(text_, length_);
    }
  }
  PreparedPattern(const PreparedPattern&) = delete;
  PreparedPattern& operator=(const PreparedPattern&) = delete;

  // levenshtein_bp / damerau_bp of the query and `candidate`, without limit
  // or cut-off. `scratch` holds the folded candidate between calls.
  std::size_t distance(std::string_view candidate, std::string& scratch) const {
    std::string_view text = candidate;
    if (fold_) {
      fold_lower(candidate, scratch);
      text = scratch;
    }
    const bool ascii = is_ascii(text);
    const std::size_t n = ascii ? text.size() : count_code_points(text);
    if (length_ == 0) return n;
    if (n == 0) return length_;
    if (blocks_) return Kernels::blocks(*blocks_, length_, text);
    const std::uint64_t last = bit_parallel::last_bit_of(length_);
    return ascii_ && ascii ? Kernels::bytes(table_.direct(), last, length_, text)
                           : Kernels::code_points(table_, last, length_, text);
  }

 private:
  bool fold_;
  std::string folded_;
  std::string_view text_;
  bool ascii_ = true;
  std::size_t length_ = 0;
  MaskTable table_;
  std::optional<BlockMaskTable> blocks_;
};

}  // namespace batch_detail

// `Kernels` supplies the kernels of the measure.
template <class Kernels>
BulkVector<std::size_t> edit_distance_batch(std::string_view query,
                                             std::span<const std::string_view> candidates,
                                             std::optional<bool> case_insensitive) {
  const BatchQuery prepared(query, case_insensitive);
  BulkVector<std::size_t> results(candidates.size());
  std::size_t* const out = results.data();
  // Built on the first candidate that needs it: most batches never do.
  std::optional<batch_detail::PreparedPattern<Kernels>> pattern;
  std::string scratch;
  const auto fallback = [&](std::string_view candidate) {
    if (!pattern) pattern.emplace(prepared.query, prepared.case_insensitive);
    return pattern->distance(candidate, scratch);
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
