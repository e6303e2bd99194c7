// The batches' prepared query: its masks for every script, with and without
// upper variants, and its preparation.
#include "morvane/batch_query.hpp"

#include <gtest/gtest.h>

#include <string>

#include "native_text.hpp"

namespace morvane {
namespace {

using reference::NativeText;

TEST(QueryMasks, RowsOfAnyScriptAndTheirUpperVariants) {
  // Latin-1, Cyrillic, CJK and astral code points, at positions spanning
  // two words.
  std::u32string pattern = U"k\u00e5\u0436\u65e5\U0001F600";
  pattern += std::u32string(60, U'.') + U"\u0436";  // position 65
  const QueryMasks plain(NativeText(pattern, 4), UpperVariants::without);
  ASSERT_EQ(plain.words(), 2u);
  EXPECT_EQ(plain.row('k')[0], 1u);
  EXPECT_EQ(plain.row(0x436)[0], 0b100u);
  EXPECT_EQ(plain.row(0x436)[1], 0b10u);
  EXPECT_EQ(plain.row(0x65E5)[0], 0b1000u);
  EXPECT_EQ(plain.row(0x1F600)[0], 0b10000u);
  for (const char32_t absent : {char32_t{'K'}, char32_t{0x212A}, char32_t{0x416}, char32_t{0x65E6}, char32_t{0x10FFFF}}) {
    EXPECT_EQ(plain.row(absent)[0] | plain.row(absent)[1], 0u);
  }
  // With upper variants, every code point lowering onto a pattern code point
  // shares its row: K and KELVIN SIGN for k, Å and ANGSTROM SIGN for å, Ж
  // for ж.
  const QueryMasks folded(NativeText(pattern, 4), UpperVariants::with);
  for (const char32_t c : {char32_t{'k'}, char32_t{'K'}, char32_t{0x212A}}) EXPECT_EQ(folded.row(c)[0], 1u);
  for (const char32_t c : {char32_t{0xE5}, char32_t{0xC5}, char32_t{0x212B}}) EXPECT_EQ(folded.row(c)[0], 2u);
  EXPECT_EQ(folded.row(0x416)[1], 0b10u);
  EXPECT_EQ(folded.row(0x65E5)[0], 0b1000u);
}

TEST(BatchQuery, Preparation) {
  const BatchQuery empty(NativeText(""), true);
  EXPECT_EQ(empty.char_count, 0u);
  EXPECT_TRUE(empty.pattern.empty());

  const BatchQuery folded(NativeText("\u0130B\u03a3"), true);
  EXPECT_EQ(folded.char_count, 3u);  // as passed in
  EXPECT_EQ(std::u32string(folded.pattern.begin(), folded.pattern.end()), U"i\u0307b\u03c2");
  EXPECT_EQ(folded.masks.row('B')[0], 0b100u);

  const BatchQuery plain(NativeText("aB1"), false);
  EXPECT_EQ(plain.masks.direct()['a'], 1u);
  EXPECT_EQ(plain.masks.direct()['A'], 0u);
  EXPECT_EQ(plain.masks.direct()['b'], 0u);
  EXPECT_EQ(plain.masks.direct()['B'], 2u);
}

TEST(BatchQuery, FullLoweringOnlyForContextualOrGrowingCodePoints) {
  EXPECT_FALSE(needs_full_lowering(NativeText("ABC \u00c9")));
  EXPECT_FALSE(needs_full_lowering(NativeText("\u039f\u0394\u039f")));
  EXPECT_TRUE(needs_full_lowering(NativeText("\u039f\u0394\u039f\u03a3")));
  EXPECT_TRUE(needs_full_lowering(NativeText("\u0130stanbul")));
  EXPECT_TRUE(needs_full_lowering(NativeText("x\U0001F600\u03a3", 4)));
}

}  // namespace
}  // namespace morvane
