#include "batch_forms.hpp"

#include <algorithm>
#include <bit>
#include <limits>

#include "bits.hpp"
#include "bit_parallel.hpp"
#include "morvane/jaro_winkler.hpp"

namespace morvane::batch {

namespace {

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

// One candidate's edit distance through the masks. Common prefix and suffix
// are read off the masks (position k of the pattern equals, as lowercased
// when folding, code point c exactly when the row of c has bit k) and cut
// off: by shifting the masks down for a middle of up to 64 code points, by
// whole words for a longer one.
template <class Kernels, class T>
std::size_t masked_distance(const QueryMasks& masks, std::size_t m, const T* t, std::size_t n, SimdLevel level) {
  if (n == 0) return m;
  const std::size_t words = masks.words();
  const std::size_t limit = std::min(m, n);
  std::size_t prefix = 0;
  while (prefix < limit && has_position(row_of(masks, t[prefix]), prefix)) ++prefix;
  std::size_t suffix = 0;
  while (suffix < limit - prefix && has_position(row_of(masks, t[n - 1 - suffix]), m - 1 - suffix)) ++suffix;
  const std::size_t rest_m = m - prefix - suffix;
  const std::size_t rest_n = n - prefix - suffix;
  if (rest_m == 0) return rest_n;
  if (rest_n == 0) return rest_m;
  const T* const text = t + prefix;
  if (rest_m <= 64) {
    // Bits above the middle's last position belong to the suffix and are
    // never read.
    typename Kernels::WordState w;
    if (words == 1) {
      for (std::size_t j = 0; j < rest_n; ++j) w.step(word_of(masks, text[j]) >> prefix);
    } else {
      for (std::size_t j = 0; j < rest_n; ++j) w.step(positions_from(row_of(masks, text[j]), words, prefix));
    }
    return w.distance(rest_m, rest_n);
  }
  // The rest of the prefix and the suffix stay in the kernel's text and
  // pattern.
  const std::size_t cut = prefix / 64 * 64;
  const std::size_t kept_m = m - suffix - cut;
  const std::size_t kept_n = n - suffix - cut;
  const std::size_t offset = cut / 64;
  return bit_parallel::run_rows<typename Kernels::BlockState>(
      [&masks, offset](T c) noexcept { return row_of(masks, c) + offset; }, masks.zero_row(), (kept_m + 63) / 64,
      kept_m, t + cut, kept_n, level);
}

template <class Kernels>
void scalar_edit_group(const PreparedQuery& q, SimdLevel level, const Text* texts, const std::uint32_t* idx,
                       std::size_t count, void* out) {
  auto* const results = static_cast<std::size_t*>(out);
  for (std::size_t k = 0; k < count; ++k) {
    results[idx[k]] = with_units(texts[idx[k]], [&](const auto* t, std::size_t n) {
      return masked_distance<Kernels>(*q.masks, q.length, t, n, level);
    });
  }
}

// The candidate drives and the query is tabled, the reverse of the
// single-pair scan. Greedy first-free matching inside a window that slides
// monotonically picks the same positions in either direction, so m and the
// transpositions agree. Equality of a candidate code point with query
// position i is bit i of its row.
//
// As in the single-pair scans, a common prefix of length p matches itself
// position by position without transpositions, so the scan starts after it.
template <class T>
double jaro_winkler_scan(const PreparedQuery& q, const T* c, std::size_t len_c) {
  const QueryMasks& masks = *q.masks;
  const std::size_t len_q = q.length;
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
      const std::uint64_t eligible = (masks.words() == 1 ? word_of(masks, c[j]) : row_of(masks, c[j])[0]) & window & ~matched_q;
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

void scalar_jaro_winkler_group(const PreparedQuery& q, SimdLevel /*level*/, const Text* texts,
                               const std::uint32_t* idx, std::size_t count, void* out) {
  auto* const results = static_cast<double*>(out);
  for (std::size_t k = 0; k < count; ++k) {
    const Text c = texts[idx[k]];
    double score;
    if (c.empty()) {
      score = 0.0;
    } else if (c.size() > jaro_winkler_detail::kBitParallelMax) {
      score = jaro_winkler_detail::general_scan(Text::ucs4(q.pattern, q.length), c, q.p);
    } else {
      score = with_units(c, [&](const auto* t, std::size_t n) { return jaro_winkler_scan(q, t, n); });
    }
    results[idx[k]] = score;
  }
}

constexpr std::size_t kAny = std::numeric_limits<std::size_t>::max();

constexpr Form kScalarForms[] = {
    {"levenshtein/scalar", Measure::levenshtein, SimdLevel::scalar, 0, 1, kAny, kAny,
     &scalar_edit_group<bit_parallel::LevenshteinKernels>},
    {"damerau/scalar", Measure::damerau, SimdLevel::scalar, 0, 1, kAny, kAny,
     &scalar_edit_group<bit_parallel::DamerauKernels>},
    {"jaro_winkler/scalar", Measure::jaro_winkler, SimdLevel::scalar, 0, 1, kAny, kAny, &scalar_jaro_winkler_group},
};

}  // namespace

std::span<const Form> scalar_forms() noexcept { return kScalarForms; }

std::span<const Form> forms() noexcept {
  static const auto all = [] {
    struct All {
      Form items[64];
      std::size_t count = 0;
    } a{};
    for (const auto list : {scalar_forms(), avx2_forms(), avx512_forms()}) {
      for (const Form& f : list) a.items[a.count++] = f;
    }
    return a;
  }();
  return {all.items, all.count};
}

const Form& choose(Measure measure, SimdLevel level, std::size_t length) noexcept {
  const std::span<const Form> lanes = level == SimdLevel::avx512 ? avx512_forms()
                                      : level == SimdLevel::avx2 ? avx2_forms()
                                                                 : std::span<const Form>{};
  // Each level lists its lane forms narrowest first.
  for (const Form& f : lanes) {
    if (f.measure == measure && length <= f.max_pattern) return f;
  }
  for (const Form& f : kScalarForms) {
    if (f.measure == measure) return f;
  }
  return kScalarForms[0];
}

}  // namespace morvane::batch
