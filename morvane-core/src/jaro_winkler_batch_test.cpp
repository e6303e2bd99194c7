#include "morvane/jaro_winkler_batch.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "morvane/jaro_winkler.hpp"
#include "native_text.hpp"

namespace morvane {
namespace {

std::uint64_t bits(double x) { return std::bit_cast<std::uint64_t>(x); }

// The operations on texts given as UTF-8, stored as the interpreter would.
std::vector<double> batch(std::string_view query, const std::vector<std::string_view>& candidates,
                          std::optional<double> p = std::nullopt,
                          std::optional<bool> fold = std::nullopt) {
  const reference::NativeTexts views(candidates);
  const Expected<BulkVector<double>> r = jaro_winkler_batch(reference::native(query), views.views, p, fold);
  EXPECT_TRUE(r.has_value()) << r.error().to_string();
  if (!r) return {};
  return std::vector<double>(r->begin(), r->end());
}

Expected<double> jaro_winkler_similarity(std::string_view a, std::string_view b, std::optional<double> p,
                                         std::optional<std::size_t> max_len, std::optional<bool> fold,
                                         std::optional<double> cutoff) {
  return morvane::jaro_winkler_similarity(reference::native(a), reference::native(b), p, max_len, fold, cutoff);
}

TEST(JaroWinklerBatch, EmptyCandidateList) {
  const Expected<BulkVector<double>> ok = jaro_winkler_batch(reference::native("abc"), {}, std::nullopt, false);
  ASSERT_TRUE(ok.has_value());
  EXPECT_TRUE(ok->empty());
  // A bad scale fails the batch before any candidate is looked at.
  const Expected<BulkVector<double>> bad = jaro_winkler_batch(reference::native("abc"), {}, 0.3, false);
  ASSERT_FALSE(bad.has_value());
  EXPECT_EQ(bad.error().to_string(), "InvalidPrefixScale { value: 0.3 }");
}

TEST(JaroWinklerBatch, EmptyTexts) {
  EXPECT_EQ(batch("", {"", "a", "é", ""}), (std::vector<double>{1.0, 0.0, 0.0, 1.0}));
  const std::string long_query(65, 'q');
  for (const std::string_view query : {std::string_view("abc"), std::string_view("abç"),
                                       std::string_view(long_query)}) {
    EXPECT_EQ(batch(query, {""}, std::nullopt, true), (std::vector<double>{0.0})) << query;
  }
}

TEST(JaroWinklerBatch, Martha) {
  const std::vector<std::string_view> candidates = {"MARHTA", "marhta", "MARTHA"};
  EXPECT_EQ(batch("MARTHA", candidates, std::nullopt, false),
            (std::vector<double>{0.9611111111111111, 0.0, 1.0}));
  EXPECT_EQ(batch("MARTHA", candidates, std::nullopt, true),
            (std::vector<double>{0.9611111111111111, 0.9611111111111111, 1.0}));
}

TEST(JaroWinklerBatch, LettersThatFoldToAsciiOrChangeLength) {
  // KELVIN SIGN folds to k; U+0130 folds to i and U+0307, one code point more;
  // a final capital sigma folds to final small sigma, which matches nothing
  // ASCII. Each row also holds its single-pair score, so the table cannot
  // drift from that operation unnoticed.
  const struct {
    std::string_view query;
    std::string_view candidate;
    bool fold;
    double expected;
  } cases[] = {
      {"k", "\u212A", true, 1.0},
      {"K", "\u212A", true, 1.0},
      {"k", "\u212A", false, 0.0},
      {"i", "\u0130", true, 0.8500000000000001},
      {"i", "\u0130", false, 0.0},
      {"kelvin", "\u212AELVIN", true, 1.0},
      {"abc", "AB\u03A3", true, 0.8222222222222222},
  };
  for (const auto& c : cases) {
    const Expected<double> single = jaro_winkler_similarity(c.query, c.candidate, std::nullopt,
                                                            std::nullopt, c.fold, std::nullopt);
    ASSERT_TRUE(single.has_value());
    EXPECT_EQ(*single, c.expected) << c.query << " / " << c.candidate;
    EXPECT_EQ(bits(batch(c.query, {c.candidate}, std::nullopt, c.fold)[0]), bits(c.expected))
        << c.query << " / " << c.candidate << " fold " << c.fold;
  }
}

TEST(JaroWinklerBatch, QueryPreparation) {
  const std::string q65(65, 'A');
  const struct {
    std::string_view query;
    bool fold;
    std::size_t count;
    std::u32string pattern;
  } cases[] = {
      {"", true, 0, U""},
      {"ab\u00e7", false, 3, U"ab\u00e7"},
      {"aB1", true, 3, U"ab1"},
      {"ABC", false, 3, U"ABC"},
      {"\u0130\u03a3A\u03a3", true, 4, U"i\u0307\u03c3a\u03c2"},
      {q65, true, 65, std::u32string(65, U'a')},
  };
  for (const auto& c : cases) {
    const Expected<BatchQuery> q = jaro_winkler_query(reference::native(c.query), 0.2, c.fold);
    ASSERT_TRUE(q.has_value());
    EXPECT_EQ(q->char_count, c.count) << c.query;
    EXPECT_EQ(std::u32string(q->pattern.begin(), q->pattern.end()), c.pattern) << c.query;
    EXPECT_EQ(q->p, 0.2);
  }
  EXPECT_EQ(jaro_winkler_query(reference::native("a"), std::nullopt, false)->p, 0.1);
}

TEST(JaroWinklerBatch, ScoresEqualTheSinglePairOperation) {
  // Mixed-case ASCII, letters whose folds are non-ASCII or become ASCII.
  const std::vector<std::string> ascii = {"a", "A", "b", "B", "c", "k", "K", "-"};
  const std::vector<std::string> other = {"é", "É", "\u212A", "İ"};
  std::mt19937_64 rng(0x6a79);  // fixed random state
  // A text of `len` code points; with `non_ascii` one of them is from `other`.
  const auto text = [&](std::size_t len, bool non_ascii) {
    const std::size_t odd_one = non_ascii && len > 0 ? rng() % len : len;
    std::string s;
    for (std::size_t i = 0; i < len; ++i) {
      s += i == odd_one ? other[rng() % other.size()] : ascii[rng() % ascii.size()];
    }
    return s;
  };
  // Overwrites a few ASCII bytes, keeping the text valid UTF-8.
  const auto near_copy = [&](std::string s) {
    for (const char replacement : {'B', 'a'}) {
      const std::size_t at = rng() % s.size();
      if (static_cast<unsigned char>(s[at]) < 0x80) s[at] = replacement;
    }
    return s;
  };

  for (const std::size_t query_len : {0u, 1u, 16u, 17u, 64u, 65u}) {
    for (const bool query_non_ascii : {false, true}) {
      const std::string query = text(query_len, query_non_ascii);
      std::vector<std::string> owned;
      for (int k = 0; k < 300; ++k) {
        const std::size_t len = std::uniform_int_distribution<std::size_t>(0, 70)(rng);
        // Every third candidate is the query with a few characters changed.
        if (k % 3 == 0 && !query.empty()) {
          owned.push_back(near_copy(query));
        } else {
          owned.push_back(text(len, k % 5 == 0));
        }
      }
      const std::vector<std::string_view> candidates(owned.begin(), owned.end());
      for (const bool fold : {false, true}) {
        for (const std::optional<double> p : {std::optional<double>{}, std::optional{0.0},
                                              std::optional{0.25}}) {
          const std::vector<double> scores = batch(query, candidates, p, fold);
          ASSERT_EQ(scores.size(), candidates.size());
          for (std::size_t k = 0; k < candidates.size(); ++k) {
            const Expected<double> single = jaro_winkler_similarity(
                query, candidates[k], p, std::nullopt, fold, std::nullopt);
            ASSERT_TRUE(single.has_value());
            EXPECT_EQ(bits(scores[k]), bits(*single))
                << "query '" << query << "' candidate '" << candidates[k] << "' fold " << fold;
          }
        }
      }
    }
  }
}

// Candidates against ASCII queries of every size class of the query table:
// one word, exactly one word, just over, two words, just over two, and many.
// The query mixes a few common letters with rare ones scattered anywhere, so
// that matches are also found in far words of the table and at the ends of
// windows; candidates mix the query's letters with non-ASCII ones, among them
// letters whose folds are ASCII or longer than one code point.
TEST(JaroWinklerBatch, AsciiQueriesOfAnyLengthEqualTheSinglePairOperation) {
  const std::vector<std::string> common = {"a", "b", "c", "A", "B", "-"};
  const std::vector<std::string> rare = {"k", "K", "x", "y", "Z", "i", "s", "S"};
  const std::vector<std::string> non_ascii = {
      "\u00e9", "\u00c9", "\u00df", "\u00f1",     "\u03a3",     "\u03c3", "\u03c2",
      "\u0391", "\u65e5", "\u672c", "\U0001F600", "\U00010400", "\u212A", "\u0130"};
  std::mt19937_64 rng(0x77a1);  // fixed random state
  const auto pick = [&](const std::vector<std::string>& pool) -> const std::string& {
    return pool[rng() % pool.size()];
  };
  const auto make_query = [&](std::size_t len) {
    std::string s;
    for (std::size_t i = 0; i < len; ++i) s += rng() % 16 == 0 ? pick(rare) : pick(common);
    return s;
  };
  // `len` code points, each non-ASCII with probability `share` / 8.
  const auto make_candidate = [&](std::size_t len, unsigned share) {
    std::string s;
    for (std::size_t i = 0; i < len; ++i) {
      const auto r = static_cast<unsigned>(rng() % 8);
      s += r < share ? pick(non_ascii) : r < share + 2 ? pick(rare) : pick(common);
    }
    return s;
  };
  // A piece of the query from a random offset, with some code points replaced
  // by non-ASCII ones and some letters changed in case: near matches.
  const auto query_piece = [&](const std::string& query, std::size_t len) {
    const std::size_t from = rng() % query.size();
    std::string s;
    for (std::size_t i = 0; i < len && from + i < query.size(); ++i) {
      const auto r = static_cast<unsigned>(rng() % 10);
      const char ch = query[from + i];
      if (r == 0) {
        s += pick(non_ascii);
      } else if (r == 1 && ch != '-') {
        s += static_cast<char>(ch ^ 0x20);
      } else {
        s += ch;
      }
    }
    return s;
  };

  for (const std::size_t query_len : {1u, 63u, 64u, 65u, 100u, 128u, 129u, 300u, 2000u}) {
    const std::string query = make_query(query_len);
    std::vector<std::string> owned;
    for (int k = 0; k < 400; ++k) {
      const std::size_t len = std::uniform_int_distribution<std::size_t>(0, 80)(rng);
      switch (k % 4) {
        case 0: owned.push_back(make_candidate(len, 0)); break;
        case 1: owned.push_back(make_candidate(len, 1)); break;
        case 2: owned.push_back(make_candidate(len, 4)); break;
        default: owned.push_back(query_piece(query, len)); break;
      }
    }
    const std::vector<std::string_view> candidates(owned.begin(), owned.end());
    for (const bool fold : {false, true}) {
      for (const double p : {0.0, 0.1, 0.25}) {
        const std::vector<double> scores = batch(query, candidates, p, fold);
        ASSERT_EQ(scores.size(), candidates.size());
        for (std::size_t k = 0; k < candidates.size(); ++k) {
          const Expected<double> single =
              jaro_winkler_similarity(query, candidates[k], p, std::nullopt, fold, std::nullopt);
          ASSERT_TRUE(single.has_value());
          ASSERT_EQ(bits(scores[k]), bits(*single))
              << "query length " << query_len << " candidate " << k << " '" << candidates[k]
              << "' fold " << fold << " p " << p << ": " << scores[k] << " vs " << *single;
        }
      }
    }
  }
}

// Around the 64-code-point limit of the candidate scans: candidates just
// below, at and above it, before and after folding (U+0130 folds to two code
// points, so 64 of them become 65 and more; KELVIN SIGN stays one).
TEST(JaroWinklerBatch, CandidatesAroundSixtyFourCodePoints) {
  const auto repeat = [](std::string_view unit, std::size_t n) {
    std::string s;
    for (std::size_t i = 0; i < n; ++i) s += unit;
    return s;
  };
  const std::vector<std::string> owned = {
      repeat("ab", 32),                 // 64 ASCII
      repeat("ab", 32) + "a",           // 65 ASCII
      repeat("AB", 50),                 // 100 ASCII
      repeat("a", 63) + "\u0130",       // 64, folded 65
      repeat("a", 62) + "\u0130",       // 63, folded 64
      "\u0130" + repeat("b", 63),       // 64, folded 65
      repeat("\u212A", 64),             // 64, folded 64 ASCII
      repeat("\u212A", 65),             // 65
      repeat("a\u00e9", 32),            // 64 non-ASCII
      repeat("a\u00e9", 33),            // 66 non-ASCII
      repeat("\U0001F600b", 40),        // 80 astral and ASCII
      repeat("\u03a3a", 100),           // 200 Greek and ASCII
      repeat("k", 300),                 // 300 ASCII
  };
  const std::vector<std::string_view> candidates(owned.begin(), owned.end());
  for (const std::string& query : {std::string("kab"), repeat("abk", 21), repeat("Kab", 22),
                                   repeat("ba", 50), repeat("k", 129), repeat("abcdefghik", 200)}) {
    for (const bool fold : {false, true}) {
      const std::vector<double> scores = batch(query, candidates, 0.25, fold);
      ASSERT_EQ(scores.size(), candidates.size());
      for (std::size_t k = 0; k < candidates.size(); ++k) {
        const Expected<double> single =
            jaro_winkler_similarity(query, candidates[k], 0.25, std::nullopt, fold, std::nullopt);
        ASSERT_TRUE(single.has_value());
        EXPECT_EQ(bits(scores[k]), bits(*single))
            << "query length " << query.size() << " candidate " << k << " fold " << fold;
      }
    }
  }
}

// One scratch carried from query to query and candidate to candidate, as a
// batch carries it: what a scan leaves behind must not change a later score.
TEST(JaroWinklerBatch, ScratchReusedAcrossQueries) {
  const std::string long_query = std::string(150, 'a') + "xyz" + std::string(150, 'b');
  const std::vector<std::string_view> candidates = {"xyz", "ab\u00e9xyz", "zyx", "AAx", "\u212Ay", "b"};
  JaroWinklerScratch scratch;
  for (const std::string_view query : {std::string_view(long_query), std::string_view("xay"),
                                       std::string_view(long_query)}) {
    for (const bool fold : {false, true}) {
      const Expected<BatchQuery> q = jaro_winkler_query(reference::native(query), std::nullopt, fold);
      ASSERT_TRUE(q.has_value());
      for (const std::string_view candidate : candidates) {
        const Expected<double> single = jaro_winkler_similarity(query, candidate, std::nullopt,
                                                                std::nullopt, fold, std::nullopt);
        ASSERT_TRUE(single.has_value());
        EXPECT_EQ(bits(jaro_winkler_similarity(*q, reference::native(candidate), scratch)), bits(*single))
            << "query length " << query.size() << " candidate '" << candidate << "'";
        EXPECT_EQ(bits(jaro_winkler_similarity(*q, reference::native(candidate))), bits(*single));
      }
    }
  }
}

}  // namespace
}  // namespace morvane
