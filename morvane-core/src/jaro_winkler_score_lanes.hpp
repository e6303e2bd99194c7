// The last step of every Jaro-Winkler lane kernel (the batches' texts in
// lanes, jaro_winkler_lanes.hpp; many queries in lanes,
// multi_query_level.cpp): from each lane's matches, halved transpositions,
// common prefix and the two lengths to its similarity, a vector of doubles
// at a time, in the very operations and order of jaro_winkler_detail::score.
// Lane by lane each is the correctly rounded result of the same operation,
// so the doubles are the same bits as the pair function's.
//
// Include only inside a level's target region, after every other header.
#pragma once

namespace morvane::lanes_score {
namespace {

// Scores of lanes [0, count): the arrays hold count doubles each, rounded
// up to whole vectors of Bytes; len_1 is the query's length, len_2 the
// text's, as jaro_winkler_detail::score takes them.
template <std::size_t Bytes>
void jaro_winkler_scores(const double* matches, const double* kept, const double* prefix, const double* len_1,
                         const double* len_2, double p, std::size_t count, double* scores) noexcept {
  constexpr std::size_t kDoubles = Bytes / sizeof(double);
  typedef double D __attribute__((vector_size(Bytes)));
  typedef std::int64_t I __attribute__((vector_size(Bytes)));
  const D scale = D{} + p;
  for (std::size_t k = 0; k < count; k += kDoubles) {
    D m, t, pre, l1, l2;
    __builtin_memcpy(&m, matches + k, sizeof(D));
    __builtin_memcpy(&t, kept + k, sizeof(D));
    __builtin_memcpy(&pre, prefix + k, sizeof(D));
    __builtin_memcpy(&l1, len_1 + k, sizeof(D));
    __builtin_memcpy(&l2, len_2 + k, sizeof(D));
    const D a = m / l2;
    const D b = m / l1;
    const D c = t / m;
    const D jaro = (c + (a + b)) / 3.0;
    const D boosted = jaro + (1.0 - jaro) * (scale * pre);
    const I boost = jaro > jaro_winkler_detail::kBoostThreshold;
    D score = boost ? boosted : jaro;
    const I none = m == 0.0;
    score = none ? D{} : score;
    __builtin_memcpy(scores + k, &score, sizeof(D));
  }
}

}  // namespace
}  // namespace morvane::lanes_score
