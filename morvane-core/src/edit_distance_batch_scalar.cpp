// The scalar forms of both edit-distance batches (batch_forms.hpp): one
// candidate at a time, of any length, read in place through the query's
// masks by the pair kernels of bit_parallel.hpp.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "batch_forms.hpp"
#include "bit_parallel.hpp"
#include "query_mask_rows.hpp"

namespace morvane::batch {

namespace {

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
void score_each(const BatchQuery& q, SimdLevel level, const Text* texts, const std::uint32_t* idx,
                std::size_t count, void* out) {
  auto* const results = static_cast<std::size_t*>(out);
  for (std::size_t k = 0; k < count; ++k) {
    results[idx[k]] = with_units(texts[idx[k]], [&](const auto* t, std::size_t n) {
      return masked_distance<Kernels>(q.masks, q.pattern.size(), t, n, level);
    });
  }
}

}  // namespace

void levenshtein_batch_scalar(const BatchQuery& query, SimdLevel level, const Text* texts, const std::uint32_t* idx,
                              std::size_t count, void* out) {
  score_each<bit_parallel::LevenshteinKernels>(query, level, texts, idx, count, out);
}

void damerau_batch_scalar(const BatchQuery& query, SimdLevel level, const Text* texts, const std::uint32_t* idx,
                          std::size_t count, void* out) {
  score_each<bit_parallel::DamerauKernels>(query, level, texts, idx, count, out);
}

}  // namespace morvane::batch
