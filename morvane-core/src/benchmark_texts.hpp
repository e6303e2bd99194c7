// Texts and counters shared by the kernel and match-table benchmarks.
#pragma once

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace benchmark_texts {

constexpr double kMinTime = 0.05;  // seconds per benchmark: the binary stays short

// Pools of code points as UTF-8. `mixed` holds one-, two- and three-byte
// characters, so the code-point kernels decode all widths and look up both
// the direct array (below 256) and the hash map (256 and above).
inline const std::vector<std::string_view> kAscii = {"a", "b", "c", "d", "e", "f", "g", "h", "i",
                                                     "j", "k", "l", "m", "n", "o", "p", "q", "r",
                                                     "s", "t", "u", "v", "w", "x", "y", "z"};
inline const std::vector<std::string_view> kMixed = {"a",      "e",      "n",      "s",      "\u00e9",
                                                     "\u00f6", "\u00df", "\u00f1", "\u03b1", "\u03b2",
                                                     "\u03b3", "\u65e5", "\u672c", "\u8a9e"};

// `count` code points drawn from `pool` with a fixed random state per stream.
inline std::string random_text(std::size_t count, const std::vector<std::string_view>& pool,
                               std::uint64_t stream) {
  std::mt19937_64 rng(1000003ULL * stream + count);  // fixed random state
  std::string out;
  for (std::size_t i = 0; i < count; ++i) out += pool[rng() % pool.size()];
  return out;
}

// A random text of `count` code points from `pool` and a near copy of it:
// each position substituted, deleted or followed by an insertion, each with
// probability permille / 3000.
inline std::pair<std::string, std::string> near_copies(std::size_t count, const std::vector<std::string_view>& pool,
                                                       unsigned permille, std::uint64_t stream) {
  std::mt19937_64 rng(1000003ULL * stream + count + 7 * permille);  // fixed random state
  std::pair<std::string, std::string> out;
  for (std::size_t i = 0; i < count; ++i) {
    const std::string_view c = pool[rng() % pool.size()];
    out.first += c;
    const std::uint64_t r = rng() % 3000;
    if (r < permille) {
      out.second += pool[rng() % pool.size()];  // substituted
    } else if (r >= 2 * permille) {             // else deleted
      out.second += c;
      if (r < 3 * permille) out.second += pool[rng() % pool.size()];  // and an insertion
    }
  }
  return out;
}

// items_per_second becomes characters per second, and time_per_char its
// inverse.
inline void set_rates(benchmark::State& state, std::size_t chars) {
  const auto total = static_cast<double>(state.iterations()) * static_cast<double>(chars);
  state.SetItemsProcessed(static_cast<std::int64_t>(total));
  state.counters["time_per_char"] =
      benchmark::Counter(total, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

}  // namespace benchmark_texts
