// Eight text characters of a multi-word kernel at once, as a wavefront: at
// step s, lane l steps word s - l for text character l of the group. A word
// step of character l needs the same word of character l - 1 (its column
// state and, for transpositions, its match mask) and the word below of its
// own character (the carries). The first comes out of lane l - 1 one step
// earlier, the second stays in lane l, so the lanes run in parallel and
// every value moves one lane up per step. Lane 0 reads the column before the
// group from the blocks, lane 7 writes the group's last column back.
//
// Before a lane reaches its first word it steps words of no pattern
// position: no match, column state all zero. From the initial carries (HP 1,
// HN 0, no transposition) such a step yields all zero again and the same
// carries, which are exactly the carries into the first word. So no lane
// needs to be told where it starts.
//
// Built for AVX2 (four 64-bit lanes per register, two registers), used by
// calls at the AVX2 level and above (morvane/simd.hpp); the arithmetic is
// that of block_step, lane by lane.
#include <cstddef>
#include <cstdint>

#include "bit_parallel.hpp"
#include "morvane/simd.hpp"

namespace morvane::bit_parallel::wave {

#if defined(__x86_64__) && defined(__GNUC__)

bool available(SimdLevel level) noexcept { return level >= SimdLevel::avx2; }

// Clang ignores GCC's target pragmas and takes the target as an attribute
// of every function in the region instead.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif

namespace {

typedef std::uint64_t v4 __attribute__((vector_size(32)));

// Lanes 0-3 in [0], 4-7 in [1].
struct Lanes {
  v4 v[2];
};

inline v4 splat(std::uint64_t x) { return v4{x, x, x, x}; }

// Every lane takes the value of the lane below; lane 0 takes `x`.
inline void shift_in(Lanes& a, std::uint64_t x) {
  a.v[1] = __builtin_shufflevector(a.v[0], a.v[1], 3, 4, 5, 6);
  a.v[0] = __builtin_shufflevector(v4{x, 0, 0, 0}, a.v[0], 0, 4, 5, 6);
}

inline std::uint64_t lane(const Lanes& a, std::size_t l) { return a.v[l / 4][l % 4]; }

template <bool kTranspositions>
struct Wave {
  Lanes VP, VN, D0, EQ;  // outputs of the last step
  Lanes hp, hn, tr;      // carries of each lane
  Lanes HP, HN;

  // Before the first step: outputs zero, carries those into a first word.
  void start() {
    VP = VN = D0 = EQ = hn = tr = HP = HN = Lanes{};
    hp = Lanes{{splat(1), splat(1)}};
  }

