#include "morvane/jaro_winkler_batch.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "morvane/jaro_winkler.hpp"

namespace morvane {
namespace {

std::uint64_t bits(double x) { return std::bit_cast<std::uint64_t>(x); }

std::vector<double> batch(std::string_view query, const std::vector<std::string_view>& candidates,
                          std::optional<double> p = std::nullopt,
                          std::optional<bool> fold = std::nullopt) {
  const Expected<std::vector<double>> r = jaro_winkler_batch(query, candidates, p, fold);
  EXPECT_TRUE(r.has_value()) << r.error().to_string();
  return r.value_or(std::vector<double>{});
}

TEST(JaroWinklerBatch, EmptyCandidateList) {
  const Expected<std::vector<double>> ok = jaro_winkler_batch("abc", {}, std::nullopt, false);
  ASSERT_TRUE(ok.has_value());
  EXPECT_TRUE(ok->empty());
  // A bad scale fails the batch before any candidate is looked at.
  const Expected<std::vector<double>> bad = jaro_winkler_batch("abc", {}, 0.3, false);
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

TEST(JaroWinklerBatch, KelvinSignTakesTheFallback) {
  EXPECT_EQ(batch("k", {"\u212A"}, std::nullopt, true), (std::vector<double>{1.0}));
  EXPECT_EQ(batch("K", {"\u212A", "k"}, std::nullopt, true), (std::vector<double>{1.0, 1.0}));
  EXPECT_EQ(batch("k", {"\u212A"}, std::nullopt, false), (std::vector<double>{0.0}));
}

TEST(JaroWinklerBatch, QueryPreparation) {
  const std::string q64 = std::string(40, 'Q') + std::string(24, 'x');
  const std::string q64_folded = std::string(40, 'q') + std::string(24, 'x');
  const std::string q65(65, 'a');
  const struct {
    std::string_view query;
    bool fold;
    bool ready;
    std::size_t count;
    std::string_view folded;
  } cases[] = {
      {"", true, false, 0, ""},
      {"abç", false, false, 3, ""},
      {"aB1", true, true, 3, "ab1"},
      {"ABC", false, true, 3, "ABC"},
      {q64, true, true, 64, q64_folded},
      {q65, false, false, 65, ""},
  };
  for (const auto& c : cases) {
    const Expected<JaroWinklerQuery> q = JaroWinklerQuery::create(c.query, 0.2, c.fold);
    ASSERT_TRUE(q.has_value());
    EXPECT_EQ(q->ascii_ready(), c.ready) << c.query;
    EXPECT_EQ(q->char_count(), c.count) << c.query;
    EXPECT_EQ(q->folded(), c.folded) << c.query;
    EXPECT_EQ(q->prefix_scale(), 0.2);
  }
  EXPECT_EQ(JaroWinklerQuery::create("a", std::nullopt, false)->prefix_scale(), 0.1);
}

TEST(JaroWinklerBatch, FoldAsciiLettersEveryByteAtEveryOffset) {
  // 45 bytes: one 32-byte block, one 8-byte block and a 5-byte tail.
  for (unsigned start = 0; start < 256; ++start) {
    std::string text(45, '\0');
    for (std::size_t k = 0; k < text.size(); ++k) {
      text[k] = static_cast<char>((start + k * 37) & 0xFFu);
    }
    std::string expected = text;
    for (char& ch : expected) {
      if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch + ('a' - 'A'));
    }
    fold_ascii_letters(text);
    EXPECT_EQ(text, expected) << "start " << start;
  }
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

}  // namespace
}  // namespace morvane
