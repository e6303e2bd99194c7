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

#include "bit_parallel.hpp"
#include "morvane/damerau_bp.hpp"
#include "morvane/levenshtein_bp.hpp"
#include "morvane/mask_table.hpp"

namespace {

struct Levenshtein {
  using Kernels = morvane::bit_parallel::LevenshteinKernels;
  static constexpr auto pair = &morvane::levenshtein_bp;
};

struct Damerau {
  using Kernels = morvane::bit_parallel::DamerauKernels;
  static constexpr auto pair = &morvane::damerau_bp;
};

constexpr double kMinTime = 0.05;  // seconds per benchmark: the binary stays short
constexpr std::int64_t kLongText = 1024;

// Pools of code points as UTF-8. `mixed` holds one-, two- and three-byte
// characters, so the code-point kernels decode all widths and look up both
// the direct array (below 256) and the hash map (256 and above).
const std::vector<std::string_view> kAscii = {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "l", "m",
                                              "n", "o", "p", "q", "r", "s", "t", "u", "v", "w", "x", "y", "z"};
const std::vector<std::string_view> kMixed = {"a", "e", "n", "s", "\u00e9", "\u00f6", "\u00df", "\u00f1",
                                              "\u03b1", "\u03b2", "\u03b3", "\u65e5", "\u672c", "\u8a9e"};

// `count` code points drawn from `pool` with a fixed random state per stream.
std::string random_text(std::size_t count, const std::vector<std::string_view>& pool, std::uint64_t stream) {
  std::mt19937_64 rng(1000003ULL * stream + count);  // fixed random state
  std::string out;
  for (std::size_t i = 0; i < count; ++i) out += pool[rng() % pool.size()];
  return out;
}

std::size_t text_length(const benchmark::State& state) {
  return static_cast<std::size_t>(state.range(1) == 0 ? state.range(0) : state.range(1));
}

void set_rates(benchmark::State& state, std::size_t chars) {
  const auto total = static_cast<double>(state.iterations()) * static_cast<double>(chars);
  state.SetItemsProcessed(static_cast<std::int64_t>(total));
  state.counters["time_per_char"] =
      benchmark::Counter(total, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// range(0): pattern length; range(1): text length, 0 meaning "as the pattern".
template <class Measure>
void BM_Bytes(benchmark::State& state) {
  const auto m = static_cast<std::size_t>(state.range(0));
  const std::size_t n = text_length(state);
  const std::string pattern = random_text(m, kAscii, 1);
  const std::string text = random_text(n, kAscii, 2);
  morvane::MaskTable table;
  table.assign_bytes(pattern);
  const std::uint64_t last = morvane::bit_parallel::last_bit_of(m);
  for (auto _ : state) {
    benchmark::DoNotOptimize(Measure::Kernels::bytes(table.direct(), last, m, text));
  }
  set_rates(state, n);
}

template <class Measure>
void BM_CodePoints(benchmark::State& state) {
  const auto m = static_cast<std::size_t>(state.range(0));
  const std::size_t n = text_length(state);
  const std::string pattern = random_text(m, kMixed, 1);
  const std::string text = random_text(n, kMixed, 2);
  morvane::MaskTable table;
  table.assign_code_points(pattern);
  const std::uint64_t last = morvane::bit_parallel::last_bit_of(m);
  for (auto _ : state) {
    benchmark::DoNotOptimize(Measure::Kernels::code_points(table, last, m, text));
  }
  set_rates(state, n);
}

// range(2) != 0: mixed-width text instead of ASCII.
template <class Measure>
void BM_Blocks(benchmark::State& state) {
  const auto m = static_cast<std::size_t>(state.range(0));
  const std::size_t n = text_length(state);
  const auto& pool = state.range(2) != 0 ? kMixed : kAscii;
  const std::string pattern = random_text(m, pool, 1);
  const std::string text = random_text(n, pool, 2);
  const morvane::BlockMaskTable table(pattern, m);
  for (auto _ : state) benchmark::DoNotOptimize(Measure::Kernels::blocks(table, m, text));
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
  for (auto _ : state) benchmark::DoNotOptimize(Measure::pair(a, b, std::nullopt, fold, std::nullopt));
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

BENCHMARK_TEMPLATE(BM_PairKitten, Levenshtein)->MinTime(kMinTime);
BENCHMARK_TEMPLATE(BM_PairKitten, Damerau)->MinTime(kMinTime);
BENCHMARK_TEMPLATE(BM_PairKittenFolded, Levenshtein)->MinTime(kMinTime);
BENCHMARK_TEMPLATE(BM_PairKittenFolded, Damerau)->MinTime(kMinTime);
BENCHMARK_TEMPLATE(BM_PairShortNonAscii, Levenshtein)->MinTime(kMinTime);
BENCHMARK_TEMPLATE(BM_PairShortNonAscii, Damerau)->MinTime(kMinTime);
BENCHMARK_TEMPLATE(BM_PairLong, Levenshtein)->Apply(long_pair_args);
BENCHMARK_TEMPLATE(BM_PairLong, Damerau)->Apply(long_pair_args);

}  // namespace
