// Building the match tables of the edit distances, in pattern characters per
// second.
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

#include "morvane/mask_table.hpp"

namespace {


constexpr double kMinTime = 0.05;  // seconds per benchmark: the binary stays short

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


void set_rates(benchmark::State& state, std::size_t chars) {
  const auto total = static_cast<double>(state.iterations()) * static_cast<double>(chars);
  state.SetItemsProcessed(static_cast<std::int64_t>(total));
  state.counters["time_per_char"] =
      benchmark::Counter(total, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// range(1) != 0: mixed-width pattern.
void BM_MaskTableCodePoints(benchmark::State& state) {
  const auto m = static_cast<std::size_t>(state.range(0));
  const std::string pattern = random_text(m, state.range(1) != 0 ? kMixed : kAscii, 1);
  morvane::MaskTable table;
  for (auto _ : state) {
    table.assign_code_points(pattern);
    benchmark::DoNotOptimize(table.direct());
    benchmark::ClobberMemory();
  }
  set_rates(state, m);
}
BENCHMARK(BM_MaskTableCodePoints)->Args({8, 0})->Args({8, 1})->Args({64, 1})->ArgNames({"m", "mixed"})->MinTime(kMinTime);

void BM_BlockMaskTable(benchmark::State& state) {
  const auto m = static_cast<std::size_t>(state.range(0));
  const std::string pattern = random_text(m, state.range(1) != 0 ? kMixed : kAscii, 1);
  for (auto _ : state) {
    const morvane::BlockMaskTable table(pattern, m);
    benchmark::DoNotOptimize(table.row('a'));
  }
  set_rates(state, m);
}
BENCHMARK(BM_BlockMaskTable)
    ->Args({65, 0})
    ->Args({100, 0})
    ->Args({256, 0})
    ->Args({1024, 0})
    ->Args({100, 1})
    ->ArgNames({"m", "mixed"})
    ->MinTime(kMinTime);

}  // namespace
