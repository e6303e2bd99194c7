// The many-query kernels (multi_query.hpp) of one instruction-set level,
// compiled once per level from this source with MORVANE_LEVEL naming it, as
// lane_forms_level.cpp is.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "morvane/jaro_winkler.hpp"
#include "morvane/simd.hpp"
#include "morvane/text.hpp"
#include "multi_query.hpp"

#include "level_target.hpp"

#if MORVANE_HAS_TARGET

MORVANE_TARGET_BEGIN

namespace morvane::multi {
namespace {

constexpr std::size_t kBytes = MORVANE_VECTOR_BYTES;
constexpr std::size_t kLanes = kBytes / 8;
typedef std::uint64_t V __attribute__((vector_size(kBytes)));

// Match masks of every lane's query, one row per code point: rows of code
// points no query holds share page 0, all zeros. A look-up is two loads.
// Rows are kept as plain words and loaded unaligned: the standard allocator
// need not honour a vector type's alignment.
class Table {
 public:
  Table(const Text* queries, std::size_t count) : directory_(kPages, 0), rows_(256 * kLanes) {
    for (std::size_t lane = 0; lane < count; ++lane) {
      with_units(queries[lane], [&](const auto* units, std::size_t size) {
        for (std::size_t i = 0; i < size; ++i) {
          const char32_t c = units[i];
          std::uint16_t& page = directory_[c >> 8];
          if (page == 0) {
            page = static_cast<std::uint16_t>(rows_.size() / (256 * kLanes));
            rows_.resize(rows_.size() + 256 * kLanes, 0);
          }
          rows_[(std::size_t{page} * 256 + (c & 0xFF)) * kLanes + lane] |= std::uint64_t{1} << i;
        }
      });
    }
  }
  V row(char32_t c) const noexcept {
    V v;
    __builtin_memcpy(&v, rows_.data() + (std::size_t{directory_[c >> 8]} * 256 + (c & 0xFF)) * kLanes, sizeof v);
    return v;
  }

