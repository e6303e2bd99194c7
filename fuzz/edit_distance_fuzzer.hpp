// The body of the two edit-distance fuzzers: one pair and its options from
// the input, every kernel form and the whole operation at every storage width
// of both texts, against the plain dynamic programme.
//
// Input: an options byte (bits 0-1 folding, bits 2-3 and 4-5 the stored
// widths of the texts of a long pair, fuzz_input.hpp), a max_len
// selector, a cut-off (16 bits, used when its top bit is clear), then the
// alphabet, the first text and the second (fuzz_input.hpp).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "bit_parallel.hpp"
#include "edit_distance_frame.hpp"
#include "fuzz_input.hpp"
#include "morvane/mask_table.hpp"
#include "morvane/simd.hpp"
#include "morvane/text.hpp"

namespace fuzz {

// A pair function at a given level.
using PairFn = morvane::Expected<std::size_t> (*)(morvane::Text, morvane::Text, std::optional<std::size_t>,
                                                  std::optional<bool>, std::optional<std::size_t>, morvane::SimdLevel);

// The levels to run a pair of texts of m and n code points at: the level
// only decides how a pattern of wave::kLanes words or more is stepped, so
// shorter pairs run at the process's level alone.
inline std::span<const morvane::SimdLevel> levels_for(std::size_t m, std::size_t n) {
  static const morvane::SimdLevel chosen = morvane::simd_level();
  const bool long_pair = std::max(m, n) > 64 * (morvane::bit_parallel::wave::kLanes - 1);
  return long_pair ? morvane::supported_levels() : std::span<const morvane::SimdLevel>(&chosen, 1);
}

// Texts of up to this many code points: past 448 a pattern spans eight words
// and takes the wavefront; past 512 so may a band. The definition's cost,
// quadratic, is what bounds it.
inline constexpr std::size_t kMaxPairText = 1000;

// Every kernel form that takes the pattern `a`, over prepared texts of
// distance `d`, and the frame's own steps around them, at the levels of
// levels_for().
template <class Kernels, class P, class T>
void check_forms(const char* measure, const P* a, std::size_t m, const T* b, std::size_t n, std::size_t d,
                 std::size_t extra_bound, const std::string& detail) {
  const auto expect = [&](const char* form, std::size_t bound, std::size_t got) {
    // Exact within the bound, above it beyond; the bands' results beyond
    // their bound are still upper bounds of the distance.
    const std::string_view name(form);
    const bool band = name == "band" || name == "diagonal_band";
    const bool ok = d <= bound ? got == d : got > bound && (!band || got >= d);
    if (!ok) {
      fail(std::string(measure) + " " + form,
           detail + "\nbound " + (bound == SIZE_MAX ? std::string("none") : std::to_string(bound)) + " want " +
               std::to_string(d) + " got " + std::to_string(got) + " (pattern width " + std::to_string(sizeof(P)) +
               ", text width " + std::to_string(sizeof(T)) + ")");
    }
  };
  const std::size_t diff = m > n ? m - n : n - m;
  // The narrowest band, bands just below and at the distance, and the
  // input's own; short pairs, which cost little, more around the distance.
  std::vector<std::size_t> bounds = {diff, d, extra_bound};
  if (d > 0) bounds.push_back(d - 1);
  if (m + n <= kEveryWidthUpTo) bounds.insert(bounds.end(), {diff + 1, d / 2, d + 1, d + 2});
  for (const morvane::SimdLevel level : levels_for(m, n)) {
    expect("pair_distance", SIZE_MAX, morvane::pair_distance<Kernels>(a, m, b, n, SIZE_MAX, level));
    expect("pair_distance", d, morvane::pair_distance<Kernels>(a, m, b, n, d, level));
    if (d > 0) expect("pair_distance", d - 1, morvane::pair_distance<Kernels>(a, m, b, n, d - 1, level));
    if (m == 0 || n == 0) return;
    const morvane::BlockMaskTable block(a, m);
    expect("blocks", SIZE_MAX, Kernels::blocks(block, m, b, n, level));
    std::vector<typename Kernels::BlockState> scratch(block.words());
    for (const std::size_t k : bounds) {
      if (k >= diff) expect("band", k, Kernels::band(block, m, b, n, k, scratch.data(), level));
    }
    if (m >= 65) {
      using morvane::frame_detail::multi_word_distance;
      expect("multi_word_distance", SIZE_MAX, multi_word_distance<Kernels>(a, m, b, n, SIZE_MAX, level));
      expect("multi_word_distance", d, multi_word_distance<Kernels>(a, m, b, n, d, level));
      if (d > 0) expect("multi_word_distance", d - 1, multi_word_distance<Kernels>(a, m, b, n, d - 1, level));
    }
  }
  const morvane::BlockMaskTable block(a, m);
  for (const std::size_t k : bounds) {
    if (k >= diff && k <= morvane::frame_detail::kDiagonalBand) {
      expect("diagonal_band", k, Kernels::diagonal_band(block, m, b, n, k));
    }
  }
  if (m >= 65) return;
  morvane::MaskTable table;
  table.assign(a, m);
  expect("table", SIZE_MAX, Kernels::table(table, m, b, n));
  bool below_256 = true;
  for (std::size_t j = 0; j < n; ++j) below_256 = below_256 && b[j] < 256;
  if (below_256) expect("direct", SIZE_MAX, Kernels::direct(table.direct(), m, b, n));
  table.assign_pair(a, m, b, n);
  expect("pair table", SIZE_MAX, Kernels::table(table, m, b, n));
}

// Measure: Kernels, name, pair(Text, Text, max_len, fold, cutoff, level) and
// reference(u32string, u32string).
template <class Measure>
int check_edit_distance(const std::uint8_t* data, std::size_t size) {
  Reader r(data, size);
  const std::uint8_t options = r.byte();
  const std::uint8_t limit_selector = r.byte();
  const std::uint16_t cutoff_bits = r.u16();
  const std::u32string alphabet = decode_alphabet(r);
  const std::size_t cap = long_texts(options, static_cast<std::uint8_t>(limit_selector << 3)) ? kMaxPairText : kShortText;
  const std::u32string a = decode_text(r, alphabet, cap);
  const std::u32string b = decode_related(r, a, alphabet, cap);

  const std::optional<bool> fold = fold_option(options);
  const bool folding = fold.value_or(false);
  const std::u32string A = folding ? lower(a) : a;
  const std::u32string B = folding ? lower(b) : b;
  if (folding) {
    check_lowering(a, A);
    check_lowering(b, B);
  }
  const std::size_t d = Measure::reference(A, B);
  const std::string detail = pair_detail(a, b) + (folding ? "\nfolded" : "");
  const std::optional<std::size_t> decoded_cutoff =
      cutoff_bits & 0x8000 ? std::nullopt : std::optional<std::size_t>(cutoff_bits);

  const bool all = a.size() + b.size() <= kEveryWidthUpTo;
  for (const reference::NativeText& ta : widths_to_run(A, all, options >> 2 & 3)) {
    for (const reference::NativeText& tb : widths_to_run(B, all, options >> 4 & 3)) {
      morvane::with_units(ta, tb, [&](const auto* pa, std::size_t m, const auto* pb, std::size_t n) {
        check_forms<typename Measure::Kernels>(Measure::name, pa, m, pb, n, d, cutoff_bits, detail);
        check_forms<typename Measure::Kernels>(Measure::name, pb, n, pa, m, d, cutoff_bits, detail);
      });
    }
  }

  const std::optional<std::size_t> max_len = max_len_option(limit_selector, A.size(), B.size());
  const std::optional<morvane::InputTooLong> too_long = limit_error(A.size(), B.size(), max_len);
  std::vector<std::optional<std::size_t>> cutoffs = {std::nullopt, decoded_cutoff, d, d + 1};
  if (d > 0) cutoffs.push_back(d - 1);
  for (const reference::NativeText& ta : widths_to_run(a, all, options >> 2 & 3)) {
    for (const reference::NativeText& tb : widths_to_run(b, all, options >> 4 & 3)) {
      for (const std::optional<std::size_t> k : cutoffs) {
        for (const morvane::SimdLevel level : levels_for(A.size(), B.size())) {
          const morvane::Expected<std::size_t> got = Measure::pair(ta, tb, max_len, fold, k, level);
          const auto call = [&] {
            return detail + "\nwidths " + std::to_string(ta.width()) + ", " + std::to_string(tb.width()) +
                   " max_len " + (max_len ? std::to_string(*max_len) : "none") + " cutoff " +
                   (k ? std::to_string(*k) : "none") + " level " + std::string(morvane::to_string(level));
          };
          if (too_long) {
            if (got || !same_limit_error(got.error(), *too_long)) {
              fail(std::string(Measure::name) + " length limit",
                   call() + "\nwant InputTooLong { which: " + too_long->which + ", len: " +
                       std::to_string(too_long->len) + " } got " +
                       (got ? std::to_string(*got) : got.error().to_string()));
            }
            continue;
          }
          const std::size_t want = k && d > *k ? *k + 1 : d;
          if (!got || *got != want) {
            fail(std::string(Measure::name) + " pair function",
                 call() + "\nwant " + std::to_string(want) + " got " +
                     (got ? std::to_string(*got) : got.error().to_string()));
          }
        }
      }
    }
  }
  return 0;
}

}  // namespace fuzz
