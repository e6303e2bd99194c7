#include "morvane/bulk_vector.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>

namespace morvane {
namespace {

constexpr std::size_t kPerHugePage = bulk_detail::kHugePage / sizeof(std::uint64_t);

TEST(BulkVector, GrowsAcrossTheHugePageSizeKeepingItsValues) {
  // Starts on the ordinary allocator and moves to huge-page blocks as it
  // doubles; every reallocation must carry the values over.
  BulkVector<std::uint64_t> v;
  for (std::uint64_t i = 0; i < 3 * kPerHugePage + 5; ++i) v.push_back(i * 7);
  for (std::size_t i = 0; i < v.size(); ++i) ASSERT_EQ(v[i], i * 7) << i;
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(v.data()) % bulk_detail::kHugePage, 0u);
  v.resize(10);
  v.shrink_to_fit();
  EXPECT_EQ(std::accumulate(v.begin(), v.end(), std::uint64_t{0}), 7u * 45u);
}

TEST(BulkVector, SizesThatCannotBeFormedThrow) {
  BulkAllocator<std::uint64_t> allocator;
  EXPECT_THROW((void)allocator.allocate(static_cast<std::size_t>(-1) / 4), std::bad_array_new_length);
  // Rounding up to whole huge pages overflows just below the largest size.
  EXPECT_THROW((void)bulk_detail::allocate_huge(static_cast<std::size_t>(-1) - 5), std::bad_array_new_length);
}

}  // namespace
}  // namespace morvane
