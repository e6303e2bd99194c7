#include "morvane/jaro_winkler.hpp"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <vector>

#include "morvane/text.hpp"

namespace morvane {

namespace jaro_winkler_detail {

namespace {

// Leading positions at which both texts agree, at most `limit`.
template <class T>
std::size_t common_prefix(const T* a, const T* b, std::size_t limit) noexcept {
  std::size_t k = 0;
  while (k < limit && a[k] == b[k]) ++k;
  return k;
}

std::size_t prefix_limit(std::size_t len_1, std::size_t len_2) noexcept {
  return std::min({kPrefixCap, len_1, len_2});
}

}  // namespace

double short_scan(std::string_view text_1, std::string_view text_2, double p) noexcept {
  const unsigned char* const a = bytes_of(text_1);
  const unsigned char* const b = bytes_of(text_2);
  const std::size_t len_1 = text_1.size();
  const std::size_t len_2 = text_2.size();
  const std::size_t w = match_window(len_1, len_2);

  std::uint64_t matched_1 = 0;
  std::uint64_t matched_2 = 0;
  std::size_t m = 0;
  for (std::size_t i = 0; i < len_1; ++i) {
    const std::size_t lo = i > w ? i - w : 0;
    const std::size_t hi = std::min(len_2, i + w + 1);
    for (std::size_t j = lo; j < hi; ++j) {
      const std::uint64_t bit = std::uint64_t{1} << j;
      if ((matched_2 & bit) != 0 || a[i] != b[j]) continue;
      matched_2 |= bit;
      matched_1 |= std::uint64_t{1} << i;
      ++m;
      break;
    }
  }
  if (m == 0) return 0.0;

  // Both sets hold m positions, so the cursor never passes len_2.
  std::size_t transposed = 0;
  std::size_t cursor = 0;
  for (std::size_t i = 0; i < len_1; ++i) {
    if ((matched_1 >> i & 1) == 0) continue;
    while ((matched_2 >> cursor & 1) == 0) ++cursor;
    transposed += a[i] != b[cursor];
    ++cursor;
  }
  return score(m, transposed / 2, common_prefix(a, b, prefix_limit(len_1, len_2)), len_1, len_2,
               p);
}

double bit_parallel_scan(std::string_view text_1, std::string_view text_2, double p) noexcept {
  const unsigned char* const a = bytes_of(text_1);
  const unsigned char* const b = bytes_of(text_2);
  const std::size_t len_1 = text_1.size();
  const std::size_t len_2 = text_2.size();
  const std::size_t w = match_window(len_1, len_2);  // at most 31

  // Entry c: positions of text_2 holding byte c. Only positions below len_2
  // are ever set, so windows reaching past the end need no masking.
  std::uint64_t positions[128] = {};
  for (std::size_t j = 0; j < len_2; ++j) positions[b[j]] |= std::uint64_t{1} << j;

  // Bits i - w .. i + w of `window` are the positions of text_2 that position
  // i of text_1 may take.
  std::uint64_t window = (std::uint64_t{1} << (w + 1)) - 1;
  std::uint64_t matched_1 = 0;
  std::uint64_t matched_2 = 0;
  for (std::size_t i = 0; i < len_1; ++i) {
    const std::uint64_t eligible = positions[a[i]] & window & ~matched_2;
    if (eligible != 0) {
      matched_2 |= eligible & (~eligible + 1);
      matched_1 |= std::uint64_t{1} << i;
    }
    window = (window << 1) | std::uint64_t{i < w};
  }
  if (matched_1 == 0) return 0.0;

  const auto m = static_cast<std::size_t>(std::popcount(matched_1));
  std::size_t transposed = 0;
  while (matched_1 != 0) {
    const auto i = static_cast<unsigned>(std::countr_zero(matched_1));
    const auto j = static_cast<unsigned>(std::countr_zero(matched_2));
    transposed += a[i] != b[j];
    matched_1 &= matched_1 - 1;
    matched_2 &= matched_2 - 1;
  }
  return score(m, transposed / 2, common_prefix(a, b, prefix_limit(len_1, len_2)), len_1, len_2,
               p);
}

double general_scan(std::string_view text_1, std::size_t len_1, std::string_view text_2,
                    std::size_t len_2, double p) {
  // One buffer for both decoded texts and one for both flag arrays.
  std::vector<char32_t> points;
  points.reserve(len_1 + len_2);
  for_each_code_point(text_1, [&](char32_t c) { points.push_back(c); });
  for_each_code_point(text_2, [&](char32_t c) { points.push_back(c); });
  const char32_t* const a = points.data();
  const char32_t* const b = a + len_1;

  std::vector<unsigned char> flags(len_1 + len_2, 0);
  unsigned char* const matched_1 = flags.data();
  unsigned char* const matched_2 = matched_1 + len_1;

  const std::size_t w = match_window(len_1, len_2);
  std::size_t m = 0;
  for (std::size_t i = 0; i < len_1; ++i) {
    const std::size_t lo = i > w ? i - w : 0;
    const std::size_t hi = std::min(len_2, i + w + 1);
    for (std::size_t j = lo; j < hi; ++j) {
      if (matched_2[j] != 0 || a[i] != b[j]) continue;
      matched_2[j] = 1;
      matched_1[i] = 1;
      ++m;
      break;
    }
  }
  if (m == 0) return 0.0;

  std::size_t transposed = 0;
  std::size_t cursor = 0;
  for (std::size_t i = 0; i < len_1; ++i) {
    if (matched_1[i] == 0) continue;
    while (matched_2[cursor] == 0) ++cursor;
    transposed += a[i] != b[cursor];
    ++cursor;
  }
  return score(m, transposed / 2, common_prefix(a, b, prefix_limit(len_1, len_2)), len_1, len_2,
               p);
}

}  // namespace jaro_winkler_detail

Expected<double> validate_prefix_scale(std::optional<double> p) noexcept {
  if (!p) return kDefaultPrefixScale;
  if (*p >= 0.0 && *p <= kMaxPrefixScale) return *p;
  return std::unexpected(MatchError(InvalidPrefixScale{*p}));
}

Expected<double> jaro_winkler_similarity(std::string_view str_1, std::string_view str_2,
                                         std::optional<double> p,
                                         std::optional<std::size_t> max_len,
                                         std::optional<bool> case_insensitive,
                                         std::optional<double> score_cutoff) {
  namespace detail = jaro_winkler_detail;

  const Expected<double> scale = validate_prefix_scale(p);
  if (!scale) return std::unexpected(scale.error());

  const PreparedPair pair(str_1, str_2, case_insensitive.value_or(false));
  if (auto error = check_limit(pair.len_1, pair.len_2, max_len)) return std::unexpected(*error);

  if (pair.len_1 == 0) return pair.len_2 == 0 ? 1.0 : 0.0;
  if (pair.len_2 == 0) return 0.0;

  double similarity;
  if (pair.all_ascii && pair.len_1 <= detail::kBitParallelMax &&
      pair.len_2 <= detail::kBitParallelMax) {
    similarity = std::max(pair.len_1, pair.len_2) <= detail::kShortScanMax
                     ? detail::short_scan(pair.text_1, pair.text_2, *scale)
                     : detail::bit_parallel_scan(pair.text_1, pair.text_2, *scale);
  } else {
    similarity = detail::general_scan(pair.text_1, pair.len_1, pair.text_2, pair.len_2, *scale);
  }

  // A NaN cut-off compares false and so keeps the similarity.
  if (score_cutoff && *score_cutoff > similarity) return 0.0;
  return similarity;
}

}  // namespace morvane
