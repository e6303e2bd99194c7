#include "morvane/jaro_winkler_batch.hpp"

#include <algorithm>
#include <bit>

#include "morvane/casefold.hpp"
#include "morvane/jaro_winkler.hpp"

namespace morvane {

namespace {

constexpr std::size_t kMaxScanned = 64;

// Whether query position k is set in `row`.
inline bool has_position(const std::uint64_t* row, std::size_t k) noexcept { return (row[k / 64] >> (k % 64)) & 1; }

std::vector<std::uint32_t> pattern_of(Text query, bool fold) {
  const auto copy = [](Text text) {
    std::vector<std::uint32_t> out(text.size());
    with_units(text, [&](const auto* t, std::size_t n) { std::copy(t, t + n, out.begin()); });
    return out;
  };
  if (!fold) return copy(query);
  const LowerText lower(query);
  return copy(lower.text());
}

}  // namespace

Expected<JaroWinklerQuery> JaroWinklerQuery::create(Text query, std::optional<double> p,
                                                    std::optional<bool> case_insensitive) {
  const Expected<double> scale = validate_prefix_scale(p);
  if (!scale) return std::unexpected(scale.error());
  JaroWinklerQuery out;
  out.p_ = *scale;
  out.char_count_ = query.size();
  out.case_insensitive_ = case_insensitive.value_or(false);
  out.pattern_ = pattern_of(query, out.case_insensitive_);
  out.masks_ = QueryMasks(Text::ucs4(out.pattern_.data(), out.pattern_.size()), out.case_insensitive_);
  return out;
}

// The candidate drives and the query is tabled, the reverse of the
// single-pair scan. Greedy first-free matching inside a window that slides
// monotonically picks the same positions in either direction, so m and the
// transpositions agree. Equality of a candidate code point with query
// position i is bit i of its row: through the table, the candidate is
// compared as lowercased when folding, without being lowercased.
//
// As in the single-pair scans, a common prefix of length p matches itself
// position by position without transpositions, so the scan starts after it.
template <class T>
double JaroWinklerQuery::scan(const T* c, std::size_t len_c, JaroWinklerScratch& scratch) const {
  const std::size_t len_q = pattern_.size();
  const std::size_t words = masks_.words();
  const auto row_of = [this, words](T ch) noexcept {
    if constexpr (sizeof(T) == 1) {
      return masks_.direct() + std::size_t{ch} * words;
    } else {
      return masks_.row(ch);
    }
  };
  const std::size_t w = jaro_winkler_detail::match_window(len_q, len_c);
  const std::size_t limit = std::min(len_q, len_c);
  std::size_t prefix = 0;
  while (prefix < limit && has_position(row_of(c[prefix]), prefix)) ++prefix;
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
      const std::uint64_t eligible = row_of(c[j])[0] & window & ~matched_q;
      matched_q |= eligible & (~eligible + 1);
      matched_c |= std::uint64_t{eligible != 0} << j;
      window = (window << 1) | std::uint64_t{j < w};
    }
    if (matched_c == 0) return 0.0;
    const auto m = static_cast<std::size_t>(std::popcount(matched_c));
    matched_c &= ~prefix_bits;
    matched_q &= ~prefix_bits;
    while (matched_c != 0) {
      const auto j = static_cast<std::size_t>(std::countr_zero(matched_c));
      const auto i = static_cast<std::size_t>(std::countr_zero(matched_q));
      transposed += !has_position(row_of(c[j]), i);
      matched_c &= matched_c - 1;
      matched_q &= matched_q - 1;
    }
    return jaro_winkler_detail::score(m, transposed / 2, std::min(prefix, jaro_winkler_detail::kPrefixCap), len_q,
                                      len_c, p_);
  }

  // The window of candidate position j, query positions j - w to j + w, is
  // searched word by word from its first word upward, stopping at the first
  // word with a free position. The prefix's query positions start matched.
  if (scratch.matched.size() < words) scratch.matched.resize(words, 0);
  std::uint64_t* const matched = scratch.matched.data();
  matched[0] = prefix_bits;
  std::size_t m = prefix;
  for (std::size_t j = prefix; j < len_c; ++j) {
    const std::uint64_t* const row = row_of(c[j]);
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
  // Pairs the matched positions in order; each query bit is cleared as it is
  // paired, and there are as many as candidate bits, so `matched` ends zero.
  std::size_t k = 0;
  while (matched_c != 0) {
    const auto j = static_cast<std::size_t>(std::countr_zero(matched_c));
    while (matched[k] == 0) ++k;
    const std::size_t i = k * 64 + static_cast<std::size_t>(std::countr_zero(matched[k]));
    transposed += !has_position(row_of(c[j]), i);
    matched[k] &= matched[k] - 1;
    matched_c &= matched_c - 1;
  }
  return jaro_winkler_detail::score(m, transposed / 2, std::min(prefix, jaro_winkler_detail::kPrefixCap), len_q,
                                    len_c, p_);
}

double JaroWinklerQuery::similarity(Text candidate, JaroWinklerScratch& scratch) const {
  if (pattern_.empty()) return candidate.empty() ? 1.0 : 0.0;
  if (candidate.empty()) return 0.0;
  // The general scan of long candidates compares code points themselves, so
  // they are lowercased in full when folding; so are the rare short ones the
  // table cannot lowercase on the way.
  if (case_insensitive_ && (candidate.size() > kMaxScanned || needs_full_lowering(candidate))) {
    scratch.lowered.resize(candidate.size() * kMaxLoweredLength);
    const std::size_t n = lower_into(candidate, scratch.lowered.data());
    candidate = Text::of_width(scratch.lowered.data(), n, candidate.width(), candidate.ascii());
  }
  if (candidate.size() > kMaxScanned) {
    return jaro_winkler_detail::general_scan(Text::ucs4(pattern_.data(), pattern_.size()), candidate, p_);
  }
  return with_units(candidate, [&](const auto* c, std::size_t n) { return scan(c, n, scratch); });
}

double JaroWinklerQuery::similarity(Text candidate) const {
  JaroWinklerScratch scratch;
  return similarity(candidate, scratch);
}

Expected<BulkVector<double>> jaro_winkler_batch(Text query, std::span<const Text> candidates,
                                                std::optional<double> p, std::optional<bool> case_insensitive) {
  const Expected<JaroWinklerQuery> prepared = JaroWinklerQuery::create(query, p, case_insensitive);
  if (!prepared) return std::unexpected(prepared.error());

  JaroWinklerScratch scratch;
  BulkVector<double> scores(candidates.size());
  for (std::size_t i = 0; i < candidates.size(); ++i) {
    // The code points of a candidate some places ahead are asked for early:
    // large batches have them out of the caches.
    if (i + 16 < candidates.size()) __builtin_prefetch(candidates[i + 16].data());
    scores[i] = prepared->similarity(candidates[i], scratch);
  }
  return scores;
}

}  // namespace morvane
