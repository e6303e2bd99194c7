// Both edit distances: the three kernel forms by pattern length, in text
// characters consumed per second, and the whole single-pair operation on
// typical pairs.
//
// Kernel benchmarks build the match table once, outside the timed loop, and
// time only the kernel call. Each runs twice: with a text as long as the
// pattern (a typical pair) and with a 1024-character text (steady state of
// the per-character step). items_per_second is text characters per second;
// time_per_char is its inverse.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "benchmark_texts.hpp"
#include "bit_parallel.hpp"
#include "morvane/damerau_bp.hpp"
#include "morvane/levenshtein_bp.hpp"
#include "morvane/mask_table.hpp"
#include "native_text.hpp"

namespace {

using namespace benchmark_texts;

using PairFn = morvane::Expected<std::size_t> (*)(morvane::Text, morvane::Text, std::optional<std::size_t>,
                                                  std::optional<bool>, std::optional<std::size_t>);

struct Levenshtein {
  using Kernels = morvane::bit_parallel::LevenshteinKernels;
  static constexpr PairFn pair = &morvane::levenshtein_bp;
};

struct Damerau {
  using Kernels = morvane::bit_parallel::DamerauKernels;
  static constexpr PairFn pair = &morvane::damerau_bp;
};

constexpr std::int64_t kLongText = 1024;

std::size_t text_length(const benchmark::State& state) {
  return static_cast<std::size_t>(state.range(1) == 0 ? state.range(0) : state.range(1));
}

// range(0): pattern length; range(1): text length, 0 meaning "as the pattern".
// The direct kernel runs over ASCII texts, the table kernel over texts of
// mixed widths stored four bytes per code point.
template <class Measure, bool kCodePoints>
void single_word(benchmark::State& state) {
  const auto m = static_cast<std::size_t>(state.range(0));
  const std::size_t n = text_length(state);
  const auto& pool = kCodePoints ? kMixed : kAscii;
  const reference::NativeText pattern(random_text(m, pool, 1), kCodePoints ? 4 : 1);
  const reference::NativeText text(random_text(n, pool, 2), kCodePoints ? 4 : 1);
  morvane::with_units(pattern, text, [&](const auto* p, std::size_t, const auto* t, std::size_t) {
    morvane::MaskTable table;
    table.assign(p, m);
    for (auto _ : state) {
      if constexpr (kCodePoints) {
        benchmark::DoNotOptimize(Measure::Kernels::table(table, m, t, n));
      } else {
        benchmark::DoNotOptimize(Measure::Kernels::direct(table.direct(), m, t, n));
      }
    }
  });
  set_rates(state, n);
}

template <class Measure>
void BM_Bytes(benchmark::State& state) {
  single_word<Measure, false>(state);
}

template <class Measure>
void BM_CodePoints(benchmark::State& state) {
  single_word<Measure, true>(state);
}

// range(2) != 0: mixed-width text instead of ASCII.
template <class Measure>
void BM_Blocks(benchmark::State& state) {
  const auto m = static_cast<std::size_t>(state.range(0));
  const std::size_t n = text_length(state);
  const auto& pool = state.range(2) != 0 ? kMixed : kAscii;
  const reference::NativeText pattern(random_text(m, pool, 1));
  const reference::NativeText text(random_text(n, pool, 2));
  morvane::with_units(pattern, text, [&](const auto* p, std::size_t, const auto* t, std::size_t) {
    const morvane::BlockMaskTable table(p, m);
    const morvane::SimdLevel level = morvane::simd_level();
    for (auto _ : state) benchmark::DoNotOptimize(Measure::Kernels::blocks(table, m, t, n, level));
  });
  set_rates(state, n);
}

void single_word_args(benchmark::internal::Benchmark* b) {
  for (const std::int64_t m : {8, 16, 32, 64}) {
    b->Args({m, 0});
    b->Args({m, kLongText});
  }
  b->ArgNames({"m", "n"})->MinTime(kMinTime);
}

void multi_word_args(benchmark::internal::Benchmark* b) {
  for (const std::int64_t m : {65, 128, 256, 1024}) {
    b->Args({m, 0, 0});
    b->Args({m, kLongText, 0});
  }
  b->Args({256, 0, 1});
  b->ArgNames({"m", "n", "mixed"})->MinTime(kMinTime);
}

BENCHMARK_TEMPLATE(BM_Bytes, Levenshtein)->Apply(single_word_args);
BENCHMARK_TEMPLATE(BM_Bytes, Damerau)->Apply(single_word_args);
BENCHMARK_TEMPLATE(BM_CodePoints, Levenshtein)->Apply(single_word_args);
BENCHMARK_TEMPLATE(BM_CodePoints, Damerau)->Apply(single_word_args);
BENCHMARK_TEMPLATE(BM_Blocks, Levenshtein)->Apply(multi_word_args);
BENCHMARK_TEMPLATE(BM_Blocks, Damerau)->Apply(multi_word_args);

// The whole operation: preparation, table, kernel, result.
template <class Measure>
void run_pair(benchmark::State& state, std::string_view a, std::string_view b, std::optional<bool> fold) {
  const reference::NativeText na(a), nb(b);
  for (auto _ : state) benchmark::DoNotOptimize(Measure::pair(na, nb, std::nullopt, fold, std::nullopt));
  state.SetItemsProcessed(state.iterations());
}

template <class Measure>
void BM_PairKitten(benchmark::State& state) {
  run_pair<Measure>(state, "kitten", "sitting", std::nullopt);
}
template <class Measure>
void BM_PairKittenFolded(benchmark::State& state) {
  run_pair<Measure>(state, "Kitten", "SITTING", true);
}
template <class Measure>
void BM_PairShortNonAscii(benchmark::State& state) {
  run_pair<Measure>(state, "\u00e9l\u00e8ve", "\u00e9lev\u00e9", std::nullopt);
}
// range(0) code points per text, range(1) != 0 for the mixed pool.
template <class Measure>
void BM_PairLong(benchmark::State& state) {
  const auto len = static_cast<std::size_t>(state.range(0));
  const auto& pool = state.range(1) != 0 ? kMixed : kAscii;
  const std::string a = random_text(len, pool, 3);
  const std::string b = random_text(len, pool, 4);
  run_pair<Measure>(state, a, b, std::nullopt);
}

void long_pair_args(benchmark::internal::Benchmark* b) {
  b->Args({100, 0})->Args({500, 0})->Args({100, 1})->ArgNames({"len", "mixed"})->MinTime(kMinTime);
}

// A text and a near copy of it: range(0) code points, range(1) != 0 for the
// mixed pool, range(2) edits per thousand positions.
template <class Measure>
void BM_PairNearCopy(benchmark::State& state) {
  const auto len = static_cast<std::size_t>(state.range(0));
  const auto& pool = state.range(1) != 0 ? kMixed : kAscii;
  const auto [a, b] = near_copies(len, pool, static_cast<unsigned>(state.range(2)), 5);
  run_pair<Measure>(state, a, b, std::nullopt);
}

void near_copy_args(benchmark::internal::Benchmark* b) {
  for (const std::int64_t mixed : {0, 1}) {
    for (const std::int64_t len : {100, 500, 10000}) b->Args({len, mixed, 150});
    for (const std::int64_t len : {500, 10000, 100000}) b->Args({len, mixed, 20});
  }
  b->ArgNames({"len", "mixed", "permille"})->MinTime(kMinTime);
}

BENCHMARK_TEMPLATE(BM_PairKitten, Levenshtein)->MinTime(kMinTime);
BENCHMARK_TEMPLATE(BM_PairKitten, Damerau)->MinTime(kMinTime);
BENCHMARK_TEMPLATE(BM_PairKittenFolded, Levenshtein)->MinTime(kMinTime);
BENCHMARK_TEMPLATE(BM_PairKittenFolded, Damerau)->MinTime(kMinTime);
BENCHMARK_TEMPLATE(BM_PairShortNonAscii, Levenshtein)->MinTime(kMinTime);
BENCHMARK_TEMPLATE(BM_PairShortNonAscii, Damerau)->MinTime(kMinTime);
BENCHMARK_TEMPLATE(BM_PairLong, Levenshtein)->Apply(long_pair_args);
BENCHMARK_TEMPLATE(BM_PairLong, Damerau)->Apply(long_pair_args);
BENCHMARK_TEMPLATE(BM_PairNearCopy, Levenshtein)->Apply(near_copy_args);
BENCHMARK_TEMPLATE(BM_PairNearCopy, Damerau)->Apply(near_copy_args);

}  // namespace
