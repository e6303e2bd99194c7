// The Jaro-Winkler batch and the scoring of single candidates against its
// prepared query (jaro_winkler_batch.hpp).
#include "morvane/jaro_winkler_batch.hpp"

#include "batch_driver.hpp"
#include "batch_forms.hpp"
#include "morvane/jaro_winkler.hpp"
#include "morvane/lower.hpp"

namespace morvane {

Expected<BatchQuery> jaro_winkler_query(Text query, std::optional<double> p, std::optional<bool> case_insensitive) {
  const Expected<double> scale = validate_prefix_scale(p);
  if (!scale) return std::unexpected(scale.error());
  return Expected<BatchQuery>(std::in_place, query, case_insensitive, *scale);
}

double jaro_winkler_similarity(const BatchQuery& query, Text candidate, JaroWinklerScratch& scratch) {
  if (query.pattern.empty()) return candidate.empty() ? 1.0 : 0.0;
  // The general scan of long candidates compares code points themselves, so
  // they are lowercased in full when folding; so are the rare short ones the
  // masks cannot lowercase on the way.
  if (query.case_insensitive &&
      (candidate.size() > jaro_winkler_detail::kBitParallelMax || needs_full_lowering(candidate))) {
    scratch.lowered.resize(candidate.size() * kMaxLoweredLength);
    const std::size_t n = lower_into(candidate, scratch.lowered.data());
    candidate = Text::of_width(scratch.lowered.data(), n, candidate.width(), candidate.ascii());
  }
  const std::uint32_t self = 0;
  double score = 0.0;
  batch::jaro_winkler_batch_scalar(query, SimdLevel::scalar, &candidate, &self, 1, &score);
  return score;
}

double jaro_winkler_similarity(const BatchQuery& query, Text candidate) {
  JaroWinklerScratch scratch;
  return jaro_winkler_similarity(query, candidate, scratch);
}

Expected<BulkVector<double>> jaro_winkler_batch(Text query, std::span<const Text> candidates,
                                                std::optional<double> p, std::optional<bool> case_insensitive,
                                                SimdLevel level, std::size_t* lone_surrogate) {
  if (lone_surrogate != nullptr) *lone_surrogate = static_cast<std::size_t>(-1);
  Expected<BatchQuery> prepared = jaro_winkler_query(query, p, case_insensitive);
  if (!prepared) {
    // A candidate's lone surrogate is an error of the candidates, which come
    // before the prefix scale.
    batch::find_lone_surrogate(candidates, lone_surrogate);
    return std::unexpected(prepared.error());
  }
  if (candidates.size() >= batch::kIndexBasicPlaneFrom) prepared->masks.index_basic_plane();
  BulkVector<double> scores(candidates.size());
  const std::size_t m = prepared->pattern.size();
  if (m == 0) {
    if (batch::find_lone_surrogate(candidates, lone_surrogate)) return scores;
    for (std::size_t i = 0; i < candidates.size(); ++i) scores[i] = candidates[i].empty() ? 1.0 : 0.0;
    return scores;
  }
  batch::score_all(*prepared, level, batch::choose(batch::Measure::jaro_winkler, level, m),
                   batch::choose(batch::Measure::jaro_winkler, SimdLevel::scalar, m), candidates,
                   prepared->case_insensitive, jaro_winkler_detail::kBitParallelMax, scores.data(), lone_surrogate);
  return scores;
}

Expected<BulkVector<double>> jaro_winkler_batch(Text query, std::span<const Text> candidates,
                                                std::optional<double> p, std::optional<bool> case_insensitive) {
  return jaro_winkler_batch(query, candidates, p, case_insensitive, simd_level(), nullptr);
}

}  // namespace morvane
