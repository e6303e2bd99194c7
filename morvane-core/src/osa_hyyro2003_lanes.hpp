// The lane kernel of damerau_batch (optimal string alignment): Hyyrö's
// bit-vector algorithm (Hyyrö, "A bit-vector algorithm for computing
// Levenshtein and Damerau edit distances", Nordic J. Computing 10, 2003),
// one candidate per lane of a vector register: the step of
// bit_parallel::DamerauWord lane by lane, around the diagonal vector below
// (lane_group.hpp's edit_distance_lanes).
//
// Include only after lane_group.hpp, inside a level's target region
// (lane_forms_level.cpp).
#pragma once

namespace morvane::batch::lanes {
namespace {

// A class rather than a lambda: a lambda in a template is made where the
// template is instantiated, past the end of the target region.
template <class V>
struct Hyyro2003Diagonal {
  V D0{};      // diagonal vector of the previous text character
  V EqPrev{};  // match masks of the previous text character

  V operator()(const V& Eq, const V& VP, const V& VN) noexcept {
    // A transposition ends at position i when text[j] = pattern[i - 1],
    // text[j - 1] = pattern[i] and the diagonal did not already advance there.
    const V TR = (((~D0) & Eq) << 1) & EqPrev;
    D0 = (((Eq & VP) + VP) ^ VP) | Eq | VN | TR;
    EqPrev = Eq;
    return D0;
  }
};

template <class Lane, std::size_t Bytes>
void osa_hyyro2003_lanes(const BatchQuery& q, SimdLevel /*level*/, const Text* texts, const std::uint32_t* idx,
                         std::size_t count, void* out) {
  edit_distance_lanes<Lane, Bytes>(q, texts, idx, count, out, Hyyro2003Diagonal<typename Vectors<Lane, Bytes>::V>{});
}

}  // namespace
}  // namespace morvane::batch::lanes