 private:
  static constexpr std::size_t kPages = (0x10FFFF >> 8) + 1;
  std::vector<std::uint16_t> directory_;
  std::vector<std::uint64_t> rows_;
};

// The column state after a whole text, from which each lane's distance
// follows (lane_group.hpp's edit_distance_lanes, lanes transposed).
template <bool kTranspositions, class Unit>
inline void step_text(const Table& table, const Unit* units, std::size_t n, V& VP_out, V& VN_out) noexcept {
  const V one = V{} + 1;
  V VP = ~V{};
  V VN = V{};
  V D0 = V{};
  V EqPrev = V{};
  for (std::size_t j = 0; j < n; ++j) {
    const V Eq = table.row(static_cast<char32_t>(units[j]));
    V diagonal = (((Eq & VP) + VP) ^ VP) | Eq | VN;
    if constexpr (kTranspositions) {
      diagonal |= (((~D0) & Eq) << 1) & EqPrev;
      D0 = diagonal;
      EqPrev = Eq;
    }
    const V HP = ((VN | ~(diagonal | VP)) << 1) | one;
    const V HN = (VP & diagonal) << 1;
    VP = HN | ~(diagonal | HP);
    VN = HP & diagonal;
  }
  VP_out = VP;
  VN_out = VN;
}

template <bool kTranspositions>
void edit_distances(const Text* queries, std::size_t count, const Text* texts, std::size_t n, std::uint32_t* out) {
  const Table table(queries, count);
  std::uint64_t rows[kLanes];
  for (std::size_t lane = 0; lane < count; ++lane) {
    const std::size_t m = queries[lane].size();
    rows[lane] = m >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << m) - 1;
  }
  for (std::size_t j = 0; j < n; ++j) {
    V VP, VN;
    with_units(texts[j], [&](const auto* units, std::size_t size) {
      step_text<kTranspositions>(table, units, size, VP, VN);
    });
    const std::size_t size = texts[j].size();
    for (std::size_t lane = 0; lane < count; ++lane) {
      const auto up = static_cast<std::size_t>(__builtin_popcountll(VP[lane] & rows[lane]));
      const auto down = static_cast<std::size_t>(__builtin_popcountll(VN[lane] & rows[lane]));
      out[lane * n + j] = static_cast<std::uint32_t>(size + up - down);
    }
  }
}

// Jaro-Winkler with the text driving and the queries tabled, as the batch's
// lane kernel (jaro_winkler_lanes.hpp) does with texts in the lanes: per
// lane a window over its query's positions, the matched query positions and
// the count of matches; a second pass pairs matched positions in order to
// count transpositions. Each lane's score is finished by
// jaro_winkler_detail::score itself.
template <class Unit>
void jaro_winkler_text(const Table& table, const Unit* units, std::size_t n, const std::size_t* query_lengths,
                       std::size_t count, double p, double* out, std::size_t stride) {
  V reach = V{};
  V Win = V{};
  for (std::size_t lane = 0; lane < count; ++lane) {
    const std::size_t w = jaro_winkler_detail::match_window(query_lengths[lane], n);
    reach[lane] = w;
    Win[lane] = jaro_winkler_detail::window_at(0, w);
  }
  const V one = V{} + 1;
  V Eqs[kMaxTextLength];
  V hits[kMaxTextLength];
  V matched = V{};
  V matches = V{};
  V prefix = V{};
  V run = ~V{};
  for (std::size_t j = 0; j < n; ++j) {
    const V Eq = table.row(static_cast<char32_t>(units[j]));
    Eqs[j] = Eq;
    const V jv = V{} + j;
    const V x = Eq & Win & ~matched;
    matched |= x & (V{} - x);
    const V hit = reinterpret_cast<V>(x != 0);
    hits[j] = hit;
    matches -= hit;
    if (j < jaro_winkler_detail::kPrefixCap) {
      run &= reinterpret_cast<V>((Eq & (V{} + (std::uint64_t{1} << j))) != 0);
      prefix -= run;
    }
    Win = (Win << 1) | (reinterpret_cast<V>(reach > jv) & one);
  }
  V remaining = matched;
  V transposed = V{};
  for (std::size_t j = 0; j < n; ++j) {
    const V lowest = remaining & (V{} - remaining);
    transposed -= reinterpret_cast<V>((Eqs[j] & lowest) == 0) & hits[j];
    remaining ^= lowest & hits[j];
  }
  for (std::size_t lane = 0; lane < count; ++lane) {
    const std::size_t m = matches[lane];
    out[lane * stride] = m == 0 ? 0.0
                                : jaro_winkler_detail::score(m, transposed[lane] / 2, prefix[lane], query_lengths[lane],
                                                             n, p);
  }
}

void kernel(Measure measure, const Text* queries, std::size_t count, const Text* texts, std::size_t n, double p,
            void* out) {
  if (measure == Measure::damerau) {
    edit_distances<true>(queries, count, texts, n, static_cast<std::uint32_t*>(out));
  } else if (measure == Measure::levenshtein) {
    edit_distances<false>(queries, count, texts, n, static_cast<std::uint32_t*>(out));
  } else {
    const Table table(queries, count);
    std::size_t lengths[kLanes];
    for (std::size_t lane = 0; lane < count; ++lane) lengths[lane] = queries[lane].size();
    auto* const scores = static_cast<double*>(out);
    for (std::size_t j = 0; j < n; ++j) {
      with_units(texts[j], [&](const auto* units, std::size_t size) {
        jaro_winkler_text(table, units, size, lengths, count, p, scores + j, n);
      });
    }
  }
}

}  // namespace
}  // namespace morvane::multi

MORVANE_TARGET_END

namespace morvane::multi {
template <>
Form form<SimdLevel::MORVANE_LEVEL>() noexcept {
  return {kLanes, &kernel};
}
}  // namespace morvane::multi

#else

namespace morvane::multi {
template <>
Form form<SimdLevel::MORVANE_LEVEL>() noexcept {
  return {};
}
}  // namespace morvane::multi

#endif
