// Every kernel form of both edit distances, driven directly, against the plain
// dynamic programme on random texts over small alphabets.
#include "bit_parallel.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "edit_distance.hpp"
#include "morvane/damerau_bp.hpp"
#include "morvane/levenshtein_bp.hpp"
#include "morvane/mask_table.hpp"
#include "morvane/simd.hpp"
#include "native_text.hpp"
#include "random_text.hpp"

namespace morvane {
namespace {

// The pair function at a given level.
using PairFn = Expected<std::size_t> (*)(Text, Text, std::optional<std::size_t>, std::optional<bool>,
                                         std::optional<std::size_t>, SimdLevel);

struct Levenshtein {
  using Kernels = bit_parallel::LevenshteinKernels;
  static constexpr PairFn pair = &levenshtein_bp;
  static std::size_t reference(std::string_view a, std::string_view b) { return reference::levenshtein(a, b); }
};

struct Damerau {
  using Kernels = bit_parallel::DamerauKernels;
  static constexpr PairFn pair = &damerau_bp;
  static std::size_t reference(std::string_view a, std::string_view b) { return reference::osa(a, b); }
};

// Runs every kernel form that can take the pattern, at every storage width
// of both texts and every instruction-set level this processor runs, and
// checks each result.
template <class Measure>
void check_all_forms(const std::string& a, const std::string& b) {
  using K = typename Measure::Kernels;
  const std::size_t expected = Measure::reference(a, b);
  for (const unsigned wa : reference::widths_of(a)) {
    for (const unsigned wb : reference::widths_of(b)) {
      const reference::NativeText na(a, wa), nb(b, wb);
      with_units(na, nb, [&](const auto* pa, std::size_t m, const auto* pb, std::size_t n) {
        const BlockMaskTable block(pa, m);
        std::vector<typename K::BlockState> scratch(block.words());
        const std::size_t diff = m > n ? m - n : n - m;
        for (const SimdLevel level : supported_levels()) {
          ASSERT_EQ(K::blocks(block, m, pb, n, level), expected) << "blocks: " << a << " / " << b;
          // Bands on both sides of the distance: exact within, above it otherwise.
          for (const std::size_t k : {diff, diff + 1, expected / 2, expected - 1, expected, expected + 1, expected + 2}) {
            const std::size_t r = k < diff ? expected : K::band(block, m, pb, n, k, scratch.data(), level);
            ASSERT_TRUE(expected <= k ? r == expected : r > k && r >= expected) << k << ": " << a << " / " << b;
          }
        }
        for (const std::size_t k : {diff, diff + 1, expected / 2, expected - 1, expected, expected + 1, expected + 2}) {
          const std::size_t s = k < diff || k > 61 ? expected : K::diagonal_band(block, m, pb, n, k);
          ASSERT_TRUE(expected <= k ? s == expected : s > k && s >= expected) << k << ": " << a << " / " << b;
        }
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

// `a` with `edits` random edits: adjacent swaps, deletions, insertions and
// substitutions from `alphabet`.
std::string edited(std::mt19937_64& rng, const std::string& a, const std::u32string& alphabet, std::size_t edits) {
  std::u32string b = reference::code_points(a);
  for (; edits > 0 && b.size() > 2; --edits) {
    const std::size_t i = rng() % (b.size() - 1);
    switch (rng() % 4) {
      case 0: std::swap(b[i], b[i + 1]); break;
      case 1: b.erase(i, 1); break;
      case 2: b.insert(i, 1, alphabet[rng() % alphabet.size()]); break;
      default: b[i] = alphabet[rng() % alphabet.size()]; break;
    }
  }
  std::string out;
  for (const char32_t c : b) reference::append_utf8(out, c);
  return out;
}

template <class Measure>
class KernelForms : public ::testing::Test {};
using Measures = ::testing::Types<Levenshtein, Damerau>;
TYPED_TEST_SUITE(KernelForms, Measures);

TYPED_TEST(KernelForms, RandomTextsOverSmallAlphabets) {
  std::mt19937_64 rng(2001);
  for (const std::u32string& alphabet : reference::alphabets()) {
    for (const std::size_t m : {1u, 2u, 3u, 7u, 31u, 63u, 64u, 65u, 66u, 127u, 128u, 129u, 300u, 520u}) {
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
// small and the carries between words and the band's edges matter.
TYPED_TEST(KernelForms, FewEditsAcrossWordBoundaries) {
  std::mt19937_64 rng(2002);
  const std::u32string alphabet = U"abcd\u00e9\u4e00";
  for (const std::size_t m : {62u, 63u, 64u, 65u, 66u, 127u, 128u, 129u, 191u, 192u, 193u, 450u}) {
    for (int round = 0; round < 40; ++round) {
      const std::string a = reference::random_text(rng, round % 2 ? alphabet : U"ab", m);
      check_all_forms<TypeParam>(a, edited(rng, a, alphabet, 1 + rng() % 6));
    }
  }
}

// A copy shifted by t (t code points cut at the front, t others appended),
// lightly edited: its optimal alignments run along the outer diagonals of
// the bands for bounds around the distance, at any band width.
TYPED_TEST(KernelForms, ShiftedCopiesAlongTheBandEdges) {
  std::mt19937_64 rng(2006);
  for (const std::size_t t : {70u, 260u, 600u}) {
    const std::string a = reference::random_text(rng, U"abcdefghijklmnopqrstuvwxyz", 1400);
    const std::string b = edited(rng, a.substr(t) + reference::random_text(rng, U"xyz", t), U"ab", 4);
    check_all_forms<TypeParam>(a, b);
    check_all_forms<TypeParam>(b, a);
  }
}

// Long pairs through the whole operation, both ways round, at every storage
// width and level, with cut-offs around the distance: near copies with few and with
// many edits (small alphabets make transpositions across word boundaries
// frequent), unrelated texts, and texts of very different lengths.
TYPED_TEST(KernelForms, LongPairsThroughTheOperation) {
  std::mt19937_64 rng(2004);
  for (int round = 0; round < 48; ++round) {
    const auto& alphabet = reference::alphabets()[static_cast<std::size_t>(round) % reference::alphabets().size()];
    const std::size_t len = 100 + rng() % 1901;
    const std::string a = reference::random_text(rng, alphabet, len);
    const std::string b = round % 4 == 0   ? edited(rng, a, alphabet, 1 + rng() % 6)
                          : round % 4 == 1 ? edited(rng, a, alphabet, len / (4 + rng() % 8))
                          : round % 4 == 2 ? reference::random_text(rng, alphabet, 1 + rng() % 2000)
                                           : edited(rng, reference::random_text(rng, alphabet, len) + a, alphabet, 3);
    const std::size_t d = TypeParam::reference(a, b);
    for (const unsigned wa : reference::widths_of(a)) {
      for (const unsigned wb : reference::widths_of(b)) {
        const reference::NativeText na(a, wa), nb(b, wb);
        for (const SimdLevel level : supported_levels()) {
          ASSERT_EQ(TypeParam::pair(na, nb, std::nullopt, std::nullopt, std::nullopt, level).value(), d)
              << to_string(level) << ": " << a << " / " << b;
          ASSERT_EQ(TypeParam::pair(nb, na, std::nullopt, std::nullopt, std::nullopt, level).value(), d)
              << to_string(level) << ": " << b << " / " << a;
          for (const std::size_t cutoff : {d / 2, d == 0 ? 0 : d - 1, d}) {
            ASSERT_EQ(TypeParam::pair(na, nb, std::nullopt, std::nullopt, cutoff, level).value(),
                      d > cutoff ? cutoff + 1 : d);
          }
        }
      }
    }
  }
}

// 10^5 code points and a copy with s substitutions and i insertions of code
// points found nowhere in the original, far apart: each of them needs an
// operation of its own, so the distance is exactly s + i.
TYPED_TEST(KernelForms, HundredThousandCodePointsWithKnownDistance) {
  std::mt19937_64 rng(2005);
  for (const auto& [subs, ins, fresh] : {std::tuple{7u, 0u, U'\u00e9'}, std::tuple{150u, 40u, U'\U0001F600'}}) {
    const std::u32string a = reference::code_points(reference::random_text(rng, U"abcdefghij", 100000));
    std::u32string b = a;
    for (std::size_t e = 0; e < subs + ins; ++e) {
      if (e < subs) {
        b[500 * (e + 1)] = fresh;
      } else {
        b.insert(500 * (e + 1), 1, fresh);
      }
    }
    const reference::NativeText na(a), nb(b);
    for (const SimdLevel level : supported_levels()) {
      EXPECT_EQ(TypeParam::pair(na, nb, std::nullopt, std::nullopt, std::nullopt, level).value(), subs + ins);
      EXPECT_EQ(TypeParam::pair(nb, na, std::nullopt, std::nullopt, std::nullopt, level).value(), subs + ins);
    }
  }
}

// One swap as the only edit, at and around word boundaries, through the full
// kernel and under the narrowest bands that hold it.
TEST(DamerauBlocks, TranspositionAtEveryWordBoundary) {
  for (const std::size_t m : {70u, 130u, 200u, 600u}) {
    std::string a;
    for (std::size_t i = 0; i < m; ++i) a += static_cast<char>('a' + i % 26);
    for (std::size_t at = 55; at + 1 < m && at < 140; ++at) {
      std::string b = a;
      std::swap(b[at], b[at + 1]);
      const reference::NativeText na(a), nb(b);
      const auto* pa = static_cast<const std::uint8_t*>(na.text().data());
      const auto* pb = static_cast<const std::uint8_t*>(nb.text().data());
      const BlockMaskTable table(pa, m);
      std::vector<bit_parallel::DamerauBlock> scratch(table.words());
      for (const SimdLevel level : supported_levels()) {
        EXPECT_EQ(bit_parallel::DamerauKernels::blocks(table, m, pb, m, level), 1u) << "m " << m << " swap at " << at;
        EXPECT_EQ(bit_parallel::LevenshteinKernels::blocks(table, m, pb, m, level), 2u);
        for (const std::size_t k : {1u, 2u, 3u}) {
          EXPECT_EQ(bit_parallel::DamerauKernels::band(table, m, pb, m, k, scratch.data(), level), 1u) << "band " << k;
        }
      }
      for (const std::size_t k : {1u, 2u, 3u}) {
        EXPECT_EQ(bit_parallel::DamerauKernels::diagonal_band(table, m, pb, m, k), 1u) << "diagonal " << k;
      }
    }
  }
}

}  // namespace
}  // namespace morvane
