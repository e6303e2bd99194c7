#include "morvane/lower.hpp"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "native_text.hpp"
#include "random_text.hpp"

namespace morvane {
namespace {

// The lowercase form of UTF-8 `text`, lowered at every storage width that
// holds it; all widths must agree.
std::string fold_lower(const std::string& text) {
  std::string first;
  for (const unsigned width : reference::widths_of(text)) {
    const reference::NativeText native(text, width);
    std::vector<std::uint32_t> out(native.text().size() * kMaxLoweredLength + 1);
    const std::size_t n = lower_into(native.text(), out.data());
    std::string utf8;
    for (std::size_t i = 0; i < n; ++i) {
      const Text lowered = Text::of_width(out.data(), n, width, false);
      reference::append_utf8(utf8, lowered.at(i));
    }
    if (width == reference::widths_of(text).front()) {
      first = utf8;
    } else {
      EXPECT_EQ(utf8, first) << "width " << width;
    }
  }
  return first;
}

struct LowerCase {
  const char* name;
  std::string input;
  std::string expected;
};

void PrintTo(const LowerCase& c, std::ostream* os) { *os << c.name; }

class LowerTest : public testing::TestWithParam<LowerCase> {};

TEST_P(LowerTest, MatchesLowercaseMapping) {
  EXPECT_EQ(fold_lower(GetParam().input), GetParam().expected);
}

// Σ = U+03A3, σ = U+03C3, ς = U+03C2. Case-ignorable: ' U+0027, . U+002E,
// U+00AD soft hyphen, U+0307 combining dot, U+02B0 modifier h (also cased).
INSTANTIATE_TEST_SUITE_P(
    Table, LowerTest,
    testing::Values(
        LowerCase{"Empty", "", ""},
        LowerCase{"AsciiShort", "Hello, World!", "hello, world!"},
        LowerCase{"AsciiLetterEdges", "@AZ[`az{ 09 @ABCDEFGHIJKLMNOPQRSTUVWXYZ[`{~\x7f",
                 "@az[`az{ 09 @abcdefghijklmnopqrstuvwxyz[`{~\x7f"},
        LowerCase{"Latin1", "\u00C0\u00C9\u00DE\u00D7\u00DF\u00FF", "\u00E0\u00E9\u00FE\u00D7\u00DF\u00FF"},
        LowerCase{"DottedCapitalIGrows", "\u0130STANBUL", "i\u0307stanbul"},
        LowerCase{"TwoToThreeBytes", "\u023A\u023E", "\u2C65\u2C66"},
        LowerCase{"ThreeToOneByte", "\u212A\u212B\u2126", "k\u00E5\u03C9"},
        LowerCase{"Astral", "\U00010400\U0001E900\U0001F600", "\U00010428\U0001E922\U0001F600"},
        LowerCase{"Unmapped", "\u65E5\u672C 123 \u00AA", "\u65E5\u672C 123 \u00AA"},
        LowerCase{"WordFinalSigma", "\u039F\u0394\u039F\u03A3", "\u03BF\u03B4\u03BF\u03C2"},
        LowerCase{"SigmaThenLetters", "\u03A3\u0391\u03A3", "\u03C3\u03B1\u03C2"},
        LowerCase{"SigmaBetweenLetters", "\u0391\u03A3\u0391", "\u03B1\u03C3\u03B1"},
        LowerCase{"LoneSigma", "\u03A3", "\u03C3"},
        LowerCase{"SigmaAfterSpace", "a \u03A3", "a \u03C3"},
        LowerCase{"SigmaAfterAsciiLetter", "a\u03A3", "a\u03C2"},
        LowerCase{"SigmaBeforeDigit", "\u0391\u03A31", "\u03B1\u03C21"},
        LowerCase{"RepeatedSigmas", "\u0391\u03A3\u03A3\u03A3", "\u03B1\u03C3\u03C3\u03C2"},
        LowerCase{"SigmaPerWord", "\u0391\u03A3 \u0392\u03A3.", "\u03B1\u03C2 \u03B2\u03C2."},
        LowerCase{"IgnorablesBefore", "\u0391'\u0307\u00AD\u03A3", "\u03B1'\u0307\u00AD\u03C2"},
        LowerCase{"OnlyIgnorablesBefore", "'\u0307\u03A3", "'\u0307\u03C3"},
        LowerCase{"IgnorablesThenLetter", "\u0391\u03A3.'\u00ADb", "\u03B1\u03C3.'\u00ADb"},
        LowerCase{"IgnorablesThenEnd", "\u0391\u03A3.'\u00AD", "\u03B1\u03C2.'\u00AD"},
        LowerCase{"IgnorablesThenSpace", "\u0391\u03A3'' x", "\u03B1\u03C2'' x"},
        LowerCase{"CasedIgnorableIsSkipped", "\u02B0\u03A3", "\u02B0\u03C3"},
        LowerCase{"CapitalIBeforeSigma", "\u0130\u03A3", "i\u0307\u03C2"}),
    [](const testing::TestParamInfo<LowerCase>& p) { return std::string(p.param.name); });

// A non-ASCII code point at every offset of an ASCII run, so that it falls in
// every byte of the word-at-a-time path and in its byte-wise tail.
TEST(LowerTest, NonAsciiAtEveryOffset) {
  const std::string upper = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  const std::string lower = "abcdefghijklmnopqrstuvwxyz";
  const std::string inserts[][2] = {
      {"\u00C9", "\u00E9"}, {"\u0130", "i\u0307"}, {"\u212A", "k"}, {"\U00010400", "\U00010428"}};
  for (const auto& [in, out] : inserts) {
    for (std::size_t at = 0; at <= upper.size(); ++at) {
      const std::string input = upper.substr(0, at) + in + upper.substr(at);
      const std::string expected = lower.substr(0, at) + out + lower.substr(at);
      EXPECT_EQ(fold_lower(input), expected) << "offset " << at << " of " << input;
    }
  }
}

// Long runs of ignorables between many sigmas: every sigma sees a cased
// letter on both sides through the run, except the last, which ends the text.
TEST(LowerTest, LongIgnorableRunsAroundSigmas) {
  const std::string run(3000, '\'');
  std::string input = "A";
  std::string expected = "a";
  for (int i = 0; i < 200; ++i) {
    input += "\u03A3" + run;
    expected += "\u03C3" + run;
  }
  expected.replace(expected.size() - run.size() - 2, 2, "\u03C2");
  EXPECT_EQ(fold_lower(input), expected);
}

}  // namespace
}  // namespace morvane
