// The best items of a reference set for one query: runs of lengths nearest
// the query's first, and none whose length alone cannot beat the worst of
// the best found so far.
#include <algorithm>
#include <numeric>

#include "morvane/lookup.hpp"

namespace morvane {

std::vector<Match> best_matches(const Scoring& scoring, Query query, const ReferenceSet& set, std::size_t limit,
                                std::size_t begin, std::size_t end) {
  const bool largest = !is_distance(scoring.measure);
  const auto better = [largest](const Match& a, const Match& b) {
    if (a.score != b.score) return largest ? a.score > b.score : a.score < b.score;
    return a.position < b.position;
  };
  const auto better_value = [largest](double a, double b) { return largest ? a > b : a < b; };

  // Runs of one length within [begin, end), most promising first.
  struct Run {
    double bound;
    std::size_t begin, end;
  };
  std::vector<Run> runs;
  const auto lengths = set.lengths();
  const auto starts = set.starts();
  for (std::size_t g = 0; g < lengths.size(); ++g) {
    const std::size_t b = std::max(starts[g], begin), e = std::min(starts[g + 1], end);
    if (b >= e) continue;
    const double bound = length_bound(scoring, query, set.lowered(), lengths[g]);
    if (passes(scoring, bound)) runs.push_back({bound, b, e});
  }
  std::sort(runs.begin(), runs.end(), [&](const Run& a, const Run& b) {
    return better_value(a.bound, b.bound) || (a.bound == b.bound && a.begin < b.begin);
  });

  std::vector<Match> found;
  std::vector<double> scores;
  const auto trim = [&] {
    std::nth_element(found.begin(), found.begin() + static_cast<std::ptrdiff_t>(limit - 1), found.end(), better);
    found.resize(limit);
  };
  for (const Run& run : runs) {
    if (limit != 0 && found.size() >= limit) {
      trim();
      const Match& worst = *std::max_element(found.begin(), found.end(), better);
      // An item of this run at best ties the worst kept and could still
      // displace it by position; beyond that, nothing later can help.
      if (better_value(worst.score, run.bound)) break;
    }
    score_range(scoring, query, set, run.begin, run.end, scores);
    for (std::size_t k = 0; k < scores.size(); ++k) {
      if (passes(scoring, scores[k])) found.push_back({scores[k], set.position(run.begin + k)});
    }
  }
  if (limit != 0 && found.size() > limit) trim();
  std::sort(found.begin(), found.end(), better);
  return found;
}

}  // namespace morvane
