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

#include "jaro_winkler_score_lanes.hpp"

namespace morvane::multi {
namespace {

constexpr std::size_t kBytes = MORVANE_VECTOR_BYTES;

// Queries in lanes of `Lane`: as many as the vector holds, each of at most
// as many code points as the lane has bits. Additions carry and shifts move
// bits only upwards within a lane, and no bit above a query's last position
// is read, so narrow lanes give the 64-bit lanes' results.
template <class Lane>
struct Lanes {
  static constexpr std::size_t kCount = kBytes / sizeof(Lane);
  typedef Lane V __attribute__((vector_size(kBytes)));
  static V splat(std::size_t x) noexcept { return V{} + static_cast<Lane>(x); }
  template <class M>
  static V bits(M mask) noexcept {
    return reinterpret_cast<V>(mask);
  }
};

// Match masks of every lane's query, one row per code point: rows of code
// points no query holds share page 0, all zeros. A look-up is two loads.
// Rows are kept as plain lanes and loaded unaligned: the standard allocator
// need not honour a vector type's alignment.
template <class Lane>
class Table {
 public:
  using L = Lanes<Lane>;
  using V = typename L::V;

  Table(const Text* queries, std::size_t count) : directory_(kPages, 0), rows_(256 * L::kCount) {
    for (std::size_t lane = 0; lane < count; ++lane) {
      with_units(queries[lane], [&](const auto* units, std::size_t size) {
        for (std::size_t i = 0; i < size; ++i) {
          const char32_t c = units[i];
          std::uint16_t& page = directory_[c >> 8];
          if (page == 0) {
            page = static_cast<std::uint16_t>(rows_.size() / (256 * L::kCount));
            rows_.resize(rows_.size() + 256 * L::kCount, 0);
          }
          Lane& row = rows_[(std::size_t{page} * 256 + (c & 0xFF)) * L::kCount + lane];
          row = static_cast<Lane>(row | static_cast<Lane>(std::uint64_t{1} << i));
        }
      });
    }
  }
  V row(char32_t c) const noexcept {
    V v;
    __builtin_memcpy(&v, rows_.data() + (std::size_t{directory_[c >> 8]} * 256 + (c & 0xFF)) * L::kCount, sizeof v);
    return v;
  }

 private:
  static constexpr std::size_t kPages = (0x10FFFF >> 8) + 1;
  std::vector<std::uint16_t> directory_;
  std::vector<Lane> rows_;
};

// The column state after a whole text, from which each lane's distance
// follows (lane_group.hpp's edit_distance_lanes, lanes transposed).
template <class Lane, bool kTranspositions, class Unit>
inline void step_text(const Table<Lane>& table, const Unit* units, std::size_t n, typename Lanes<Lane>::V& VP_out,
                      typename Lanes<Lane>::V& VN_out) noexcept {
  using V = typename Lanes<Lane>::V;
  const V one = Lanes<Lane>::splat(1);
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

template <class Lane, bool kTranspositions>
void edit_distances(const Text* queries, std::size_t count, const Text* texts, std::size_t n, std::uint32_t* out) {
  using L = Lanes<Lane>;
  const Table<Lane> table(queries, count);
  std::uint64_t rows[L::kCount];
  for (std::size_t lane = 0; lane < count; ++lane) {
    const std::size_t m = queries[lane].size();
    rows[lane] = m >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << m) - 1;
  }
  for (std::size_t j = 0; j < n; ++j) {
    typename L::V VP, VN;
    with_units(texts[j], [&](const auto* units, std::size_t size) {
      step_text<Lane, kTranspositions>(table, units, size, VP, VN);
    });
    const std::size_t size = texts[j].size();
    for (std::size_t lane = 0; lane < count; ++lane) {
      const auto up = static_cast<std::size_t>(__builtin_popcountll(static_cast<std::uint64_t>(VP[lane]) & rows[lane]));
      const auto down = static_cast<std::size_t>(__builtin_popcountll(static_cast<std::uint64_t>(VN[lane]) & rows[lane]));
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
template <class Lane, class Unit>
void jaro_winkler_text(const Table<Lane>& table, const Unit* units, std::size_t n, const std::size_t* query_lengths,
                       std::size_t count, double p, double* out, std::size_t stride) {
  using L = Lanes<Lane>;
  using V = typename L::V;
  V reach = V{};
  V Win = V{};
  for (std::size_t lane = 0; lane < count; ++lane) {
    const std::size_t w = jaro_winkler_detail::match_window(query_lengths[lane], n);
    reach[lane] = static_cast<Lane>(w);
    Win[lane] = static_cast<Lane>(jaro_winkler_detail::window_at(0, w));
  }
  const V one = L::splat(1);
  V Eqs[kMaxTextLength];
  V hits[kMaxTextLength];
  V matched = V{};
  V matches = V{};
  V prefix = V{};
  V run = ~V{};
  for (std::size_t j = 0; j < n; ++j) {
    const V Eq = table.row(static_cast<char32_t>(units[j]));
    Eqs[j] = Eq;
    const V jv = L::splat(j);
    const V x = Eq & Win & ~matched;
    matched |= x & (V{} - x);
    const V hit = L::bits(x != 0);
    hits[j] = hit;
    matches -= hit;
    if (j < jaro_winkler_detail::kPrefixCap) {
      run &= L::bits((Eq & L::splat(std::size_t{1} << j)) != 0);
      prefix -= run;
    }
    Win = (Win << 1) | (L::bits(reach > jv) & one);
  }
  V remaining = matched;
  V transposed = V{};
  for (std::size_t j = 0; j < n; ++j) {
    const V lowest = remaining & (V{} - remaining);
    transposed -= L::bits((Eqs[j] & lowest) == 0) & hits[j];
    remaining ^= lowest & hits[j];
  }
  // Every lane's score at once; the arrays are whole vectors of doubles.
  constexpr std::size_t kRounded = (L::kCount + 7) / 8 * 8;
  alignas(64) double dm[kRounded]{}, dt[kRounded]{}, dl[kRounded]{}, dq[kRounded]{}, dn[kRounded]{}, scores[kRounded]{};
  for (std::size_t lane = 0; lane < count; ++lane) {
    dm[lane] = static_cast<double>(matches[lane]);
    dt[lane] = static_cast<double>(std::size_t{matches[lane]} - std::size_t{transposed[lane]} / 2);
    dl[lane] = static_cast<double>(prefix[lane]);
    dq[lane] = static_cast<double>(query_lengths[lane]);
    dn[lane] = static_cast<double>(n);
  }
  lanes_score::jaro_winkler_scores<kBytes>(dm, dt, dl, dq, dn, p, count, scores);
  for (std::size_t lane = 0; lane < count; ++lane) out[lane * stride] = scores[lane];
}

template <class Lane>
void kernel(Measure measure, const Text* queries, std::size_t count, const Text* texts, std::size_t n, double p,
            void* out) {
  if (measure == Measure::damerau) {
    edit_distances<Lane, true>(queries, count, texts, n, static_cast<std::uint32_t*>(out));
  } else if (measure == Measure::levenshtein) {
    edit_distances<Lane, false>(queries, count, texts, n, static_cast<std::uint32_t*>(out));
  } else {
    const Table<Lane> table(queries, count);
    std::size_t lengths[Lanes<Lane>::kCount];
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
  return {{Width{8, kBytes, &kernel<std::uint8_t>}, Width{16, kBytes / 2, &kernel<std::uint16_t>},
           Width{32, kBytes / 4, &kernel<std::uint32_t>}, Width{64, kBytes / 8, &kernel<std::uint64_t>}}};
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
