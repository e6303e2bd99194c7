// The lane forms of the batches, written once over the compiler's generic
// vector types and compiled once per instruction-set level: each level's
// source includes this file inside a region that enables its instructions,
// so the same code, with the same meaning, becomes AVX2 or AVX-512 code.
//
// A group of up to kLanes candidates is laid out as a column block: row j
// holds, lane by lane, the match mask of each candidate's code point j (the
// query's row word for it, truncated to the lane). Candidates are read in
// place and their masks written straight into the block, so nothing is
// allocated per candidate. Rows past a lane's last code point hold whatever
// an earlier group left there; no result depends on them.
//
// Include only inside such a region, and only after every other header, so
// that no function defined elsewhere is compiled with the wider instructions.

// Internal to each including file: every level has its own copy.
namespace morvane::batch::lanes {
namespace {

template <class Lane, std::size_t Bytes>
struct Vectors {
  typedef Lane V __attribute__((vector_size(Bytes)));
  static constexpr std::size_t kLanes = Bytes / sizeof(Lane);

  static V broadcast(std::size_t x) noexcept { return V{} + static_cast<Lane>(x); }
  static V load(const void* p) noexcept {
    V v;
    __builtin_memcpy(&v, p, sizeof v);
    return v;
  }
  static void store(void* p, V v) noexcept { __builtin_memcpy(p, &v, sizeof v); }
  // All ones in lanes where `mask` (a comparison's result) holds.
  template <class M>
  static V bits(M mask) noexcept {
    return __builtin_bit_cast(V, mask);
  }
};

// The column block and the per-lane facts of one group.
template <class Lane, std::size_t Bytes>
struct Group {
  static constexpr std::size_t kLanes = Bytes / sizeof(Lane);
  alignas(64) Lane eq[kMaxLaneText][kLanes];
  alignas(64) Lane length[kLanes];
  std::size_t steps = 0;

