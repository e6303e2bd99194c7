#include "morvane/mask_table.hpp"

#include <gtest/gtest.h>

#include <string>

#include "morvane/batch_query.hpp"
#include "random_text.hpp"

namespace morvane {
namespace {

TEST(MaskTable, BitsByPosition) {
  MaskTable table;
  table.assign_code_points("ab\u00e9a\u65e5\U0001F600\u65e5");
  EXPECT_EQ(table.get('a'), 0b1001u);
  EXPECT_EQ(table.get('b'), 0b10u);
  EXPECT_EQ(table.get(0xE9), 0b100u);  // direct entry, below 256
  EXPECT_EQ(table.get(0x65E5), 0b1010000u);
  EXPECT_EQ(table.get(0x1F600), 0b100000u);
  EXPECT_EQ(table.get('z'), 0u);
  EXPECT_EQ(table.get(0x4E00), 0u);
  table.assign_bytes("xyx");
  EXPECT_EQ(table.get('x'), 0b101u);
  EXPECT_EQ(table.get('a'), 0u);  // a new pattern clears the old one
  EXPECT_EQ(table.get(0x65E5), 0u);
}

TEST(MaskTable, SixtyFourDistinctWideCodePoints) {
  std::string pattern;
  for (char32_t c = 0x4E00; c < 0x4E00 + 64; ++c) reference::append_utf8(pattern, c);
  MaskTable table;
  table.assign_code_points(pattern);
  for (char32_t c = 0x4E00; c < 0x4E00 + 64; ++c) EXPECT_EQ(table.get(c), std::uint64_t{1} << (c - 0x4E00));
  EXPECT_EQ(table.get(0x4E00 + 64), 0u);
}

TEST(BlockMaskTable, RowsSpanWords) {
  std::string pattern(130, 'a');
  pattern[0] = 'b';
  pattern[64] = 'b';
  pattern[129] = 'b';
  std::string wide;
  reference::append_utf8(wide, 0x3042);
  pattern += wide;  // position 130
  const BlockMaskTable table(pattern, 131);
  ASSERT_EQ(table.words(), 3u);
  const std::uint64_t* b = table.row('b');
  EXPECT_EQ(b[0], 1u);
  EXPECT_EQ(b[1], 1u);
  EXPECT_EQ(b[2], 0b10u);
  const std::uint64_t* a = table.row('a');
  EXPECT_EQ(a[0], ~std::uint64_t{1});
  EXPECT_EQ(a[1], ~std::uint64_t{1});
  EXPECT_EQ(a[2], 0b01u);  // nothing above the last position
  const std::uint64_t* w = table.row(0x3042);
  EXPECT_EQ(w[2], 0b100u);
  for (const char32_t absent : {char32_t{'z'}, char32_t{0xE9}, char32_t{0x3043}, char32_t{0x1F600}}) {
    const std::uint64_t* row = table.row(absent);
    EXPECT_EQ(row[0] | row[1] | row[2], 0u);
  }
}

TEST(BlockMaskTable, LargeTablesAnswerAbsentRowsWithZeros) {
  // Enough words that rows are set up one by one as the pattern uses them.
  std::string pattern(1000, 'q');
  pattern[999] = 'r';
  const BlockMaskTable table(pattern, 1000);
  ASSERT_EQ(table.words(), 16u);
  for (const char32_t absent : {char32_t{'a'}, char32_t{0xFF}, char32_t{0x100}}) {
    const std::uint64_t* row = table.row(absent);
    for (std::size_t k = 0; k < 16; ++k) EXPECT_EQ(row[k], 0u) << k;
  }
  EXPECT_EQ(table.row('r')[15], std::uint64_t{1} << (999 % 64));
  EXPECT_EQ(table.row('q')[15], (std::uint64_t{1} << (999 % 64)) - 1);
}

TEST(BlockMaskTable, AsciiPatternsAnswerRowsFromByte128UpWithZeros) {
  // Small (cleared in one go) and large (row by row) tables of an ASCII
  // pattern: a Latin-1 or wider text character must read zeros.
  for (const std::size_t length : {65u, 256u, 257u, 700u}) {
    std::string pattern(length, 'x');
    pattern[length - 1] = '~';
    const BlockMaskTable table(pattern, length);
    const std::size_t words = table.words();
    for (const char32_t absent : {char32_t{0x80}, char32_t{0xE9}, char32_t{0xFF}, char32_t{0x100}, char32_t{'y'}}) {
      const std::uint64_t* row = table.row(absent);
      for (std::size_t k = 0; k < words; ++k) EXPECT_EQ(row[k], 0u) << length << " U+" << std::hex << static_cast<std::uint32_t>(absent);
    }
    EXPECT_EQ(table.row('~')[words - 1], std::uint64_t{1} << ((length - 1) % 64)) << length;
    EXPECT_EQ(table.row('x')[0], ~std::uint64_t{0}) << length;
  }
}

TEST(BatchQuery, Preparation) {
  const BatchQuery empty("", true);
  EXPECT_FALSE(empty.ascii_ready);
  EXPECT_EQ(empty.char_count, 0u);
  EXPECT_EQ(empty.last_bit, 0u);

  const BatchQuery q64(std::string(64, 'x'), std::nullopt);
  EXPECT_TRUE(q64.ascii_ready);
  EXPECT_EQ(q64.last_bit, std::uint64_t{1} << 63);
  const BatchQuery q65(std::string(65, 'x'), std::nullopt);
  EXPECT_FALSE(q65.ascii_ready);
  EXPECT_EQ(q65.last_bit, 0u);
  EXPECT_EQ(q65.char_count, 65u);

  const BatchQuery non_ascii("ab\u00e7", false);
  EXPECT_FALSE(non_ascii.ascii_ready);
  EXPECT_EQ(non_ascii.char_count, 3u);
  EXPECT_EQ(non_ascii.last_bit, 0b100u);

  const BatchQuery folded("aB1", true);
  EXPECT_EQ(folded.ascii_masks['a'], 1u);
  EXPECT_EQ(folded.ascii_masks['A'], 1u);
  EXPECT_EQ(folded.ascii_masks['b'], 2u);
  EXPECT_EQ(folded.ascii_masks['B'], 2u);
  EXPECT_EQ(folded.ascii_masks['1'], 4u);
  EXPECT_EQ(folded.query, "aB1");
  const BatchQuery plain("aB1", false);
  EXPECT_EQ(plain.ascii_masks['a'], 1u);
  EXPECT_EQ(plain.ascii_masks['A'], 0u);
  EXPECT_EQ(plain.ascii_masks['b'], 0u);
  EXPECT_EQ(plain.ascii_masks['B'], 2u);
  EXPECT_EQ(BatchQuery("ABC", true).query, "ABC");
}

}  // namespace
}  // namespace morvane
