// Matrices, best matches and joins over reference sets against the batch
// functions run on the original texts, one query at a time, at every level.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "morvane/damerau_batch.hpp"
#include "morvane/jaro_winkler_batch.hpp"
#include "morvane/levenshtein_batch.hpp"
#include "morvane/lookup.hpp"
#include "native_text.hpp"

namespace morvane {
namespace {

using reference::NativeText;

// Few letters, so that near texts are common; cased letters, final sigma,
// U+0130 (which lowers to two code points) and every storage width.
const std::u32string kPool = U"abAB\u00e9\u03a3\u03c3\u0130i\u0436\U0001F600 ";

std::vector<NativeText> random_texts(std::mt19937_64& rng, std::size_t n) {
  std::vector<std::u32string> made;
  std::vector<NativeText> out;
  for (std::size_t i = 0; i < n; ++i) {
    std::u32string s;
    if (!made.empty() && rng() % 2 == 0) {
      s = made[rng() % made.size()];
      for (int e = static_cast<int>(rng() % 4); e > 0; --e) {
        const std::size_t at = s.empty() ? 0 : rng() % (s.size() + 1);
        const char32_t c = kPool[rng() % kPool.size()];
        switch (rng() % 4) {
          case 0: s.insert(s.begin() + static_cast<std::ptrdiff_t>(at), c); break;
          case 1: if (at < s.size()) s.erase(at, 1); break;
          case 2: if (at < s.size()) s[at] = c; break;
          default: if (at + 1 < s.size()) std::swap(s[at], s[at + 1]);
        }
      }
    } else {
      s.resize(rng() % 12);
      for (char32_t& c : s) c = kPool[rng() % (rng() % 2 ? 4 : kPool.size())];
    }
    made.push_back(s);
    out.emplace_back(s);
  }
  return out;
}

// The batch functions' score of `query` against `candidate`, folding or not.
double batch_score(Measure m, Text query, Text candidate, bool fold, double p, bool normalized) {
  const std::optional<bool> f = fold;
  const Text one[] = {candidate};
  if (m == Measure::jaro_winkler) return (*jaro_winkler_batch(query, one, p, f))[0];
  const std::size_t d = m == Measure::levenshtein ? levenshtein_batch(query, one, f)[0] : damerau_batch(query, one, f)[0];
  if (!normalized) return static_cast<double>(d);
  const std::size_t lq = fold ? LowerText(query).text().size() : query.size();
  const std::size_t lc = fold ? LowerText(candidate).text().size() : candidate.size();
  return std::max(lq, lc) == 0 ? 0.0 : static_cast<double>(d) / static_cast<double>(std::max(lq, lc));
}

ReferenceSet make_set(const std::vector<NativeText>& texts, bool lower) {
  std::vector<Text> views(texts.begin(), texts.end());
  std::vector<std::uint64_t> positions(texts.size());
  for (std::size_t i = 0; i < positions.size(); ++i) positions[i] = 3 * i + 1;  // not 0..n-1
  std::size_t lone = 0;
  return ReferenceSet::build(views, positions, lower, &lone);
}

struct Case {
  Measure measure;
  bool normalized;
  int cutoff;  // distance, or similarity in hundredths; -1: none
};

class LookupTest : public ::testing::TestWithParam<std::tuple<Case, bool, SimdLevel>> {};

TEST_P(LookupTest, MatrixBestAndJoinEqualBruteForce) {
  const auto [c, fold, level] = GetParam();
  if (!supported(level)) GTEST_SKIP() << "level not supported here";
  std::mt19937_64 rng(static_cast<std::uint64_t>(c.cutoff * 7 + fold * 3 + static_cast<int>(c.measure)));
  const auto left = random_texts(rng, 70);
  const auto right = random_texts(rng, 90);
  const ReferenceSet ls = make_set(left, fold), rs = make_set(right, fold);

  Scoring s;
  s.measure = c.measure;
  s.normalized = c.normalized;
  s.p = 0.15;
  s.level = level;
  if (c.cutoff >= 0) {
    if (c.measure == Measure::jaro_winkler) s.min_similarity = c.cutoff / 100.0;
    else if (c.normalized) s.max_normalized = c.cutoff / 100.0;
    else s.max_distance = static_cast<std::size_t>(c.cutoff);
  }
  const double no_match = -7.0;
  const auto expected = [&](const NativeText& q, const NativeText& t) {
    const double v = batch_score(c.measure, q, t, fold, s.p, c.normalized);
    return passes(s, v) ? v : no_match;
  };

  // Matrix: columns at the set's positions, the others untouched.
  const std::size_t cols = 3 * right.size() + 1;
  std::vector<double> matrix(3 * left.size() * cols + cols, 99.0);
  score_matrix(s, ls, 0, ls.size(), rs, MatrixOut{matrix.data(), Element::f64, cols, no_match});
  for (std::size_t i = 0; i < left.size(); ++i) {
    for (std::size_t j = 0; j < right.size(); ++j) {
      const double got = matrix[(3 * i + 1) * cols + 3 * j + 1];
      const double want = expected(left[i], right[j]);
      // A cell the cut-off skipped by length keeps its fill, which the
      // caller sets to the no-match value.
      ASSERT_TRUE(got == want || (got == 99.0 && want == no_match)) << i << " " << j << " " << got << " " << want;
    }
  }

  // Best matches: limits 1, 3 and all, over the whole set and two halves.
  for (std::size_t i = 0; i < left.size(); i += 5) {
    std::vector<Match> all;
    for (std::size_t j = 0; j < right.size(); ++j) {
      const double v = expected(left[i], right[j]);
      if (v != no_match) all.push_back({v, 3 * j + 1});
    }
    const bool largest = c.measure == Measure::jaro_winkler;
    std::stable_sort(all.begin(), all.end(), [&](const Match& a, const Match& b) {
      return largest ? a.score > b.score : a.score < b.score;
    });
    const Query q{ls.text(ls.by_position()[i]), ls.unlowered_length(ls.by_position()[i])};
    for (const std::size_t limit : {std::size_t{1}, std::size_t{3}, std::size_t{0}}) {
      const auto got = best_matches(s, q, rs, limit, 0, rs.size());
      const std::size_t n = limit == 0 ? all.size() : std::min(limit, all.size());
      ASSERT_EQ(got.size(), n);
      for (std::size_t k = 0; k < n; ++k) {
        ASSERT_EQ(got[k].score, all[k].score);
        ASSERT_EQ(got[k].position, all[k].position) << "limit " << limit << " rank " << k;
      }
    }
  }

  if (c.cutoff < 0) return;  // a join needs a cut-off
  for (const bool self : {false, true}) {
    const ReferenceSet& r = self ? ls : rs;
    const auto& rt = self ? left : right;
    std::vector<std::tuple<std::uint64_t, std::uint64_t, double>> want, got;
    for (std::size_t i = 0; i < left.size(); ++i) {
      for (std::size_t j = self ? i + 1 : 0; j < rt.size(); ++j) {
        const double v = expected(left[i], rt[j]);
        if (v != no_match) want.emplace_back(3 * i + 1, 3 * j + 1, v);
      }
    }
    const JoinIndex index(s, r, ls);
    std::vector<JoinPair> pairs;
    index.join(ls, 0, 30, self, pairs);  // in two chunks
    index.join(ls, 30, ls.size(), self, pairs);
    for (const auto& p : pairs) got.emplace_back(p.left, p.right, p.score);
    ASSERT_EQ(got, want) << (self ? "self-join" : "join");
  }
}

std::vector<Case> cases() {
  std::vector<Case> out;
  for (const Measure m : {Measure::levenshtein, Measure::damerau}) {
    for (const int k : {-1, 0, 1, 2, 3}) out.push_back({m, false, k});
    for (const int k : {-1, 25, 50}) out.push_back({m, true, k});
  }
  for (const int k : {-1, 0, 70, 85, 95}) out.push_back({Measure::jaro_winkler, false, k});
  return out;
}

INSTANTIATE_TEST_SUITE_P(Lookup, LookupTest,
                         ::testing::Combine(::testing::ValuesIn(cases()), ::testing::Bool(),
                                            ::testing::Values(SimdLevel::scalar, SimdLevel::avx2, SimdLevel::avx512)));

}  // namespace
}  // namespace morvane
