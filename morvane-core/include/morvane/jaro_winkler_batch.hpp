// Jaro-Winkler similarity of one query against many candidates.
//
// The query is validated, lowercased (when folding) and tabled once, in any
// script and of any length (BatchQuery). A candidate of up to
// jaro_winkler_detail::kBitParallelMax code points, in any script, is scored
// by a bit-parallel scan in which it drives and the query's table answers,
// with nothing allocated: it is read in place, matched as if lowercased
// through the table (only the rare candidate holding U+03A3 or U+0130 is
// lowercased in full first, into reused memory). Longer candidates go
// through the general scan. Either way the score is bit-identical to
// jaro_winkler_similarity(query, candidate, p, nullopt, case_insensitive,
// nullopt).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "morvane/batch_query.hpp"
#include "morvane/bulk_vector.hpp"
#include "morvane/error.hpp"
#include "morvane/simd.hpp"
#include "morvane/text.hpp"

namespace morvane {

// Working memory for scoring many candidates against one query, reused from
// one candidate to the next so that scoring allocates nothing per candidate.
struct JaroWinklerScratch {
  // A candidate lowercased in full, in units of its own width.
  std::vector<std::uint32_t> lowered;
};

// The prepared query of a Jaro-Winkler batch, or InvalidPrefixScale when
// `p` is outside [0.0, 0.25] or NaN; absent means 0.1. Only the value true
// of `case_insensitive` folds. Worth it before many candidates:
// query.masks.index_basic_plane().
Expected<BatchQuery> jaro_winkler_query(Text query, std::optional<double> p, std::optional<bool> case_insensitive);

// Score of `candidate` with `query` (made by jaro_winkler_query) as the first
// text, by the scalar form. Allocates nothing beyond growing `scratch`,
// except the general scan's working memory for candidates of more than
// jaro_winkler_detail::kBitParallelMax code points and, for queries of more
// than 4096, the matched query positions.
double jaro_winkler_similarity(const BatchQuery& query, Text candidate, JaroWinklerScratch& scratch);
// The same with scratch memory of its own, for a single candidate.
double jaro_winkler_similarity(const BatchQuery& query, Text candidate);

// One score per candidate, in order, or InvalidPrefixScale before any
// candidate is looked at.
Expected<BulkVector<double>> jaro_winkler_batch(Text query, std::span<const Text> candidates,
                                                std::optional<double> p, std::optional<bool> case_insensitive);

// The same at a given instruction-set level, which must be supported: the
// results are the same at every level. With `lone_surrogate`, candidates may
// hold lone surrogates: as for levenshtein_batch; a candidate's surrogate is
// found also when the prefix scale is rejected.
Expected<BulkVector<double>> jaro_winkler_batch(Text query, std::span<const Text> candidates,
                                                std::optional<double> p, std::optional<bool> case_insensitive,
                                                SimdLevel level, std::size_t* lone_surrogate = nullptr);

}  // namespace morvane
