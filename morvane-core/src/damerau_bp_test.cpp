#include "morvane/damerau_bp.hpp"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "edit_distance.hpp"
#include "morvane/levenshtein_bp.hpp"
#include "native_text.hpp"
#include "random_text.hpp"

namespace morvane {
namespace {

// The operation on texts given as UTF-8, stored as the interpreter would.
Expected<std::size_t> damerau_bp(std::string_view a, std::string_view b, std::optional<std::size_t> max_len = std::nullopt,
                                 std::optional<bool> fold = std::nullopt,
                                 std::optional<std::size_t> cutoff = std::nullopt) {
  return morvane::damerau_bp(reference::native(a), reference::native(b), max_len, fold, cutoff);
}

std::size_t distance(std::string_view a, std::string_view b) { return damerau_bp(a, b).value(); }

TEST(DamerauBp, KnownDistances) {
  struct Case {
    const char* a;
    const char* b;
    std::size_t d;
  };
  for (const Case& c : {Case{"ca", "abc", 3}, {"ab", "ba", 1}, {"abcd", "badc", 2}, {"abc", "bca", 2},
                        {"abcdef", "abcdfe", 1}, {"sunday", "saturday", 3}, {"abc", "abc", 0},
                        {"", "abc", 3}, {"abc", "", 3}, {"", "", 0}, {"abc", "abç", 1},
                        {"日本語", "本日語", 1}, {"\U0001F600\u00e9", "\u00e9\U0001F600", 1}}) {
    EXPECT_EQ(distance(c.a, c.b), c.d) << c.a << " / " << c.b;
  }
  EXPECT_EQ(distance(std::string(64, 'x') + "y", std::string(64, 'x')), 1u);
}

TEST(DamerauBp, TranspositionSpanningTheFirstWordBoundary) {
  std::string a;
  for (int i = 0; i < 70; ++i) a += static_cast<char>('A' + i % 50);
  std::string b = a;
  std::swap(b[63], b[64]);
  EXPECT_EQ(distance(a, b), 1u);
}

TEST(DamerauBp, CutoffAndLimit) {
  EXPECT_EQ(damerau_bp("sunday", "saturday", std::nullopt, std::nullopt, 5).value(), 3u);
  EXPECT_EQ(damerau_bp("sunday", "saturday", std::nullopt, std::nullopt, 2).value(), 3u);
  EXPECT_EQ(damerau_bp("sunday", "saturday", std::nullopt, std::nullopt, 1).value(), 2u);
  EXPECT_EQ(damerau_bp("abc", "abc", std::nullopt, std::nullopt, 0).value(), 0u);
  EXPECT_EQ(damerau_bp("abc", "abd", std::nullopt, std::nullopt, 0).value(), 1u);
  // The limit is checked before the cut-off.
  EXPECT_EQ(damerau_bp("ab", "a", 1, std::nullopt, 0).error().to_string(),
            R"(InputTooLong { which: "str_1", len: 2, limit: 1 })");
  EXPECT_EQ(damerau_bp("ABC", "abc", std::nullopt, true).value(), 0u);
  EXPECT_EQ(damerau_bp("ABC", "abc", std::nullopt, false).value(), 3u);
}

TEST(DamerauBp, AgreesWithDynamicProgrammingThroughTheFrame) {
  std::mt19937_64 rng(2101);
  for (int round = 0; round < 300; ++round) {
    const std::u32string& alphabet = reference::alphabets()[static_cast<std::size_t>(round) % reference::alphabets().size()];
    const std::string a = reference::random_text(rng, alphabet, static_cast<std::size_t>(round % 140));
    const std::string b = reference::random_text(rng, alphabet, static_cast<std::size_t>((round * 7) % 150));
    const std::size_t d = reference::osa(a, b);
    ASSERT_EQ(distance(a, b), d) << a << " / " << b;
    ASSERT_EQ(damerau_bp(a, b, std::nullopt, std::nullopt, d).value(), d);
    if (d > 0) {
      ASSERT_EQ(damerau_bp(a, b, std::nullopt, std::nullopt, d - 1).value(), d);
    }
  }
}

// Both distances cut common prefixes and suffixes off before their kernels.
// That this never changes a result is proved here for every pair of texts of
// up to six letters over a three-letter alphabet (where every transposition,
// repeat and shared affix occurs), and checked on longer random texts that
// share long affixes, at every storage width.
TEST(EditDistancesWithAffixes, EveryShortPairOverThreeLetters) {
  std::vector<std::u32string> texts = {U""};
  for (std::size_t from = 0; texts.back().size() < 6;) {
    const std::size_t to = texts.size();
    for (std::size_t k = from; k < to; ++k) {
      for (const char32_t c : {U'a', U'b', U'c'}) texts.push_back(texts[k] + c);
    }
    from = to;
  }
  std::vector<reference::NativeText> native;
  for (const std::u32string& t : texts) native.emplace_back(t);
  for (std::size_t i = 0; i < texts.size(); ++i) {
    for (std::size_t j = 0; j < texts.size(); ++j) {
      ASSERT_EQ(morvane::damerau_bp(native[i], native[j]).value(), reference::osa(texts[i], texts[j]))
          << i << " " << j;
      ASSERT_EQ(morvane::levenshtein_bp(native[i], native[j]).value(), reference::levenshtein(texts[i], texts[j]))
          << i << " " << j;
    }
  }
}

TEST(EditDistancesWithAffixes, LongSharedAffixesAtEveryWidth) {
  std::mt19937_64 rng(2102);
  const std::u32string alphabet = U"abé一😀";
  for (int round = 0; round < 400; ++round) {
    const std::string prefix = reference::random_text(rng, alphabet, rng() % 140);
    const std::string suffix = reference::random_text(rng, alphabet, rng() % 140);
    const std::string a = prefix + reference::random_text(rng, U"abc", rng() % 5) + suffix;
    const std::string b = prefix + reference::random_text(rng, U"abc", rng() % 5) + suffix;
    const std::size_t osa = reference::osa(a, b);
    const std::size_t lev = reference::levenshtein(a, b);
    for (const unsigned wa : reference::widths_of(a)) {
      for (const unsigned wb : reference::widths_of(b)) {
        const reference::NativeText na(a, wa), nb(b, wb);
        ASSERT_EQ(morvane::damerau_bp(na, nb).value(), osa) << a << " / " << b;
        ASSERT_EQ(morvane::levenshtein_bp(na, nb).value(), lev) << a << " / " << b;
      }
    }
  }
}

}  // namespace
}  // namespace morvane