  // Fills the block from texts[idx[k]], k < count; lanes from count on get
  // length 0. Rows past a lane's last code point keep whatever an earlier
  // group left there.
  void gather(const PreparedQuery& q, const Text* texts, const std::uint32_t* idx, std::size_t count) noexcept {
    const QueryMasks& masks = *q.masks;
    const std::uint64_t* const direct = masks.direct();
    steps = 0;
    for (std::size_t k = count; k < kLanes; ++k) length[k] = 0;
    for (std::size_t k = 0; k < count; ++k) {
      const Text t = texts[idx[k]];
      const std::size_t n = t.size();
      length[k] = static_cast<Lane>(n);
      steps = n > steps ? n : steps;
      // The loops below stay scalar (the empty statements): the compiler's
      // vectorised form, a scatter of one lane per row, costs more per code
      // point, and more again in set-up for a short text.
      switch (t.width()) {
        case 1: {
          const auto* u = static_cast<const std::uint8_t*>(t.data());
          for (std::size_t j = 0; j < n; ++j) {
            eq[j][k] = static_cast<Lane>(direct[u[j]]);
            __asm__("");
          }
          break;
        }
        case 2: {
          const auto* u = static_cast<const std::uint16_t*>(t.data());
          if (masks.has_basic_plane_index()) {
            for (std::size_t j = 0; j < n; ++j) {
              eq[j][k] = static_cast<Lane>(masks.first_bmp(u[j]));
              __asm__("");
            }
          } else {
            for (std::size_t j = 0; j < n; ++j) {
              eq[j][k] = static_cast<Lane>(masks.first(u[j]));
              __asm__("");
            }
          }
          break;
        }
        default: {
          const auto* u = static_cast<const std::uint32_t*>(t.data());
          for (std::size_t j = 0; j < n; ++j) {
            eq[j][k] = static_cast<Lane>(masks.first(u[j]));
            __asm__("");
          }
          break;
        }
      }
    }
  }
};

// Levenshtein (kDamerau false) or optimal string alignment, the single-word
// kernel step of bit_parallel.hpp lane by lane. Additions carry and shifts
// move bits only upwards within a lane, and no bit above the pattern's last
// position is read, so lanes as narrow as the pattern give the 64-bit
// kernel's distances. Each lane keeps its column state as it was after its
// own last code point, from which its distance follows as in
// bit_parallel::distance_of.
template <class Lane, std::size_t Bytes, bool kDamerau>
void edit_distance_group(const PreparedQuery& q, SimdLevel /*level*/, const Text* texts, const std::uint32_t* idx,
                         std::size_t count, void* out) {
  using W = Vectors<Lane, Bytes>;
  using V = typename W::V;
  Group<Lane, Bytes> g;
  g.gather(q, texts, idx, count);
  const std::size_t m = q.length;
  const V one = W::broadcast(1);
  const V lengths = W::load(g.length);
  V VP = ~V{};
  V VN = V{};
  V D0 = V{};
  V EqPrev = V{};
  V final_VP = VP;  // an empty text's state
  V final_VN = VN;
  for (std::size_t j = 0; j < g.steps; ++j) {
    const V Eq = W::load(g.eq[j]);
    V D = (((Eq & VP) + VP) ^ VP) | Eq | VN;
    if constexpr (kDamerau) D |= (((~D0) & Eq) << 1) & EqPrev;
    V HP = VN | ~(D | VP);
    V HN = VP & D;
    HP = (HP << 1) | one;
    HN <<= 1;
    VP = HN | ~(D | HP);
    VN = HP & D;
    if constexpr (kDamerau) {
      D0 = D;
      EqPrev = Eq;
    }
    const V done = W::bits(lengths == W::broadcast(j + 1));
    final_VP = done ? VP : final_VP;
    final_VN = done ? VN : final_VN;
  }
  alignas(64) Lane vp[W::kLanes], vn[W::kLanes];
  W::store(vp, final_VP);
  W::store(vn, final_VN);
  auto* const results = static_cast<std::size_t*>(out);
  // As bit_parallel::distance_of, with this level's population count.
  const std::uint64_t rows = m >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << m) - 1;
  for (std::size_t k = 0; k < count; ++k) {
    const auto up = static_cast<std::size_t>(__builtin_popcountll(vp[k] & rows));
    const auto down = static_cast<std::size_t>(__builtin_popcountll(vn[k] & rows));
    results[idx[k]] = g.length[k] + up - down;
  }
}

// Jaro-Winkler with the candidate driving and the query tabled (as the
// scalar form does): per lane a window over query positions, the matched
// query positions and the count of matches. A second pass pairs the matched
// positions of both texts in order to count transpositions, lane by lane:
// at each matched candidate position, the lowest query position not yet
// paired is its partner.
template <class Lane, std::size_t Bytes>
void jaro_winkler_group(const PreparedQuery& q, SimdLevel /*level*/, const Text* texts, const std::uint32_t* idx,
                        std::size_t count, void* out) {
  using W = Vectors<Lane, Bytes>;
  using V = typename W::V;
  constexpr std::size_t N = W::kLanes;
  Group<Lane, Bytes> g;
  g.gather(q, texts, idx, count);
  const std::size_t len_q = q.length;
  alignas(64) Lane reach[N];   // the match window w of each lane
  alignas(64) Lane window[N];  // the window of candidate position 0
  for (std::size_t k = 0; k < N; ++k) {
    const std::size_t w = jaro_winkler_detail::match_window(len_q, g.length[k]);
    reach[k] = static_cast<Lane>(w);
    window[k] = static_cast<Lane>(jaro_winkler_detail::window_at(0, w));
  }
  alignas(64) Lane hits[kMaxLaneText][N];
  const V lengths = W::load(g.length);
  const V w = W::load(reach);
  const V one = W::broadcast(1);
  V Win = W::load(window);
  V matched = V{};
  V matches = V{};
  V prefix = V{};
  V run = ~V{};
  for (std::size_t j = 0; j < g.steps; ++j) {
    const V Eq = W::load(g.eq[j]);
    const V jv = W::broadcast(j);
    // Rows past a lane's end hold stale masks: they must match nothing.
    const V active = W::bits(lengths > jv);
    const V x = Eq & Win & ~matched & active;
    matched |= x & (V{} - x);
    const V hit = W::bits(x != 0);
    W::store(hits[j], hit);
    matches -= hit;
    if (j < jaro_winkler_detail::kPrefixCap) {
      run &= W::bits((Eq & W::broadcast(std::uint64_t{1} << j)) != 0) & active;
      prefix -= run;
    }
    Win = (Win << 1) | (W::bits(w > jv) & one);
  }
  V remaining = matched;
  V transposed = V{};
  for (std::size_t j = 0; j < g.steps; ++j) {
    const V hit = W::load(hits[j]);
    const V lowest = remaining & (V{} - remaining);
    transposed -= W::bits((W::load(g.eq[j]) & lowest) == 0) & hit;
    remaining ^= lowest & hit;
  }
  alignas(64) Lane m[N], t[N], l[N];
  W::store(m, matches);
  W::store(t, transposed);
  W::store(l, prefix);
  // The score of every lane, Bytes / 8 lanes at a time, in the very
  // operations and order of jaro_winkler_detail::score: lane by lane, each
  // is the correctly rounded result of the same operation, so the doubles
  // are the same bits.
  constexpr std::size_t kDoubles = Bytes / sizeof(double);
  typedef double D __attribute__((vector_size(Bytes)));
  typedef std::int64_t I __attribute__((vector_size(Bytes)));
  alignas(64) double dm[N], dt[N], dl[N], dc[N], scores[N];
  for (std::size_t k = 0; k < N; ++k) {
    dm[k] = static_cast<double>(m[k]);
    dt[k] = static_cast<double>(m[k] - t[k] / 2u);
    dl[k] = static_cast<double>(l[k]);
    dc[k] = static_cast<double>(g.length[k]);
  }
  const D lq = D{} + static_cast<double>(len_q);
  const D p = D{} + q.p;
  for (std::size_t k = 0; k < N; k += kDoubles) {
    D matches_d, kept, pre, len_c;
    __builtin_memcpy(&matches_d, dm + k, sizeof(D));
    __builtin_memcpy(&kept, dt + k, sizeof(D));
    __builtin_memcpy(&pre, dl + k, sizeof(D));
    __builtin_memcpy(&len_c, dc + k, sizeof(D));
    const D a = matches_d / len_c;
    const D b = matches_d / lq;
    const D c = kept / matches_d;
    const D jaro = (c + (a + b)) / 3.0;
    const D boosted = jaro + (1.0 - jaro) * (p * pre);
    const I boost = jaro > jaro_winkler_detail::kBoostThreshold;
    D score = boost ? boosted : jaro;
    const I none = matches_d == 0.0;
    score = none ? D{} : score;
    __builtin_memcpy(scores + k, &score, sizeof(D));
  }
  auto* const results = static_cast<double*>(out);
  for (std::size_t k = 0; k < count; ++k) results[idx[k]] = scores[k];
}

// Every lane form of one level, narrowest lanes first per measure (the order
// choose() relies on): `level` a SimdLevel name, `bytes` its vector width.
#define MORVANE_LANE_FORM(measure, lane, bits, group, level, bytes)                                          \
  Form {                                                                                                     \
    #measure "/" #level "/" #bits, Measure::measure, SimdLevel::level, bits, (bytes) / sizeof(lane), bits, \
        kMaxLaneText, group                                                                                  \
  }
#define MORVANE_EDIT_FORMS(measure, damerau, level, bytes)                                                                  \
  MORVANE_LANE_FORM(measure, std::uint8_t, 8, (&edit_distance_group<std::uint8_t, bytes, damerau>), level, bytes),      \
      MORVANE_LANE_FORM(measure, std::uint16_t, 16, (&edit_distance_group<std::uint16_t, bytes, damerau>), level, bytes), \
      MORVANE_LANE_FORM(measure, std::uint32_t, 32, (&edit_distance_group<std::uint32_t, bytes, damerau>), level, bytes), \
      MORVANE_LANE_FORM(measure, std::uint64_t, 64, (&edit_distance_group<std::uint64_t, bytes, damerau>), level, bytes)
#define MORVANE_LANE_FORMS(level, bytes)                                                                         \
  {                                                                                                              \
    MORVANE_EDIT_FORMS(levenshtein, false, level, bytes), MORVANE_EDIT_FORMS(damerau, true, level, bytes),       \
        MORVANE_LANE_FORM(jaro_winkler, std::uint8_t, 8, (&jaro_winkler_group<std::uint8_t, bytes>), level, bytes),    \
        MORVANE_LANE_FORM(jaro_winkler, std::uint16_t, 16, (&jaro_winkler_group<std::uint16_t, bytes>), level, bytes), \
        MORVANE_LANE_FORM(jaro_winkler, std::uint32_t, 32, (&jaro_winkler_group<std::uint32_t, bytes>), level, bytes), \
        MORVANE_LANE_FORM(jaro_winkler, std::uint64_t, 64, (&jaro_winkler_group<std::uint64_t, bytes>), level, bytes)  \
  }

}  // namespace
}  // namespace morvane::batch::lanes
