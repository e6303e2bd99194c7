#include "morvane/jaro_winkler.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "jaro_winkler.hpp"  // reference::jaro_winkler
#include "native_text.hpp"
#include "random_text.hpp"   // reference::append_utf8
#include "morvane/text.hpp"

namespace morvane {
namespace {

namespace detail = jaro_winkler_detail;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::uint64_t bits(double x) { return std::bit_cast<std::uint64_t>(x); }

double similarity(std::string_view a, std::string_view b, std::optional<double> p = std::nullopt,
                  std::optional<std::size_t> max_len = std::nullopt,
                  std::optional<bool> fold = std::nullopt,
                  std::optional<double> cutoff = std::nullopt) {
  const Expected<double> r =
      jaro_winkler_similarity(reference::native(a), reference::native(b), p, max_len, fold, cutoff);
  EXPECT_TRUE(r.has_value()) << r.error().to_string();
  return r.value_or(-1.0);
}

std::string error_text(std::string_view a, std::string_view b, std::optional<double> p,
                       std::optional<std::size_t> max_len, bool fold = false) {
  const Expected<double> r =
      jaro_winkler_similarity(reference::native(a), reference::native(b), p, max_len, fold, std::nullopt);
  return r ? "no error" : r.error().to_string();
}

struct Worked {
  const char* a;
  const char* b;
  std::optional<double> p;
  double expected;
};

class WorkedValues : public testing::TestWithParam<Worked> {};

TEST_P(WorkedValues, ExactDouble) {
  const Worked& w = GetParam();
  EXPECT_EQ(bits(similarity(w.a, w.b, w.p)), bits(w.expected))
      << w.a << " / " << w.b << " gave " << similarity(w.a, w.b, w.p);
  EXPECT_EQ(bits(reference::jaro_winkler(w.a, w.b, w.p.value_or(0.1))), bits(w.expected));
}

const std::string k64 = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ+/";

// Stable names: the default would print the parameter's bytes, pointers
// included, and so change from one build to the next.
std::string worked_name(const testing::TestParamInfo<Worked>& param) {
  return "case" + std::to_string(param.index);
}

INSTANTIATE_TEST_SUITE_P(
    Jaro, WorkedValues,
    testing::Values(Worked{"MARTHA", "MARHTA", std::nullopt, 0.9611111111111111},
                    Worked{"MARTHA", "MARHTA", 0.25, 0.9861111111111112},
                    Worked{"MARTHA", "MARHTA", 0.0, 0.9444444444444445},
                    Worked{"MARTHA", "MARHTA", -0.0, 0.9444444444444445},
                    Worked{"DWAYNE", "DUANE", std::nullopt, 0.8400000000000001},
                    Worked{"DIXON", "DICKSONX", std::nullopt, 0.8133333333333332},
                    Worked{"SHACKLE", "HACKLES", std::nullopt, 0.9047619047619048},
                    Worked{"abcefd", "abcdef", std::nullopt, 0.9611111111111111},
                    Worked{"abcdefghijklmnopq", "bacdefghijklmnopq", std::nullopt,
                           0.9803921568627452},
                    Worked{"abc", "bac", std::nullopt, 0.5555555555555555},
                    Worked{"ab", "ba", std::nullopt, 0.0},
                    Worked{"abcdef", "abcdef", 0.25, 1.0},
                    Worked{"x", "x", std::nullopt, 1.0},
                    Worked{k64.c_str(), k64.c_str(), 0.25, 1.0}),
    worked_name);

TEST(JaroWinkler, EmptyTextsIgnoreTheCutoff) {
  EXPECT_EQ(similarity("", "", std::nullopt, std::nullopt, std::nullopt, 2.0), 1.0);
  EXPECT_EQ(similarity("", "a"), 0.0);
  EXPECT_EQ(similarity("a", ""), 0.0);
  EXPECT_EQ(similarity("", "é"), 0.0);
  EXPECT_EQ(similarity("é", ""), 0.0);
}

TEST(JaroWinkler, AcceptedPrefixScales) {
  for (const double p : {0.0, -0.0, 0.1, 0.25}) {
    const Expected<double> v = validate_prefix_scale(p);
    ASSERT_TRUE(v.has_value()) << p;
    EXPECT_EQ(bits(*v), bits(p));
  }
  EXPECT_EQ(validate_prefix_scale(std::nullopt).value_or(-1.0), 0.1);
}

TEST(JaroWinkler, RejectedPrefixScalesCarryTheValue) {
  const struct {
    double p;
    const char* text;
  } cases[] = {
      {0.2500000000000001, "InvalidPrefixScale { value: 0.2500000000000001 }"},
      {-1e-300, "InvalidPrefixScale { value: -1e-300 }"},
      {kNaN, "InvalidPrefixScale { value: NaN }"},
      {0.3, "InvalidPrefixScale { value: 0.3 }"},
      {-1.0, "InvalidPrefixScale { value: -1.0 }"},
      {std::numeric_limits<double>::infinity(), "InvalidPrefixScale { value: inf }"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(error_text("MARTHA", "MARHTA", c.p, std::nullopt), c.text);
    const Expected<double> v = validate_prefix_scale(c.p);
    ASSERT_FALSE(v.has_value());
    const auto* e = std::get_if<InvalidPrefixScale>(&v.error().get());
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(bits(e->value), bits(c.p));
  }
}

TEST(JaroWinkler, OrderOfChecks) {
  // The scale is checked before anything else.
  EXPECT_EQ(error_text("abcd", "abcd", 0.3, 3), "InvalidPrefixScale { value: 0.3 }");
  EXPECT_EQ(error_text("abcd", "abc", 0.1, 3),
            "InputTooLong { which: \"str_1\", len: 4, limit: 3 }");
  EXPECT_EQ(error_text("abc", "abcd", 0.1, 3),
            "InputTooLong { which: \"str_2\", len: 4, limit: 3 }");
  EXPECT_EQ(error_text("abcde", "abcd", 0.1, 3),
            "InputTooLong { which: \"str_1\", len: 5, limit: 3 }");
  EXPECT_EQ(similarity("abc", "abc", std::nullopt, 3), 1.0);
  EXPECT_EQ(error_text("abc", "", std::nullopt, 0),
            "InputTooLong { which: \"str_1\", len: 3, limit: 0 }");
  EXPECT_EQ(similarity("", "", std::nullopt, 0), 1.0);
  // The limit applies to folded lengths, in code points.
  EXPECT_EQ(error_text("İ", "i", std::nullopt, 1, true),
            "InputTooLong { which: \"str_1\", len: 2, limit: 1 }");
  EXPECT_EQ(similarity("İ", "İ", std::nullopt, 1, false), 1.0);
  EXPECT_EQ(error_text("ab", "ééé", std::nullopt, 2),
            "InputTooLong { which: \"str_2\", len: 3, limit: 2 }");
}

TEST(JaroWinkler, Cutoff) {
  const double s = similarity("MARTHA", "MARHTA");
  EXPECT_EQ(similarity("MARTHA", "MARHTA", std::nullopt, std::nullopt, std::nullopt, s), s);
  EXPECT_EQ(similarity("MARTHA", "MARHTA", std::nullopt, std::nullopt, std::nullopt,
                       std::nextafter(s, 2.0)),
            0.0);
  EXPECT_EQ(similarity("MARTHA", "MARHTA", std::nullopt, std::nullopt, std::nullopt, kNaN), s);
  // The general scan honours it too.
  const double g = similarity("MARTHÄ", "MARHTÄ");
  EXPECT_EQ(similarity("MARTHÄ", "MARHTÄ", std::nullopt, std::nullopt, std::nullopt,
                       std::nextafter(g, 2.0)),
            0.0);
  EXPECT_EQ(similarity("", "a", std::nullopt, std::nullopt, std::nullopt, -1.0), 0.0);
}

TEST(JaroWinkler, Folding) {
  EXPECT_EQ(similarity("ABC", "abc"), 0.0);
  EXPECT_EQ(similarity("ABC", "abc", std::nullopt, std::nullopt, false), 0.0);
  EXPECT_EQ(similarity("ABC", "abc", std::nullopt, std::nullopt, true), 1.0);
  // U+212A folds to ASCII 'k': the folded pair takes the ASCII strategies.
  EXPECT_EQ(similarity("\u212Aelvin", "kelvin", std::nullopt, std::nullopt, true), 1.0);
  EXPECT_EQ(similarity("\u212Aelvin-scale-of-temperature", "kelvin-scale-of-temperature",
                       std::nullopt, std::nullopt, true),
            1.0);
  EXPECT_EQ(bits(similarity("\u212Aelvin", "kelvin")),
            bits(reference::jaro_winkler("\u212Aelvin", "kelvin")));
  // U+0130 grows into i + U+0307 and is compared as two code points.
  EXPECT_EQ(bits(similarity("İstanbul", "istanbul", std::nullopt, std::nullopt, true)),
            bits(reference::jaro_winkler("i\u0307stanbul", "istanbul")));
}

// Random texts over the first `alphabet` code points of `pool`.
std::string random_text(std::mt19937_64& rng, const std::vector<std::string>& pool,
                        std::size_t alphabet, std::size_t len) {
  std::uniform_int_distribution<std::size_t> pick(0, alphabet - 1);
  std::string s;
  for (std::size_t i = 0; i < len; ++i) s += pool[pick(rng)];
  return s;
}

// A near copy of `s` (ASCII only): a few adjacent swaps and substitutions, so
// that high similarities and the boost are exercised.
std::string mutate(std::mt19937_64& rng, std::string s) {
  std::uniform_int_distribution<std::size_t> pos(0, s.size() - 1);
  for (int k = 0; k < 2 && s.size() > 1; ++k) {
    const std::size_t i = pos(rng) % (s.size() - 1);
    std::swap(s[i], s[i + 1]);
    s[pos(rng)] = 'z';
  }
  return s;
}

// Both scans at every storage width of both texts, where they apply.
void expect_both_scans(const std::string& a, const std::string& b, double p, double expected) {
  for (const unsigned wa : reference::widths_of(a)) {
    for (const unsigned wb : reference::widths_of(b)) {
      const reference::NativeText na(a, wa), nb(b, wb);
      EXPECT_EQ(bits(detail::general_scan(na, nb, p)), bits(expected)) << a << " / " << b;
      if (na.text().size() <= 64 && nb.text().size() <= 64) {
        EXPECT_EQ(bits(detail::bit_parallel_scan(na, nb, p)), bits(expected)) << a << " / " << b;
      }
    }
  }
}

TEST(JaroWinkler, StrategiesAgreeBitForBit) {
  const std::vector<std::string> pool = {"a", "b", "c", "d", "e", "f", "g", "h", "A", "z"};
  std::mt19937_64 rng(0x6a77);  // fixed random state
  const double scales[] = {0.0, 0.1, 0.25, 0.17};
  for (std::size_t longer = 1; longer <= 70; ++longer) {
    for (const std::size_t alphabet : {2u, 3u, 4u, 10u}) {
      for (int trial = 0; trial < 40; ++trial) {
        const std::size_t shorter = std::uniform_int_distribution<std::size_t>(1, longer)(rng);
        std::string a = random_text(rng, pool, alphabet, longer);
        std::string b = trial % 2 == 0 ? random_text(rng, pool, alphabet, shorter) : mutate(rng, a);
        if (trial % 4 < 2) std::swap(a, b);
        const double p = scales[trial % 4];

        const double expected = reference::jaro_winkler(a, b, p);
        expect_both_scans(a, b, p, expected);
        EXPECT_EQ(bits(similarity(a, b, p)), bits(expected)) << a << " / " << b;
      }
    }
  }
}

TEST(JaroWinkler, NonAsciiPairsMatchTheReference) {
  // Two-, three- and four-byte code points beside ASCII ones.
  const std::vector<std::string> pool = {"a", "é", "ß", "Ω", "中", "😀", "b", "ÿ"};
  std::mt19937_64 rng(0x6a78);  // fixed random state
  for (std::size_t longer = 1; longer <= 70; ++longer) {
    for (int trial = 0; trial < 20; ++trial) {
      const std::size_t shorter = std::uniform_int_distribution<std::size_t>(1, longer)(rng);
      const std::size_t alphabet = trial % 2 == 0 ? 3 : pool.size();
      std::string a = random_text(rng, pool, alphabet, longer);
      // Every other pair has one ASCII text: still a general-scan pair.
      std::string b = random_text(rng, pool, trial % 4 == 1 ? 1 : alphabet, shorter);
      if (trial % 3 == 0) std::swap(a, b);
      const double expected = reference::jaro_winkler(a, b, 0.1);
      EXPECT_EQ(bits(similarity(a, b)), bits(expected)) << a << " / " << b;
      expect_both_scans(a, b, 0.1, expected);
    }
  }
}

std::string utf8(const std::u32string& points) {
  std::string out;
  for (const char32_t c : points) reference::append_utf8(out, c);
  return out;
}

std::u32string random_points(std::mt19937_64& rng, const std::u32string& alphabet,
                             std::size_t len) {
  std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
  std::u32string s(len, U'\0');
  for (char32_t& c : s) c = alphabet[pick(rng)];
  return s;
}

// A near copy of `s`: a few adjacent swaps and substitutions from `alphabet`,
// some of them far apart, so that most positions match and some transpose.
std::u32string mutate_points(std::mt19937_64& rng, std::u32string s, const std::u32string& alphabet) {
  std::uniform_int_distribution<std::size_t> pos(0, s.size() - 2);
  std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
  for (std::size_t k = 0; k < 1 + s.size() / 40; ++k) {
    const std::size_t i = pos(rng);
    std::swap(s[i], s[i + 1]);
    s[pos(rng)] = alphabet[pick(rng)];
  }
  return s;
}

// `count` distinct code points from every UTF-8 width and from both sides of
// the BMP/astral boundary, including astral ones that agree in their low 16
// bits (U+1xxxx, U+2xxxx with the same xxxx).
std::u32string many_code_points(std::size_t count) {
  std::u32string out = U"ae";
  const char32_t starts[] = {0x00A0, 0x0400, 0x4E00, 0x1F600, 0x20000, 0x10000, 0xFF00};
  for (std::size_t k = 0; out.size() < count; ++k) {
    out += static_cast<char32_t>(starts[k % std::size(starts)] + k / std::size(starts));
  }
  return out;
}

// Lengths 65..600 send ASCII and non-ASCII pairs alike to the general scan
// and, past its short-pair walk, through the per-code-point buckets. Small
// alphabets make long buckets whose cursors skip many positions; very
// different lengths make windows that leave one text behind; many distinct
// code points make the numbering table grow several times.
TEST(JaroWinkler, LongTextsMatchTheReference) {
  const std::u32string many = many_code_points(400);
  const struct {
    const char* name;
    std::u32string alphabet_1;
    std::u32string alphabet_2;
  } cases[] = {
      {"two ASCII letters", U"ab", U"ab"},
      {"four ASCII letters", U"abcd", U"abcd"},
      {"ASCII, partly disjoint", U"abcxyz", U"abcdef"},
      {"accented", U"a\u00e9\u00df", U"a\u00e9\u00df"},
      {"astral", U"\U0001F600\U0002F600x", U"\U0001F600\U0002F600x"},
      {"ASCII against non-ASCII", U"abc", U"ab\u65e5"},
      {"non-ASCII absent from text 2", U"a\u00e9\u00df\u0436\u65e5\U0001F600", U"ab\u00e9"},
      {"around U+0800", U"\u07fe\u07ff\u0800\u0801", U"\u07ff\u0800a"},
      {"many code points", many, many},
      {"many against few", many, many.substr(0, 12)},
  };
  const std::size_t extremes[][2] = {{65, 600}, {600, 65}, {21, 600}, {600, 21}, {1, 300},
                                     {300, 1}, {65, 65}, {600, 600}};
  const double scales[] = {0.1, 0.0, 0.25};
  std::mt19937_64 rng(0x6a79);  // fixed random state
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    for (int trial = 0; trial < 60; ++trial) {
      std::size_t len_1, len_2;
      if (trial < static_cast<int>(std::size(extremes))) {
        len_1 = extremes[trial][0];
        len_2 = extremes[trial][1];
      } else {
        std::uniform_int_distribution<std::size_t> len(65, 600);
        len_1 = len(rng);
        len_2 = len(rng);
      }
      const std::u32string a = random_points(rng, c.alphabet_1, len_1);
      // Every third pair is a near copy, so that the boost is reached.
      const std::u32string b = trial % 3 == 2 && len_1 > 1
                                   ? mutate_points(rng, a, c.alphabet_2)
                                   : random_points(rng, c.alphabet_2, len_2);
      const double p = scales[trial % 3];
      const std::string sa = utf8(a);
      const std::string sb = utf8(b);
      const double expected = reference::jaro_winkler(a, b, p);
      const reference::NativeText na(a), nb(b);
      EXPECT_EQ(bits(detail::general_scan(na, nb, p)), bits(expected))
          << "lengths " << a.size() << ", " << b.size() << ": " << sa << " / " << sb;
      EXPECT_EQ(bits(detail::general_scan(nb, na, p)),
                bits(reference::jaro_winkler(b, a, p)))
          << "lengths " << b.size() << ", " << a.size() << ": " << sb << " / " << sa;
      EXPECT_EQ(bits(similarity(sa, sb, p)), bits(expected));
    }
  }
}

// A long text against a short one: most windows of the long text lie past
// the end of the short one. The reference stays affordable because its walk
// never passes the short text.
TEST(JaroWinkler, VeryDifferentLengthsMatchTheReference) {
  std::mt19937_64 rng(0x6a7a);  // fixed random state
  for (const std::u32string& alphabet : {std::u32string(U"ab"), std::u32string(U"a\u00e9\U0001F600")}) {
    for (const std::size_t short_len : {1u, 30u, 200u}) {
      const std::u32string long_text = random_points(rng, alphabet, 50000);
      const std::u32string short_text = random_points(rng, alphabet, short_len);
      const std::string sl = utf8(long_text);
      const std::string ss = utf8(short_text);
      EXPECT_EQ(bits(similarity(sl, ss)), bits(reference::jaro_winkler(long_text, short_text)))
          << short_len;
      EXPECT_EQ(bits(similarity(ss, sl)), bits(reference::jaro_winkler(short_text, long_text)))
          << short_len;
    }
  }
}

// Texts of millions of code points, where the walk over each window would
// take hours: identical texts match position for position, and one swap of
// two different neighbours costs exactly one transposition.
TEST(JaroWinkler, HugeTextsFinishWithExactValues) {
  std::mt19937_64 rng(0x6a7b);  // fixed random state
  const struct {
    const char* name;
    std::u32string alphabet;
    std::size_t len;
  } cases[] = {
      {"ASCII, 10 MB", U"abcd", 10'000'000},
      {"astral, 10 MB", U"\U0001F600\U0001F601\u00e9", 2'500'000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::u32string a = random_points(rng, c.alphabet, c.len);
    std::u32string b = a;
    const std::size_t k = c.len / 3;
    b[k] = c.alphabet[0];
    b[k + 1] = c.alphabet[1];
    a[k] = c.alphabet[1];
    a[k + 1] = c.alphabet[0];
    const std::string sa = utf8(a);
    const std::string sb = utf8(b);
    EXPECT_EQ(similarity(sa, sa), 1.0);
    const std::size_t prefix = 4;  // the swap lies far beyond the common prefix
    EXPECT_EQ(bits(similarity(sa, sb, 0.1)), bits(detail::score(c.len, 1, prefix, c.len, c.len, 0.1)));
  }
}

}  // namespace
}  // namespace morvane
