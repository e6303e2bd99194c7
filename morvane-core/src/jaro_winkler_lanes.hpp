// The lane kernel of jaro_winkler_batch: the scalar form's bit-parallel
// scan (jaro_winkler_batch_scalar.cpp), one candidate per lane of a vector
// register, finished in the very operations and order of
// jaro_winkler_detail::score, so that every lane's score is the scalar
// form's bit for bit.
//
// Include only after lane_group.hpp, inside a level's target region
// (lane_forms_level.cpp).
#pragma once

namespace morvane::batch::lanes {
namespace {

// Jaro-Winkler with the candidate driving and the query tabled (as the
// scalar form does): per lane a window over query positions, the matched
// query positions and the count of matches. A second pass pairs the matched
// positions of both texts in order to count transpositions, lane by lane:
// at each matched candidate position, the lowest query position not yet
// paired is its partner.
template <class Lane, std::size_t Bytes>
void jaro_winkler_lanes(const BatchQuery& q, SimdLevel /*level*/, const Text* texts, const std::uint32_t* idx,
                        std::size_t count, void* out) {
  using W = Vectors<Lane, Bytes>;
  using V = typename W::V;
  constexpr std::size_t N = W::kLanes;
  LaneGroup<Lane, Bytes> g;
  g.gather(q, texts, idx, count);
  const std::size_t len_q = q.pattern.size();
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
  alignas(64) double dm[N], dt[N], dl[N], dc[N], dq[N], scores[N];
  for (std::size_t k = 0; k < N; ++k) {
    dm[k] = static_cast<double>(m[k]);
    dt[k] = static_cast<double>(m[k] - t[k] / 2u);
    dl[k] = static_cast<double>(l[k]);
    dc[k] = static_cast<double>(g.length[k]);
    dq[k] = static_cast<double>(len_q);
  }
  lanes_score::jaro_winkler_scores<Bytes>(dm, dt, dl, dq, dc, q.p, N, scores);
  auto* const results = static_cast<double*>(out);
  for (std::size_t k = 0; k < count; ++k) results[idx[k]] = scores[k];
}

}  // namespace
}  // namespace morvane::batch::lanes
