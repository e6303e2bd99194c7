#include "morvane/default_process.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <ostream>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "morvane/lower.hpp"
#include "native_text.hpp"
#include "random_text.hpp"

namespace morvane {
namespace {

// kAlnumCount and kAlnumDigest, taken by the generator from str.isalnum().
#include "alnum_tables.inc"

// default_process and default_process_into of `text`, which must agree, and
// default_process's largest code point, which must be the result's.
std::u32string processed(Text text) {
  std::vector<std::uint32_t> out{7, 7, 7};
  const char32_t top = default_process(text, out);
  const std::u32string result(out.begin(), out.end());
  char32_t high = 0;
  for (const char32_t c : result) high = c > high ? c : high;
  EXPECT_EQ(top, high);
  std::vector<std::uint32_t> room(text.size() * kMaxLoweredLength + 1);
  const std::size_t n = default_process_into(text, room.data());
  const Text into = Text::of_width(room.data(), n, text.width(), false);
  std::u32string in_place;
  for (std::size_t i = 0; i < n; ++i) in_place += into.at(i);
  EXPECT_EQ(in_place, result) << "default_process_into at width " << text.width();
  return result;
}

struct ProcessCase {
  const char* name;
  std::string input;
  std::string expected;  // Python's default_process(input)
};

void PrintTo(const ProcessCase& c, std::ostream* os) { *os << c.name; }

class DefaultProcessTest : public testing::TestWithParam<ProcessCase> {};

TEST_P(DefaultProcessTest, MatchesPythonAtEveryWidth) {
  for (const unsigned width : reference::widths_of(GetParam().input)) {
    EXPECT_EQ(processed(reference::native(GetParam().input, width)), reference::code_points(GetParam().expected))
        << "width " << width;
  }
}

INSTANTIATE_TEST_SUITE_P(
    DefaultProcess, DefaultProcessTest,
    testing::Values(ProcessCase{"Empty", "", ""}, ProcessCase{"AllJunk", "!!! ...  ###", ""},
                    ProcessCase{"PunctuationRuns", "Smith,  JOHN!!--jr.", "smith john jr"},
                    ProcessCase{"JunkAtEnds", "  --abc--  ", "abc"},
                    ProcessCase{"Digits", "R2-D2 & C-3PO, 1984", "r2 d2 c 3po 1984"},
                    ProcessCase{"Underscore", "a_b", "a b"}, ProcessCase{"NoBreakSpace", "\u00a0x\u00a0", "x"},
                    ProcessCase{"Latin1", "  --\u00dcn\u00efc\u00f6d\u00e9--  ", "\u00fcn\u00efc\u00f6d\u00e9"},
                    ProcessCase{"Latin1Edges", "\u00c0\u00c9\u00de\u00d7\u00df\u00ff \u00aa\u00bd\u00b9",
                                "\u00e0\u00e9\u00fe \u00df\u00ff \u00aa\u00bd\u00b9"},
                    ProcessCase{"FinalSigma", "\u039f\u0394\u039f\u03a3", "\u03bf\u03b4\u03bf\u03c2"},
                    ProcessCase{"SigmaBeforeJunk", "\u039f\u0394\u039f\u03a3 \u0391\u03a3.",
                                "\u03bf\u03b4\u03bf\u03c2 \u03b1\u03c2"},
                    ProcessCase{"SigmaAcrossIgnorable", "\u0391\u03a3'\u0392", "\u03b1\u03c3 \u03b2"},
                    ProcessCase{"DottedCapitalI", "\u0130stanbul", "i stanbul"},
                    ProcessCase{"CombiningMarks", "e\u0301te\u0301", "e te"},
                    ProcessCase{"Cjk", "\u6771\u4eac\u90fd\u30fb\u3072\u3089\u304c\u306a",
                                "\u6771\u4eac\u90fd \u3072\u3089\u304c\u306a"},
                    ProcessCase{"NumeralsAndKelvin", "\u216b \u212a", "\u217b k"},
                    ProcessCase{"Emoji", "\U0001F600 x \U0001F600", "x"},
                    ProcessCase{"EmojiBetween", "a\U0001F600b", "a b"},
                    ProcessCase{"Astral", "\U0001D400\U0001D7CF \U00010400", "\U0001D400\U0001D7CF \U00010428"},
                    ProcessCase{"ArabicIndicDigits", "\u0660\u0663 \u0663", "\u0660\u0663 \u0663"}),
    [](const testing::TestParamInfo<ProcessCase>& p) { return std::string(p.param.name); });

// The definition itself, over the core's full lowering: every code point of
// the lowered text that is not alphanumeric a space, then the words joined by
// single spaces.
std::u32string by_definition(Text text) {
  const LowerText lowered(text);
  std::u32string spaced;
  for (std::size_t i = 0; i < lowered.text().size(); ++i) {
    const char32_t c = lowered.text().at(i);
    spaced += is_alnum(c) ? c : U' ';
  }
  std::u32string joined;
  for (std::size_t i = 0; i < spaced.size();) {
    const std::size_t end = std::min(spaced.find(U' ', i), spaced.size());
    if (end > i) {
      if (!joined.empty()) joined += U' ';
      joined.append(spaced, i, end - i);
    }
    i = end + 1;
  }
  return joined;
}

// Random texts of capitals, junk, sigmas in every context, U+0130's expansion
// and each storage width, against the definition.
TEST(DefaultProcess, MatchesDefinitionOnRandomTexts) {
  const std::u32string alphabet =
      U"aZ9 _-.'\u00c9\u00d7\u00b2\u03a3\u0391\u0130\u0301\u212a\u4e2d\u30fb\U00010400\U0001F600\U0001D7CF";
  std::mt19937_64 rng(20261210);
  std::uniform_int_distribution<std::size_t> length(0, 24);
  for (int round = 0; round < 3000; ++round) {
    const std::string text = reference::random_text(rng, alphabet, length(rng));
    for (const unsigned width : reference::widths_of(text)) {
      const reference::NativeText native(text, width);
      ASSERT_EQ(processed(native), by_definition(native)) << text << " at width " << width;
    }
  }
}

// Every code point against the count and hash the generator took from
// str.isalnum(), and a few read off Python by hand.
TEST(DefaultProcess, AlnumAgreesWithPythonOnEveryCodePoint) {
  std::uint32_t count = 0;
  std::uint64_t digest = 0xCBF29CE484222325u;
  for (char32_t c = 0; c <= 0x10FFFF; ++c) {
    if (c >= 0xD800 && c < 0xE000) continue;
    if (is_alnum(c)) {
      ++count;
      digest = (digest ^ c) * 0x100000001B3u;
    }
  }
  EXPECT_EQ(count, kAlnumCount);
  EXPECT_EQ(digest, kAlnumDigest);
  for (const char32_t c : std::u32string_view(U"aZ5\u00e9\u4e2d\u0663\u00b2")) EXPECT_TRUE(is_alnum(c)) << std::uint32_t{c};
  for (const char32_t c : {U'_', U' ', U'\u0307', U'\U0001F600', char32_t{0x110000}, char32_t{0xFFFFFFFF}})
    EXPECT_FALSE(is_alnum(c)) << std::uint32_t{c};
}

}  // namespace
}  // namespace morvane
