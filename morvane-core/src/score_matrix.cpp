// Scores of a query against runs of a reference set, and matrices of them.
#include <algorithm>
#include <cstring>

#include "morvane/damerau_batch.hpp"
#include "morvane/jaro_winkler.hpp"
#include "morvane/jaro_winkler_batch.hpp"
#include "morvane/levenshtein_batch.hpp"
#include "morvane/lower.hpp"
#include "multi_query.hpp"
#include "morvane/lookup.hpp"

namespace morvane {

namespace {

// The largest similarity two texts of these lengths can have: every code
// point of the shorter matched, no transposition, the longest prefix.
// Floating rounding may make a real score exceed the formula's value by an
// ulp or so, which the margin covers.
double similarity_bound(std::size_t len_1, std::size_t len_2, double p) noexcept {
  if (len_1 == 0 || len_2 == 0) return len_1 == len_2 ? 1.0 : 0.0;
  const std::size_t m = std::min(len_1, len_2);
  return jaro_winkler_detail::score(m, 0, std::min<std::size_t>(m, jaro_winkler_detail::kPrefixCap), len_1, len_2, p) +
         1e-9;
}

double normalize(double distance, std::size_t len_1, std::size_t len_2) noexcept {
  const std::size_t longer = std::max(len_1, len_2);
  return longer == 0 ? 0.0 : distance / static_cast<double>(longer);
}

// What passes a call's cut-off, as one comparison per score.
struct Pass {
  enum Kind : unsigned char { all, at_most, at_least } kind;
  double limit;
};

Pass pass_of(const Scoring& scoring) noexcept {
  if (!is_distance(scoring.measure)) {
    return scoring.min_similarity ? Pass{Pass::at_least, *scoring.min_similarity} : Pass{Pass::all, 0.0};
  }
  if (scoring.normalized) {
    return scoring.max_normalized ? Pass{Pass::at_most, *scoring.max_normalized} : Pass{Pass::all, 0.0};
  }
  return scoring.max_distance ? Pass{Pass::at_most, static_cast<double>(*scoring.max_distance)} : Pass{Pass::all, 0.0};
}

template <Pass::Kind K, class T, class S>
void write_row(T* row, const std::uint64_t* positions, const S* scores, std::size_t n, double limit,
               double no_match) {
  const T none = static_cast<T>(no_match);
  for (std::size_t k = 0; k < n; ++k) {
    const S v = scores[k];
    bool pass = true;
    if constexpr (K == Pass::at_most) pass = static_cast<double>(v) <= limit;
    if constexpr (K == Pass::at_least) pass = static_cast<double>(v) >= limit;
    row[positions[k]] = pass ? static_cast<T>(v) : none;
  }
}

template <class T, class S>
void write_typed(T* row, const std::uint64_t* positions, const S* scores, std::size_t n, Pass pass, double no_match) {
  switch (pass.kind) {
    case Pass::all: write_row<Pass::all>(row, positions, scores, n, pass.limit, no_match); break;
    case Pass::at_most: write_row<Pass::at_most>(row, positions, scores, n, pass.limit, no_match); break;
    case Pass::at_least: write_row<Pass::at_least>(row, positions, scores, n, pass.limit, no_match); break;
  }
}

}  // namespace

bool passes(const Scoring& scoring, double value) noexcept {
  if (!is_distance(scoring.measure)) return !scoring.min_similarity || value >= *scoring.min_similarity;
  if (scoring.normalized) return !scoring.max_normalized || value <= *scoring.max_normalized;
  return !scoring.max_distance || value <= static_cast<double>(*scoring.max_distance);
}

double length_bound(const Scoring& scoring, Query query, bool lowered, std::size_t length) noexcept {
  const std::size_t lq = query.text.size();
  if (!is_distance(scoring.measure)) return similarity_bound(lq, length, scoring.p);
  // An empty query's distance is the candidate's unlowered length, which
  // lowering may have at most doubled.
  if (lq == 0 && lowered) {
    const double least = static_cast<double>((length + kMaxLoweredLength - 1) / kMaxLoweredLength);
    return scoring.normalized ? normalize(least, lq, length) : least;
  }
  const double diff = static_cast<double>(lq > length ? lq - length : length - lq);
  return scoring.normalized ? normalize(diff, lq, length) : diff;
}

bool ruled_out(const Scoring& scoring, Query query, bool lowered, std::size_t length) noexcept {
  return !passes(scoring, length_bound(scoring, query, lowered, length));
}

void score_range(const Scoring& scoring, Query query, const ReferenceSet& set, std::size_t begin, std::size_t end,
                 std::vector<double>& out) {
  out.resize(end - begin);
  if (begin == end) return;
  const std::span<const Text> items = set.texts().subspan(begin, end - begin);
  const std::size_t lq = query.text.size();
  if (is_distance(scoring.measure)) {
    const auto distances = scoring.measure == Measure::levenshtein
                               ? levenshtein_batch(query.text, items, std::nullopt, scoring.level)
                               : damerau_batch(query.text, items, std::nullopt, scoring.level);
    for (std::size_t k = 0; k < out.size(); ++k) {
      const std::size_t d = lq == 0 ? set.unlowered_length(begin + k) : distances[k];
      out[k] = scoring.normalized ? normalize(static_cast<double>(d), lq, items[k].size()) : static_cast<double>(d);
    }
  } else {
    const auto similarities = jaro_winkler_batch(query.text, items, scoring.p, std::nullopt, scoring.level);
    // The prefix scale was validated before any scoring.
    const auto& values = *similarities;
    std::copy(values.begin(), values.end(), out.begin());
  }
}

namespace {

// Scores of set items [begin, begin + n) into row `row` of the matrix.
template <class S>
void write_scores(const MatrixOut& out, std::size_t row, const ReferenceSet& set, std::size_t begin, const S* scores,
                  std::size_t n, const Scoring& scoring) {
  const Pass pass = pass_of(scoring);
  const std::uint64_t* positions = set.positions().data() + begin;
  switch (out.element) {
#define MORVANE_ROW(tag, type) \
  case Element::tag: write_typed(static_cast<type*>(out.data) + row, positions, scores, n, pass, out.no_match); break;
    MORVANE_ROW(i8, std::int8_t)
    MORVANE_ROW(i16, std::int16_t)
    MORVANE_ROW(i32, std::int32_t)
    MORVANE_ROW(i64, std::int64_t)
    MORVANE_ROW(u8, std::uint8_t)
    MORVANE_ROW(u16, std::uint16_t)
    MORVANE_ROW(u32, std::uint32_t)
    MORVANE_ROW(u64, std::uint64_t)
    MORVANE_ROW(f32, float)
    MORVANE_ROW(f64, double)
#undef MORVANE_ROW
  }
}

template <class S>
void write_scores(const MatrixOut& out, std::size_t row, const ReferenceSet& set, std::size_t begin,
                  const std::vector<S>& scores, const Scoring& scoring) {
  write_scores(out, row, set, begin, scores.data(), scores.size(), scoring);
}

// Whether set item q can share a many-query kernel's lanes.
bool lane_query(const ReferenceSet& set, std::size_t q) noexcept {
  return set.text(q).size() != 0 && set.text(q).size() <= multi::kMaxQueryLength;
}

// The queries [q, q_end) (set order, every one a lane query) by the
// many-query kernel, over the hull of the length runs the cut-off leaves
// in for any of them.
void score_block(const Scoring& scoring, const multi::Width& form, const ReferenceSet& queries, std::size_t q,
                 std::size_t q_end, const ReferenceSet& choices, const MatrixOut& out,
                 std::vector<std::uint32_t>& distances, std::vector<double>& scores) {
  const auto lengths = choices.lengths();
  const auto starts = choices.starts();
  std::size_t first = lengths.size(), last = 0;
  for (std::size_t k = q; k < q_end; ++k) {
    const Query query{queries.text(k), queries.unlowered_length(k)};
    for (std::size_t g = 0; g < lengths.size(); ++g) {
      if (ruled_out(scoring, query, choices.lowered(), lengths[g])) continue;
      first = std::min(first, g);
      last = std::max(last, g + 1);
    }
  }
  if (first >= last) return;
  const std::size_t b = starts[first], e = starts[last];
  if (!is_distance(scoring.measure)) {
    // Texts too long for the kernel's scan, query by query.
    const std::size_t tail = std::max(b, std::min(e, choices.first_of_length(multi::kMaxTextLength + 1)));
    for (std::size_t k = q; k < q_end && tail < e; ++k) {
      score_range(scoring, Query{queries.text(k), queries.unlowered_length(k)}, choices, tail, e, scores);
      write_scores(out, queries.position(k) * out.row_stride, choices, tail, scores, scoring);
    }
    // Row by row after the whole block: a row's writes land all over it
    // (the set is ordered by length, the row by position), so one row at a
    // time keeps them in the caches.
    const std::size_t n = tail - b;
    if (n == 0) return;
    scores.resize((q_end - q) * n);
    form.kernel(scoring.measure, queries.texts().data() + q, q_end - q, choices.texts().data() + b, n, scoring.p,
                scores.data());
    for (std::size_t k = q; k < q_end; ++k) {
      write_scores(out, queries.position(k) * out.row_stride, choices, b, scores.data() + (k - q) * n, n, scoring);
    }
    return;
  }
  const std::size_t n = e - b;
  distances.resize((q_end - q) * n);
  form.kernel(scoring.measure, queries.texts().data() + q, q_end - q, choices.texts().data() + b, n, scoring.p,
              distances.data());
  for (std::size_t k = q; k < q_end; ++k) {
    const std::uint32_t* d = distances.data() + (k - q) * n;
    const std::size_t row = queries.position(k) * out.row_stride;
    if (!scoring.normalized) {
      write_scores(out, row, choices, b, d, n, scoring);
      continue;
    }
    const std::size_t lq = queries.text(k).size();
    scores.resize(n);
    for (std::size_t j = 0; j < n; ++j) scores[j] = normalize(d[j], lq, choices.text(b + j).size());
    write_scores(out, row, choices, b, scores, scoring);
  }
}

}  // namespace

void score_matrix(const Scoring& scoring, const ReferenceSet& queries, std::size_t begin, std::size_t end,
                  const ReferenceSet& choices, const MatrixOut& out, const std::atomic<bool>* stop) {
  std::vector<double> scores;
  std::vector<std::uint32_t> distances;
  const auto lengths = choices.lengths();
  const auto starts = choices.starts();
  // Distances fit the kernels' 32-bit results for any text up to 2^31.
  const multi::Form form =
      choices.longest() < (std::size_t{1} << 31) ? multi::form_of(scoring.level) : multi::Form{};
  for (std::size_t q = begin; q < end;) {
    if (stop != nullptr && stop->load(std::memory_order_relaxed)) return;
    if (form.available() && lane_query(queries, q)) {
      // The narrowest lanes that take this query and fill at least half of
      // a block with the queries after it (ordered by length); else the
      // batches, whose lanes hold texts instead, query by query.
      bool done = false;
      for (const multi::Width& width : form.widths) {
        if (queries.text(q).size() > width.bits) continue;
        std::size_t q_end = q + 1;
        while (q_end < end && q_end - q < width.lanes && lane_query(queries, q_end) &&
               queries.text(q_end).size() <= width.bits)
          ++q_end;
        if (2 * (q_end - q) >= width.lanes) {
          score_block(scoring, width, queries, q, q_end, choices, out, distances, scores);
          q = q_end;
          done = true;
          break;
        }
      }
      if (done) continue;
    }
    const Query query{queries.text(q), queries.unlowered_length(q)};
    const std::size_t row = queries.position(q) * out.row_stride;
    // Runs of lengths that the cut-off leaves in, each scored in one go.
    std::size_t g = 0;
    while (g < lengths.size()) {
      if (ruled_out(scoring, query, choices.lowered(), lengths[g])) {
        ++g;
        continue;
      }
      std::size_t h = g + 1;
      while (h < lengths.size() && !ruled_out(scoring, query, choices.lowered(), lengths[h])) ++h;
      const std::size_t b = starts[g], e = starts[h];
      score_range(scoring, query, choices, b, e, scores);
      write_scores(out, row, choices, b, scores, scoring);
      g = h;
    }
    ++q;
  }
}

}  // namespace morvane
