#include "morvane/error.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace morvane {
namespace {

TEST(FormatDouble, ShortestRoundTripWithAPoint) {
  struct Case {
    double value;
    const char* text;
  };
  const double inf = std::numeric_limits<double>::infinity();
  for (const Case& c : {Case{0.3, "0.3"}, {1.0, "1.0"}, {-2.5, "-2.5"}, {0.0, "0.0"}, {-0.0, "-0.0"},
                        {100.0, "100.0"}, {123456.5, "123456.5"}, {0.0001, "0.0001"}, {0.00012, "0.00012"},
                        {1e-5, "1e-5"}, {-1e-300, "-1e-300"}, {2.5e16, "2.5e16"}, {1e16, "1e16"},
                        {9999999999999998.0, "9999999999999998.0"}, {0.2500000000000001, "0.2500000000000001"},
                        {5e-324, "5e-324"}, {1.7976931348623157e308, "1.7976931348623157e308"},
                        {inf, "inf"}, {-inf, "-inf"}, {std::nan(""), "NaN"}, {-std::nan(""), "NaN"}}) {
    EXPECT_EQ(format_double(c.value), c.text);
  }
}

TEST(MatchError, TextForms) {
  EXPECT_EQ(MatchError(InputTooLong{"str_1", 12, 10}).to_string(),
            R"(InputTooLong { which: "str_1", len: 12, limit: 10 })");
  EXPECT_EQ(MatchError(InputTooLong{"str_2", 5, 4}).to_string(), R"(InputTooLong { which: "str_2", len: 5, limit: 4 })");
  EXPECT_EQ(MatchError(InvalidPrefixScale{0.3}).to_string(), "InvalidPrefixScale { value: 0.3 }");
  EXPECT_EQ(MatchError(InvalidPrefixScale{-1.0}).to_string(), "InvalidPrefixScale { value: -1.0 }");
}

TEST(CheckedBytes, RefusesSizesThatCannotBeFormed) {
  EXPECT_EQ(checked_bytes(256, 8), 2048u);
  EXPECT_EQ(checked_bytes(0, 8), 0u);
  const auto max = static_cast<std::size_t>(std::numeric_limits<std::ptrdiff_t>::max());
  EXPECT_EQ(checked_bytes(max / 8, 8), max / 8 * 8);
  try {
    checked_bytes(max / 8 + 1, 8);
    FAIL() << "no Panic";
  } catch (const Panic& e) {
    EXPECT_STREQ(e.what(), "capacity overflow");
  }
  EXPECT_THROW(checked_bytes(std::numeric_limits<std::size_t>::max(), 2), Panic);
}

}  // namespace
}  // namespace morvane
