// Many queries against a prepared reference set: full score matrices, the
// best matches of a query, and every pair within a threshold. Every score
// is the batch functions' score for that query and candidate
// (levenshtein_batch, damerau_batch, jaro_winkler_batch), at any level.
//
// None of this touches anything but its arguments: callers may run any of
// it on several threads over the same sets.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "morvane/reference_set.hpp"
#include "morvane/simd.hpp"
#include "morvane/text.hpp"

namespace morvane {

enum class Measure : unsigned char { levenshtein = 0, damerau = 1, jaro_winkler = 2 };

constexpr bool is_distance(Measure m) noexcept { return m != Measure::jaro_winkler; }

// How one call scores. Queries and sets are both lowered or both not; a
// lowered pair is scored as the batch scores the originals with folding.
struct Scoring {
  Measure measure = Measure::levenshtein;
  // Distances above it, or similarities below it, are no match.
  std::optional<std::size_t> max_distance;
  std::optional<double> min_similarity;
  // Distances divided by the longer (stored) length; max_normalized then
  // bounds that ratio instead of max_distance.
  bool normalized = false;
  std::optional<double> max_normalized;
  double p = 0.1;  // validated prefix scale
  SimdLevel level = SimdLevel::scalar;
};

// A query as scored: its stored (lowered, when folding) text and its length
// before lowering, which an empty query's distances depend on (an empty
// query's distance to a candidate is the candidate's unlowered length).
struct Query {
  Text text;
  std::size_t unlowered_length;
};

// Whether a score passes the call's cut-off (always, without one).
bool passes(const Scoring& scoring, double value) noexcept;
// The best score any item of `length` code points can reach against
// `query` (`lowered`: the set and query are lowered), and whether even that
// fails the cut-off.
double length_bound(const Scoring& scoring, Query query, bool lowered, std::size_t length) noexcept;
bool ruled_out(const Scoring& scoring, Query query, bool lowered, std::size_t length) noexcept;

// Scores of `query` against the set's items [begin, end), by the batch
// forms, into `out` (end - begin values, in set order): distances, or
// normalised distances, or similarities; no cut-off applied.
void score_range(const Scoring& scoring, Query query, const ReferenceSet& set, std::size_t begin, std::size_t end,
                 std::vector<double>& out);

// Element types of a matrix.
enum class Element : unsigned char { i8, i16, i32, i64, u8, u16, u32, u64, f32, f64 };

// Rows of a matrix: row r holds queries' item r's scores against every item
// of `choices`, at column choices.position(j). Only scored cells are
// written: with a cut-off, items of lengths the cut-off rules out are left
// as they are, and so are columns no item of the set occupies; the caller
// fills those with the no-match value first. A score that fails the cut-off
// is written as `no_match`. Rows are the queries' positions; `rows` is
// the range of queries (in set order) to do. Stops early, between queries,
// when `stop` becomes true.
struct MatrixOut {
  void* data;
  Element element;
  std::size_t row_stride;  // in elements
  double no_match;
};
void score_matrix(const Scoring& scoring, const ReferenceSet& queries, std::size_t begin, std::size_t end,
                  const ReferenceSet& choices, const MatrixOut& out, const std::atomic<bool>* stop = nullptr);

// The `limit` best items of the set's range [begin, end) for `query`
// (every passing item when limit is 0), best first: smallest distance or
// largest similarity, equal scores by position. Length runs that cannot
// beat the current worst are skipped.
struct Match {
  double score;
  std::uint64_t position;
};
std::vector<Match> best_matches(const Scoring& scoring, Query query, const ReferenceSet& set, std::size_t limit,
                                std::size_t begin, std::size_t end);

// Pairs within the cut-off between the items [begin, end) of `left`, taken
// in order of position (left.by_position()), and the items of `right`,
// scored with the left item as the query, appended sorted by left and then
// right position. For a self-join (`self`), left and right are the same set
// and only pairs whose left position is below the right one are given.
struct JoinPair {
  std::uint64_t left;
  std::uint64_t right;
  double score;
};

// What a join prepares once over its right side: an index of pieces of the
// texts for the edit distances, of their rarest code points for
// Jaro-Winkler, or nothing where filtering would not pay.
class JoinIndex {
 public:
  JoinIndex(const Scoring& scoring, const ReferenceSet& right, const ReferenceSet& left);
  ~JoinIndex();
  JoinIndex(const JoinIndex&) = delete;
  JoinIndex& operator=(const JoinIndex&) = delete;

  void join(const ReferenceSet& left, std::size_t begin, std::size_t end, bool self,
            std::vector<JoinPair>& out) const;

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace morvane
