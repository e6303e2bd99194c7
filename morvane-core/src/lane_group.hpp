// What every lane kernel of the batches shares: the compiler's generic
// vectors of one level's width, the group of candidates laid out for them,
// and for both edit distances everything but the diagonal vector.
// The kernels (levenshtein_myers1999_lanes.hpp, osa_hyyro2003_lanes.hpp,
// jaro_winkler_lanes.hpp) are written once over these types and compiled once
// per instruction-set level (lane_forms_level.cpp).
//
// A group of up to kLanes candidates is laid out as a column block: row j
// holds, lane by lane, the match mask of each candidate's code point j (the
// query's row word for it, truncated to the lane). Candidates are read in
// place and their masks written straight into the block, so nothing is
// allocated per candidate. Rows past a lane's last code point hold whatever
// an earlier group left there; no result depends on them.
//
// Include only inside a level's target region (lane_forms_level.cpp), after
// every other header, so that no function defined elsewhere is compiled with
// the wider instructions. Everything here is internal to that file: every
// level has its own copy.
#pragma once

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
struct LaneGroup {
  static constexpr std::size_t kLanes = Bytes / sizeof(Lane);
  alignas(64) Lane eq[kMaxLaneText][kLanes];
  alignas(64) Lane length[kLanes];
  std::size_t steps = 0;

  // Fills the block from texts[idx[k]], k < count; lanes from count on get
  // length 0. Rows past a lane's last code point keep whatever an earlier
  // group left there.
  void gather(const BatchQuery& q, const Text* texts, const std::uint32_t* idx, std::size_t count) noexcept {
    const QueryMasks& masks = q.masks;
    const std::uint64_t* const direct = masks.direct();
    steps = 0;
    for (std::size_t k = count; k < kLanes; ++k) length[k] = 0;
    for (std::size_t k = 0; k < count; ++k) {
      const Text t = texts[idx[k]];
      const std::size_t n = t.size();
      length[k] = static_cast<Lane>(n);
      steps = n > steps ? n : steps;
      // The loops below stay scalar (the empty statements): the compiler's
      // vectorised form, a scatter of one lane per row, is slower per code
      // point and in set-up for a short text (BM_Form in
      // batch_forms_benchmark.cpp shows it).
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

// Both edit distances' lane kernels around the one step in which they
// differ: `diagonal(Eq, VP, VN)` forms the diagonal vector D0 of a text
// character from its match masks and the column state before it. The rest
// is the word step of bit_parallel.hpp lane by lane: the horizontal deltas,
// shifted in with the first row's 1, and the new vertical deltas.
//
// Additions carry and shifts move bits only upwards within a lane, and no
// bit above the pattern's last position is read, so lanes as narrow as the
// pattern give the 64-bit kernel's distances. Each lane keeps its column
// state as it was after its own last code point, from which its distance
// follows as in bit_parallel::distance_of, with this level's population
// count.
template <class Lane, std::size_t Bytes, class Diagonal>
void edit_distance_lanes(const BatchQuery& q, const Text* texts, const std::uint32_t* idx, std::size_t count,
                         void* out, Diagonal diagonal) noexcept {
  using W = Vectors<Lane, Bytes>;
  using V = typename W::V;
  LaneGroup<Lane, Bytes> g;
  g.gather(q, texts, idx, count);
  const V one = W::broadcast(1);
  const V lengths = W::load(g.length);
  V VP = ~V{};
  V VN = V{};
  V final_VP = VP;  // an empty text's state
  V final_VN = VN;
  for (std::size_t j = 0; j < g.steps; ++j) {
    const V D0 = diagonal(W::load(g.eq[j]), VP, VN);
    const V HP = ((VN | ~(D0 | VP)) << 1) | one;
    const V HN = (VP & D0) << 1;
    VP = HN | ~(D0 | HP);
    VN = HP & D0;
    const V done = W::bits(lengths == W::broadcast(j + 1));
    final_VP = done ? VP : final_VP;
    final_VN = done ? VN : final_VN;
  }
  alignas(64) Lane vp[W::kLanes], vn[W::kLanes];
  W::store(vp, final_VP);
  W::store(vn, final_VN);
  auto* const results = static_cast<std::size_t*>(out);
  const std::size_t m = q.pattern.size();
  const std::uint64_t rows = m >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << m) - 1;
  for (std::size_t k = 0; k < count; ++k) {
    const auto up = static_cast<std::size_t>(__builtin_popcountll(vp[k] & rows));
    const auto down = static_cast<std::size_t>(__builtin_popcountll(vn[k] & rows));
    results[idx[k]] = g.length[k] + up - down;
  }
}

}  // namespace
}  // namespace morvane::batch::lanes
