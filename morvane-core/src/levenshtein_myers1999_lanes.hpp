// The lane kernel of levenshtein_batch: Myers' bit-vector algorithm (Myers,
// "A fast bit-vector algorithm for approximate string matching based on
// dynamic programming", J. ACM 46(3), 1999, in the global distance form of
// bit_parallel.hpp), one candidate per lane of a vector register: the step
// of bit_parallel::LevenshteinWord lane by lane, around the diagonal vector
// below (lane_group.hpp's edit_distance_lanes).
//
// Include only after lane_group.hpp, inside a level's target region
// (lane_forms_level.cpp).
#pragma once

namespace morvane::batch::lanes {
namespace {

// A class rather than a lambda: a lambda in a template is made where the
// template is instantiated, past the end of the target region.
template <class V>
struct Myers1999Diagonal {
  V operator()(const V& Eq, const V& VP, const V& VN) const noexcept { return (((Eq & VP) + VP) ^ VP) | Eq | VN; }
};

template <class Lane, std::size_t Bytes>
void levenshtein_myers1999_lanes(const BatchQuery& q, SimdLevel /*level*/, const Text* texts,
                                 const std::uint32_t* idx, std::size_t count, void* out) {
  edit_distance_lanes<Lane, Bytes>(q, texts, idx, count, out, Myers1999Diagonal<typename Vectors<Lane, Bytes>::V>{});
}

}  // namespace
}  // namespace morvane::batch::lanes
