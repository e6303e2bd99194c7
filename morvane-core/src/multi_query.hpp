// Many queries against each text at once: up to a vector's worth of queries
// of 1 to 64 code points, one per 64-bit lane, and every text of a range
// read once, each of its code points looked up once for all of them (one
// table row holds every lane's match mask) and stepped through the
// bit-vector edit distance or Jaro-Winkler scan lane by lane. For many queries against many
// texts this beats one query against many texts, whose lanes each need a
// look-up of their own per code point.
//
// The kernels are compiled once per level from multi_query_level.cpp; the
// scalar level has none (the batches serve it).
#pragma once

#include <cstddef>
#include <array>
#include <cstdint>

#include "morvane/lookup.hpp"
#include "morvane/simd.hpp"
#include "morvane/text.hpp"

namespace morvane::multi {

inline constexpr std::size_t kMaxQueryLength = 64;

// Scores of queries[0..count) (each 1 to the kernel's `bits` code points,
// count at most its `lanes`) against texts[0..n): out[q * n + j], as
// std::uint32_t distances for the edit distances, equal to levenshtein_batch
// / damerau_batch of each query over the texts, or as double Jaro-Winkler
// similarities with prefix scale p, equal to jaro_winkler_batch's, for
// texts of at most kMaxTextLength code points.
using Kernel = void (*)(Measure measure, const Text* queries, std::size_t count, const Text* texts, std::size_t n,
                        double p, void* out);
inline constexpr std::size_t kMaxTextLength = 64;

// A kernel for queries of up to `bits` code points, `lanes` of them at once.
struct Width {
  std::size_t bits = 0;
  std::size_t lanes = 0;
  Kernel kernel = nullptr;
};

// A level's kernels, narrowest lanes first; none at the scalar level.
struct Form {
  std::array<Width, 4> widths{};
  bool available() const noexcept { return widths[0].kernel != nullptr; }
};

template <SimdLevel L>
Form form() noexcept;
template <>
Form form<SimdLevel::avx2>() noexcept;
template <>
Form form<SimdLevel::avx512>() noexcept;

inline Form form_of(SimdLevel level) noexcept {
  switch (level) {
    case SimdLevel::avx2: return form<SimdLevel::avx2>();
    case SimdLevel::avx512: return form<SimdLevel::avx512>();
    default: return {};
  }
}

}  // namespace morvane::multi
