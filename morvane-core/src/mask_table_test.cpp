#include "morvane/mask_table.hpp"

#include <gtest/gtest.h>

#include <string>

#include "native_text.hpp"

namespace morvane {
namespace {

using reference::NativeText;

template <class F>
void with_pattern(const NativeText& text, F&& f) {
  with_units(text.text(), [&](const auto* p, std::size_t m) { f(p, m); });
}

TEST(MaskTable, BitsByPosition) {
  MaskTable table;
  with_pattern(NativeText("ab\u00e9a\u65e5\U0001F600\u65e5"), [&](const auto* p, std::size_t m) { table.assign(p, m); });
  EXPECT_EQ(table.get('a'), 0b1001u);
  EXPECT_EQ(table.get('b'), 0b10u);
  EXPECT_EQ(table.get(0xE9), 0b100u);  // direct entry, below 256
  EXPECT_EQ(table.get(0x65E5), 0b1010000u);
  EXPECT_EQ(table.get(0x1F600), 0b100000u);
  EXPECT_EQ(table.get('z'), 0u);
  EXPECT_EQ(table.get(0x4E00), 0u);
  with_pattern(NativeText("xyx"), [&](const auto* p, std::size_t m) { table.assign(p, m); });
  EXPECT_EQ(table.get('x'), 0b101u);
  EXPECT_EQ(table.get('a'), 0u);  // a new pattern clears the old one
  EXPECT_EQ(table.get(0x65E5), 0u);
}

TEST(MaskTable, SixtyFourDistinctWideCodePoints) {
  std::u32string pattern;
  for (char32_t c = 0x4E00; c < 0x4E00 + 64; ++c) pattern += c;
  MaskTable table;
  with_pattern(NativeText(pattern), [&](const auto* p, std::size_t m) { table.assign(p, m); });
  for (char32_t c = 0x4E00; c < 0x4E00 + 64; ++c) EXPECT_EQ(table.get(c), std::uint64_t{1} << (c - 0x4E00));
  EXPECT_EQ(table.get(0x4E00 + 64), 0u);
}

TEST(BlockMaskTable, RowsSpanWords) {
  std::u32string pattern(130, U'a');
  pattern[0] = U'b';
  pattern[64] = U'b';
  pattern[129] = U'b';
  pattern += U'\u3042';  // position 130
  for (const unsigned width : {2u, 4u}) {
    with_pattern(NativeText(pattern, width), [&](const auto* p, std::size_t m) {
      const BlockMaskTable table(p, m);
      ASSERT_EQ(table.words(), 3u);
      const std::uint64_t* b = table.row('b');
      EXPECT_EQ(b[0], 1u);
      EXPECT_EQ(b[1], 1u);
      EXPECT_EQ(b[2], 0b10u);
      const std::uint64_t* a = table.row('a');
      EXPECT_EQ(a[0], ~std::uint64_t{1});
      EXPECT_EQ(a[1], ~std::uint64_t{1});
      EXPECT_EQ(a[2], 0b01u);  // nothing above the last position
      EXPECT_EQ(table.row(0x3042)[2], 0b100u);
      for (const char32_t absent : {char32_t{'z'}, char32_t{0xE9}, char32_t{0x3043}, char32_t{0x1F600}}) {
        const std::uint64_t* row = table.row(absent);
        EXPECT_EQ(row[0] | row[1] | row[2], 0u);
      }
    });
  }
}

TEST(BlockMaskTable, AbsentRowsAreZeroForSmallAndLargeTables) {
  // Small tables are cleared in one go, large ones row by row as the pattern
  // uses them; ASCII patterns only have 128 rows. Every absent code point,
  // below 128, from 128 to 255 and wider, must read zeros.
  for (const std::size_t length : {65u, 256u, 257u, 1000u}) {
    std::string pattern(length, 'x');
    pattern[length - 1] = '~';
    with_pattern(NativeText(pattern), [&](const auto* p, std::size_t m) {
      const BlockMaskTable table(p, m);
      const std::size_t words = table.words();
      for (const char32_t absent : {char32_t{'y'}, char32_t{0x80}, char32_t{0xE9}, char32_t{0xFF}, char32_t{0x100}}) {
        const std::uint64_t* row = table.row(absent);
        for (std::size_t k = 0; k < words; ++k) EXPECT_EQ(row[k], 0u) << length << " " << k;
      }
      EXPECT_EQ(table.row('~')[words - 1], std::uint64_t{1} << ((length - 1) % 64)) << length;
      EXPECT_EQ(table.row('x')[0], ~std::uint64_t{0}) << length;
    });
  }
}

}  // namespace
}  // namespace morvane
