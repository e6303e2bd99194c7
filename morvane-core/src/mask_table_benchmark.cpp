// Building the match tables of the edit distances, in pattern characters per
// second (items_per_second; time_per_char is its inverse).
#include <benchmark/benchmark.h>

#include <cstddef>
#include <string>

#include "benchmark_texts.hpp"
#include "morvane/mask_table.hpp"
#include "native_text.hpp"

namespace {

using namespace benchmark_texts;

// range(1) != 0: mixed-width pattern.
void BM_MaskTableCodePoints(benchmark::State& state) {
  const auto m = static_cast<std::size_t>(state.range(0));
  const reference::NativeText pattern(random_text(m, state.range(1) != 0 ? kMixed : kAscii, 1));
  morvane::MaskTable table;
  morvane::with_units(pattern, [&](const auto* p, std::size_t) {
    for (auto _ : state) {
      table.assign(p, m);
      benchmark::DoNotOptimize(table.direct());
      benchmark::ClobberMemory();
    }
  });
  set_rates(state, m);
}
BENCHMARK(BM_MaskTableCodePoints)->Args({8, 0})->Args({8, 1})->Args({64, 1})->ArgNames({"m", "mixed"})->MinTime(kMinTime);

void BM_BlockMaskTable(benchmark::State& state) {
  const auto m = static_cast<std::size_t>(state.range(0));
  const reference::NativeText pattern(random_text(m, state.range(1) != 0 ? kMixed : kAscii, 1));
  morvane::with_units(pattern, [&](const auto* p, std::size_t) {
    for (auto _ : state) {
      const morvane::BlockMaskTable table(p, m);
      benchmark::DoNotOptimize(table.row('a'));
    }
  });
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