  // One step: the state of lane 0 comes from `in` and the previous column's
  // match mask from `eq_prev0`; `eq` holds each lane's match mask.
  template <class Block>
  void step(const Block& in, std::uint64_t eq_prev0, const Lanes& eq) {
    shift_in(VP, in.VP);
    shift_in(VN, in.VN);
    if constexpr (kTranspositions) {
      shift_in(D0, in.D0);
      shift_in(EQ, eq_prev0);
    }
    for (int h = 0; h < 2; ++h) {
      const v4 e = eq.v[h], vp = VP.v[h], vn = VN.v[h];
      v4 d0 = (((e & vp) + vp + hn.v[h]) ^ vp) | e | vn;
      if constexpr (kTranspositions) {
        const v4 u = ~D0.v[h] & e;
        d0 |= ((u << 1) | tr.v[h]) & EQ.v[h];
        tr.v[h] = u >> 63;
        D0.v[h] = d0;
        EQ.v[h] = e;
      }
      const v4 hpw = vn | ~(d0 | vp);
      const v4 hnw = vp & d0;
      const v4 hps = (hpw << 1) | hp.v[h];
      const v4 hns = (hnw << 1) | hn.v[h];
      hp.v[h] = hpw >> 63;
      hn.v[h] = hnw >> 63;
      HP.v[h] = hpw;
      HN.v[h] = hnw;
      VP.v[h] = hns | ~(d0 | hps);
      VN.v[h] = hps & d0;
    }
  }
};

template <bool kTranspositions, class Block>
std::ptrdiff_t group(const std::uint64_t* const* rows, Block* blocks, std::size_t lo, std::size_t hi,
                     std::uint64_t bottom, bool joined) noexcept {
  constexpr std::size_t L = kLanes;
  const std::uint64_t* const eq_prev = rows[0];
  const std::uint64_t* const* const eq_of = rows + 1;
  Wave<kTranspositions> w;
  w.start();
  Lanes eq{};
  // Lanes above lane s - lo have not reached word lo yet: no match.
  for (std::size_t s = lo; s < lo + L - 1; ++s) {
    for (std::size_t l = 0; l < L; ++l) {
      const std::size_t k = s - l;  // wraps below lo for lanes not started
      eq.v[l / 4][l % 4] = s >= lo + l ? eq_of[l][k] : 0;
    }
    w.step(blocks[s], eq_prev[s], eq);
  }
  for (std::size_t s = lo + L - 1; s < hi; ++s) {
    eq.v[0] = v4{eq_of[0][s], eq_of[1][s - 1], eq_of[2][s - 2], eq_of[3][s - 3]};
    eq.v[1] = v4{eq_of[4][s - 4], eq_of[5][s - 5], eq_of[6][s - 6], eq_of[7][s - 7]};
    w.step(blocks[s], eq_prev[s], eq);
    const std::size_t out = s - (L - 1);
    blocks[out].VP = lane(w.VP, L - 1);
    blocks[out].VN = lane(w.VN, L - 1);
    if constexpr (kTranspositions) blocks[out].D0 = lane(w.D0, L - 1);
  }
  // Lane s - hi steps word hi, the lanes below it are past the last word:
  // they read word hi again, and their results are never stored.
  std::ptrdiff_t delta = 0;
  for (std::size_t s = hi; s < hi + L; ++s) {
    for (std::size_t l = 0; l < L; ++l) {
      const std::size_t k = s - l < hi ? s - l : hi;
      eq.v[l / 4][l % 4] = eq_of[l][k];
    }
    if (kTranspositions && joined && s == hi) w.tr.v[0][0] = 0;
    w.step(blocks[hi], eq_prev[hi], eq);
    const std::size_t l = s - hi;
    delta += (lane(w.HP, l) & bottom) != 0;
    delta -= (lane(w.HN, l) & bottom) != 0;
    const std::size_t out = s - (L - 1);
    blocks[out].VP = lane(w.VP, L - 1);
    blocks[out].VN = lane(w.VN, L - 1);
    if constexpr (kTranspositions) blocks[out].D0 = lane(w.D0, L - 1);
  }
  return delta;
}

}  // namespace

std::ptrdiff_t step_group(const std::uint64_t* const* rows, LevenshteinBlock* blocks, std::size_t lo, std::size_t hi,
                          std::uint64_t bottom, bool joined) noexcept {
  return group<false>(rows, blocks, lo, hi, bottom, joined);
}

std::ptrdiff_t step_group(const std::uint64_t* const* rows, DamerauBlock* blocks, std::size_t lo, std::size_t hi,
                          std::uint64_t bottom, bool joined) noexcept {
  return group<true>(rows, blocks, lo, hi, bottom, joined);
}

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

#else

bool available(SimdLevel) noexcept { return false; }

std::ptrdiff_t step_group(const std::uint64_t* const*, LevenshteinBlock*, std::size_t, std::size_t, std::uint64_t,
                          bool) noexcept {
  return 0;
}

std::ptrdiff_t step_group(const std::uint64_t* const*, DamerauBlock*, std::size_t, std::size_t, std::uint64_t,
                          bool) noexcept {
  return 0;
}

#endif

}  // namespace morvane::bit_parallel::wave
