// The scalar form of the Jaro-Winkler batch (batch_forms.hpp): one
// candidate at a time, read in place through the query's masks by a
// bit-parallel scan for candidates of up to kBitParallelMax code points, and
// through the pair's general scan for longer ones (lowercased in full first
// when folding). Either way the score is bit-identical to the pair
// function's.
#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "batch_forms.hpp"
#include "bits.hpp"
#include "morvane/jaro_winkler.hpp"
#include "query_mask_rows.hpp"

namespace morvane::batch {

namespace {

// The candidate drives and the query is tabled, the reverse of the
// single-pair scan. Greedy first-free matching inside a window that slides
// monotonically picks the same positions in either direction, so m and the
// transpositions agree. Equality of a candidate code point with query
// position i is bit i of its row.
//
// As in the single-pair scans, a common prefix of length p matches itself
// position by position without transpositions, so the scan starts after it.
template <class T>
double jaro_winkler_scan(const BatchQuery& q, const T* c, std::size_t len_c) {
  const QueryMasks& masks = q.masks;
  const std::size_t len_q = q.pattern.size();
  const std::size_t w = jaro_winkler_detail::match_window(len_q, len_c);
  const std::size_t limit = std::min(len_q, len_c);
  std::size_t prefix = 0;
  while (prefix < limit && has_position(row_of(masks, c[prefix]), prefix)) ++prefix;
  const auto finish = [&](std::size_t m, std::size_t transposed) {
    return jaro_winkler_detail::score(m, transposed / 2, std::min(prefix, jaro_winkler_detail::kPrefixCap), len_q,
                                      len_c, q.p);
  };
  // Positions below `prefix` of both texts are matched to each other; len_c
  // is at most 64, and so is the prefix.
  const std::uint64_t prefix_bits = prefix == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << prefix) - 1;
  std::uint64_t matched_c = prefix_bits;
  std::size_t transposed = 0;

  // The query positions any candidate position's window covers.
  const std::size_t reach = std::min(len_q, len_c + w);
  if (reach <= 64) {
    std::uint64_t matched_q = prefix_bits;
    std::uint64_t window = jaro_winkler_detail::window_at(prefix, w);
    for (std::size_t j = prefix; j < len_c; ++j) {
      // Whether a position is free to match is data-dependent and
      // unpredictable, so the update is written without a branch.
      const std::uint64_t row = masks.words() == 1 ? word_of(masks, c[j]) : row_of(masks, c[j])[0];
      const std::uint64_t eligible = row & window & ~matched_q;
      matched_q |= eligible & (~eligible + 1);
      matched_c |= std::uint64_t{eligible != 0} << j;
      window = (window << 1) | std::uint64_t{j < w};
    }
    if (matched_c == 0) return 0.0;
    const auto m = static_cast<std::size_t>(popcount64(matched_c));
    matched_c &= ~prefix_bits;
    matched_q &= ~prefix_bits;
    while (matched_c != 0) {
      const auto j = static_cast<std::size_t>(std::countr_zero(matched_c));
      const auto i = static_cast<std::size_t>(std::countr_zero(matched_q));
      transposed += !has_position(row_of(masks, c[j]), i);
      matched_c &= matched_c - 1;
      matched_q &= matched_q - 1;
    }
    return finish(m, transposed);
  }

  // The window of candidate position j, query positions j - w to j + w, is
  // searched word by word from its first word upward, stopping at the first
  // word with a free position. The prefix's query positions start matched.
  const std::size_t words = masks.words();
  constexpr std::size_t kOnStack = 64;  // patterns of up to 4096 code points
  std::uint64_t on_stack[kOnStack];
  std::unique_ptr<std::uint64_t[]> on_heap;
  if (words > kOnStack) on_heap = std::make_unique<std::uint64_t[]>(words);
  std::uint64_t* const matched = words > kOnStack ? on_heap.get() : on_stack;
  std::fill_n(matched, std::min(words, kOnStack), std::uint64_t{0});
  matched[0] = prefix_bits;
  std::size_t m = prefix;
  for (std::size_t j = prefix; j < len_c; ++j) {
    const std::uint64_t* const row = row_of(masks, c[j]);
    const std::size_t lo = j > w ? j - w : 0;
    const std::size_t hi = std::min(len_q - 1, j + w);
    const std::size_t last = hi / 64;
    std::size_t k = lo / 64;
    std::uint64_t x = row[k] & ~matched[k] & (~std::uint64_t{0} << (lo % 64));
    while (x == 0 && k < last) {
      ++k;
      x = row[k] & ~matched[k];
    }
    if (k == last) x &= ~std::uint64_t{0} >> (63 - hi % 64);
    if (x == 0) continue;
    matched[k] |= x & (~x + 1);
    matched_c |= std::uint64_t{1} << j;
    ++m;
  }
  if (m == 0) return 0.0;
  // Pairs the matched positions in order.
  std::size_t k = 0;
  while (matched_c != 0) {
    const auto j = static_cast<std::size_t>(std::countr_zero(matched_c));
    while (matched[k] == 0) ++k;
    const std::size_t i = k * 64 + static_cast<std::size_t>(std::countr_zero(matched[k]));
    transposed += !has_position(row_of(masks, c[j]), i);
    matched[k] &= matched[k] - 1;
    matched_c &= matched_c - 1;
  }
  return finish(m, transposed);
}

}  // namespace

void jaro_winkler_batch_scalar(const BatchQuery& query, SimdLevel /*level*/, const Text* texts,
                               const std::uint32_t* idx, std::size_t count, void* out) {
  auto* const results = static_cast<double*>(out);
  for (std::size_t k = 0; k < count; ++k) {
    const Text c = texts[idx[k]];
    double score;
    if (c.empty()) {
      score = 0.0;
    } else if (c.size() > jaro_winkler_detail::kBitParallelMax) {
      score = jaro_winkler_detail::general_scan(Text::ucs4(query.pattern.data(), query.pattern.size()), c, query.p);
    } else {
      score = with_units(c, [&](const auto* t, std::size_t n) { return jaro_winkler_scan(query, t, n); });
    }
    results[idx[k]] = score;
  }
}

}  // namespace morvane::batch
