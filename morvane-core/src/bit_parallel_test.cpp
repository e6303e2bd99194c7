// Every kernel form of both edit distances, driven directly, against the plain
// dynamic programme on random texts over small alphabets.
#include "bit_parallel.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <tuple>

#include "edit_distance.hpp"
#include "morvane/mask_table.hpp"
#include "native_text.hpp"
#include "random_text.hpp"

namespace morvane {
namespace {

struct Levenshtein {
  using Kernels = bit_parallel::LevenshteinKernels;
  static std::size_t reference(std::string_view a, std::string_view b) { return reference::levenshtein(a, b); }
};

struct Damerau {
  using Kernels = bit_parallel::DamerauKernels;
  static std::size_t reference(std::string_view a, std::string_view b) { return reference::osa(a, b); }
};

// Runs every kernel form that can take the pattern, at every storage width
// of both texts, and checks each result.
template <class Measure>
void check_all_forms(const std::string& a, const std::string& b) {
  using K = typename Measure::Kernels;
  const std::size_t expected = Measure::reference(a, b);
  for (const unsigned wa : reference::widths_of(a)) {
    for (const unsigned wb : reference::widths_of(b)) {
      const reference::NativeText na(a, wa), nb(b, wb);
      with_units(na, nb, [&](const auto* pa, std::size_t m, const auto* pb, std::size_t n) {
        const BlockMaskTable block(pa, m);
        ASSERT_EQ(K::blocks(block, m, pb, n), expected) << "blocks: " << a << " / " << b;
        if (m > 64) return;
        MaskTable table;
        table.assign(pa, m);
        ASSERT_EQ(K::table(table, m, pb, n), expected) << "table: " << a << " / " << b;
        if (std::all_of(pb, pb + n, [](auto c) { return c < 256; })) {
          ASSERT_EQ(K::direct(table.direct(), m, pb, n), expected) << "direct: " << a << " / " << b;
        }
        table.assign_pair(pa, m, pb, n);
        ASSERT_EQ(K::table(table, m, pb, n), expected) << "pair table: " << a << " / " << b;
      });
    }
  }
}

template <class Measure>
class KernelForms : public ::testing::Test {};
using Measures = ::testing::Types<Levenshtein, Damerau>;
TYPED_TEST_SUITE(KernelForms, Measures);

TYPED_TEST(KernelForms, RandomTextsOverSmallAlphabets) {
  std::mt19937_64 rng(2001);
  for (const std::u32string& alphabet : reference::alphabets()) {
    for (const std::size_t m : {1u, 2u, 3u, 7u, 31u, 63u, 64u, 65u, 66u, 127u, 128u, 129u, 300u}) {
      std::uniform_int_distribution<std::size_t> length(1, m + 70);
      for (int round = 0; round < 12; ++round) {
        const std::string a = reference::random_text(rng, alphabet, m);
        const std::string b = reference::random_text(rng, alphabet, length(rng));
        check_all_forms<TypeParam>(a, b);
      }
    }
  }
}

// Near-equal texts: a few random edits of the pattern, so the distances are
// small and the carries between words matter.
TYPED_TEST(KernelForms, FewEditsAcrossWordBoundaries) {
  std::mt19937_64 rng(2002);
  const std::u32string alphabet = U"abcd\u00e9\u4e00";
  for (const std::size_t m : {62u, 63u, 64u, 65u, 66u, 127u, 128u, 129u, 191u, 192u, 193u, 450u}) {
    for (int round = 0; round < 20; ++round) {
      const std::u32string a = reference::code_points(reference::random_text(rng, alphabet, m));
      std::u32string b = a;
      std::uniform_int_distribution<int> edits(1, 4);
      for (int e = edits(rng); e > 0 && b.size() > 2; --e) {
        std::uniform_int_distribution<std::size_t> at(0, b.size() - 2);
        const std::size_t i = at(rng);
        switch (rng() % 4) {
          case 0: std::swap(b[i], b[i + 1]); break;
          case 1: b.erase(i, 1); break;
          case 2: b.insert(i, 1, alphabet[rng() % alphabet.size()]); break;
          default: b[i] = alphabet[rng() % alphabet.size()]; break;
        }
      }
      std::string a8, b8;
      for (char32_t c : a) reference::append_utf8(a8, c);
      for (char32_t c : b) reference::append_utf8(b8, c);
      check_all_forms<TypeParam>(a8, b8);
    }
  }
}

TEST(DamerauBlocks, TranspositionAtEveryWordBoundary) {
  for (const std::size_t m : {70u, 130u, 200u}) {
    std::string a;
    for (std::size_t i = 0; i < m; ++i) a += static_cast<char>('a' + i % 26);
    for (const std::size_t at : {62u, 63u, 64u, 127u, 128u}) {
      if (at + 1 >= m) continue;
      std::string b = a;
      std::swap(b[at], b[at + 1]);
      const reference::NativeText na(a), nb(b);
      const auto* pa = static_cast<const std::uint8_t*>(na.text().data());
      const auto* pb = static_cast<const std::uint8_t*>(nb.text().data());
      const BlockMaskTable table(pa, m);
      EXPECT_EQ(bit_parallel::DamerauKernels::blocks(table, m, pb, m), 1u) << "m " << m << " swap at " << at;
      EXPECT_EQ(bit_parallel::LevenshteinKernels::blocks(table, m, pb, m), 2u);
    }
  }
}

}  // namespace
}  // namespace morvane
