#include "morvane/levenshtein_bp.hpp"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "edit_distance.hpp"
#include "native_text.hpp"
#include "random_text.hpp"

namespace morvane {
namespace {

// The operation on texts given as UTF-8, stored as the interpreter would.
Expected<std::size_t> levenshtein_bp(std::string_view a, std::string_view b, std::optional<std::size_t> max_len = std::nullopt,
                                 std::optional<bool> fold = std::nullopt,
                                 std::optional<std::size_t> cutoff = std::nullopt) {
  return morvane::levenshtein_bp(reference::native(a), reference::native(b), max_len, fold, cutoff);
}

std::size_t distance(std::string_view a, std::string_view b) { return levenshtein_bp(a, b).value(); }

TEST(LevenshteinBp, KnownDistances) {
  struct Case {
    const char* a;
    const char* b;
    std::size_t d;
  };
  for (const Case& c : {Case{"kitten", "sitting", 3}, {"flaw", "lawn", 2}, {"abc", "abc", 0}, {"", "abc", 3},
                        {"abc", "", 3}, {"", "", 0}, {"ba", "abaaba", 4}, {"abaaba", "ba", 4},
                        {"café", "cafe", 1}, {"日本語", "日本", 1}, {"abc", "xyz", 3}}) {
    EXPECT_EQ(distance(c.a, c.b), c.d) << c.a << " / " << c.b;
  }
}

TEST(LevenshteinBp, WordBoundaries) {
  EXPECT_EQ(distance(std::string(100, 'a'), std::string(99, 'a') + "b"), 1u);
  std::string ab;
  for (int i = 0; i < 130; ++i) ab += "ab";
  EXPECT_EQ(distance(ab, ab.substr(1)), 1u);
  EXPECT_EQ(distance(std::string(64, 'a'), std::string(64, 'b')), 64u);
  EXPECT_EQ(distance(std::string(65, 'a'), std::string(65, 'b')), 65u);
  EXPECT_EQ(distance(std::string(64, 'a'), std::string(200, 'a')), 136u);
}

TEST(LevenshteinBp, CutoffClampsAfterTheKernel) {
  EXPECT_EQ(levenshtein_bp("kitten", "sitting", std::nullopt, std::nullopt, 2).value(), 3u);
  EXPECT_EQ(levenshtein_bp("kitten", "sitting", std::nullopt, std::nullopt, 3).value(), 3u);
  EXPECT_EQ(levenshtein_bp("kitten", "sitting", std::nullopt, std::nullopt, 9).value(), 3u);
  EXPECT_EQ(levenshtein_bp("kitten", "sitting", std::nullopt, std::nullopt, 0).value(), 1u);
  EXPECT_EQ(levenshtein_bp("ab", "abcdef", std::nullopt, std::nullopt, 3).value(), 4u);
  EXPECT_EQ(levenshtein_bp("", "abc", std::nullopt, std::nullopt, 1).value(), 2u);
}

TEST(LevenshteinBp, LimitAppliesToFoldedLengths) {
  auto err = levenshtein_bp("abc", "", 0).error().to_string();
  EXPECT_EQ(err, R"(InputTooLong { which: "str_1", len: 3, limit: 0 })");
  EXPECT_EQ(levenshtein_bp("", "", 0).value(), 0u);
  EXPECT_EQ(levenshtein_bp("abcd", "abcde", 4).error().to_string(),
            R"(InputTooLong { which: "str_2", len: 5, limit: 4 })");
  EXPECT_EQ(levenshtein_bp("abcde", "abcde", 4).error().to_string(),
            R"(InputTooLong { which: "str_1", len: 5, limit: 4 })");
  EXPECT_EQ(levenshtein_bp("\u0130", "", 1, true).error().to_string(),
            R"(InputTooLong { which: "str_1", len: 2, limit: 1 })");
  EXPECT_EQ(levenshtein_bp("\u0130", "", 1, false).value(), 1u);
}

TEST(LevenshteinBp, Folding) {
  EXPECT_EQ(levenshtein_bp("ABC", "abc").value(), 3u);
  EXPECT_EQ(levenshtein_bp("ABC", "abc", std::nullopt, false).value(), 3u);
  EXPECT_EQ(levenshtein_bp("ABC", "abc", std::nullopt, true).value(), 0u);
  EXPECT_EQ(levenshtein_bp("STRASSE", "straße", std::nullopt, true).value(), 2u);
  // Final sigma: U+03C2 at the end of a word, U+03C3 elsewhere.
  EXPECT_EQ(levenshtein_bp("ΟΔΟΣ", "οδο\u03c2", std::nullopt, true).value(), 0u);
  EXPECT_EQ(levenshtein_bp("ΟΔΟΣ", "οδο\u03c3", std::nullopt, true).value(), 1u);
  EXPECT_EQ(levenshtein_bp("\u212A", "k", std::nullopt, true).value(), 0u);
}

TEST(LevenshteinBp, CutoffAroundTheDistance) {
  std::mt19937_64 rng(1002);
  for (int round = 0; round < 200; ++round) {
    const std::string a = reference::random_text(rng, U"abcé", 1 + static_cast<std::size_t>(round % 90));
    const std::string b = reference::random_text(rng, U"abcé", static_cast<std::size_t>(round % 77));
    const std::size_t d = reference::levenshtein(a, b);
    for (const std::size_t k : {d == 0 ? 0 : d - 1, d, d + 1}) {
      const std::size_t expected = d > k ? k + 1 : d;
      ASSERT_EQ(levenshtein_bp(a, b, std::nullopt, std::nullopt, k).value(), expected);
    }
  }
}

}  // namespace
}  // namespace morvane
