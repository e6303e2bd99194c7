#include <benchmark/benchmark.h>

#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "morvane/jaro_winkler.hpp"
#include "morvane/jaro_winkler_batch.hpp"
#include "morvane/text.hpp"
#include "native_text.hpp"

namespace {

namespace detail = morvane::jaro_winkler_detail;

// A word of `len` code points drawn from `pool`, and a near copy of it with
// a quarter of its positions redrawn, so that both matches and misses occur.
std::pair<std::string, std::string> word_pair(std::size_t len,
                                              const std::vector<std::string>& pool) {
  std::mt19937_64 rng(len * 7919 + pool.size());  // fixed random state
  std::vector<std::size_t> a(len);
  for (auto& k : a) k = rng() % pool.size();
  std::vector<std::size_t> b = a;
  for (std::size_t n = 0; n < len / 4 + 1; ++n) b[rng() % len] = rng() % pool.size();
  std::string sa, sb;
  for (const std::size_t k : a) sa += pool[k];
  for (const std::size_t k : b) sb += pool[k];
  return {sa, sb};
}

const std::vector<std::string>& letters() {
  static const std::vector<std::string> pool = [] {
    std::vector<std::string> v;
    for (char c = 'a'; c <= 'z'; ++c) v.emplace_back(1, c);
    return v;
  }();
  return pool;
}

const std::vector<std::string>& accented() {
  static const std::vector<std::string> pool = {"a", "e", "é", "è", "ß", "o", "ö", "n", "ñ", "z"};
  return pool;
}

// Two unrelated words of `len` letters: fewer matches, and whether a
// position matches is hard to predict.
std::pair<std::string, std::string> unrelated_pair(std::size_t len) {
  std::mt19937_64 rng(len * 104729 + 1);  // fixed random state
  std::string sa(len, 'a'), sb(len, 'a');
  for (auto& c : sa) c = static_cast<char>('a' + rng() % 26);
  for (auto& c : sb) c = static_cast<char>('a' + rng() % 26);
  return {sa, sb};
}

// range(0): the length; range(1): 0 for a near copy, 1 for unrelated words.
std::pair<std::string, std::string> ascii_pair(const benchmark::State& state) {
  const auto len = static_cast<std::size_t>(state.range(0));
  return state.range(1) == 0 ? word_pair(len, letters()) : unrelated_pair(len);
}

void BM_BitParallelScan(benchmark::State& state) {
  const auto [a, b] = ascii_pair(state);
  const reference::NativeText na(a), nb(b);
  for (auto _ : state) benchmark::DoNotOptimize(detail::bit_parallel_scan(na, nb, 0.1));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BitParallelScan)->ArgsProduct({{4, 8, 16, 17, 32, 64}, {0, 1}});

void BM_GeneralScanAscii(benchmark::State& state) {
  const auto [a, b] = word_pair(static_cast<std::size_t>(state.range(0)), letters());
  const reference::NativeText na(a), nb(b);
  for (auto _ : state) benchmark::DoNotOptimize(detail::general_scan(na, nb, 0.1));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_GeneralScanAscii)->Arg(8)->Arg(16)->Arg(24)->Arg(32)->Arg(48)->Arg(64)->Arg(65)->Arg(256)->Arg(500)->Arg(2000);

// The whole operation, preparation included, by strategy the lengths select.
void BM_SimilarityAscii(benchmark::State& state) {
  const auto [a, b] = word_pair(static_cast<std::size_t>(state.range(0)), letters());
  const reference::NativeText na(a), nb(b);
  for (auto _ : state) {
    benchmark::DoNotOptimize(morvane::jaro_winkler_similarity(na, nb, std::nullopt, std::nullopt,
                                                              std::nullopt, std::nullopt));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SimilarityAscii)
    ->Arg(8)
    ->Arg(16)
    ->Arg(17)
    ->Arg(64)
    ->Arg(65)
    ->Arg(100)
    ->Arg(256)
    ->Arg(500)
    ->Arg(2000);

void BM_SimilarityNonAscii(benchmark::State& state) {
  const auto [a, b] = word_pair(static_cast<std::size_t>(state.range(0)), accented());
  const reference::NativeText na(a), nb(b);
  for (auto _ : state) {
    benchmark::DoNotOptimize(morvane::jaro_winkler_similarity(na, nb, std::nullopt, std::nullopt,
                                                              std::nullopt, std::nullopt));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SimilarityNonAscii)->Arg(8)->Arg(16)->Arg(24)->Arg(32)->Arg(48)->Arg(64)->Arg(100)->Arg(256)->Arg(500)->Arg(2000);

// Code points from a wide range (CJK and astral), so that the general scan
// numbers many distinct code points.
void BM_SimilarityManyCodePoints(benchmark::State& state) {
  static const std::vector<std::string> pool = [] {
    std::vector<std::string> v;
    for (char32_t c = 0x4E00; c < 0x4E00 + 200; ++c) {
      v.push_back({static_cast<char>(0xE0 | (c >> 12)), static_cast<char>(0x80 | ((c >> 6) & 0x3F)),
                   static_cast<char>(0x80 | (c & 0x3F))});
    }
    for (char32_t c = 0x1F600; c < 0x1F600 + 50; ++c) {
      v.push_back({static_cast<char>(0xF0 | (c >> 18)), static_cast<char>(0x80 | ((c >> 12) & 0x3F)),
                   static_cast<char>(0x80 | ((c >> 6) & 0x3F)), static_cast<char>(0x80 | (c & 0x3F))});
    }
    return v;
  }();
  const auto [a, b] = word_pair(static_cast<std::size_t>(state.range(0)), pool);
  const reference::NativeText na(a), nb(b);
  for (auto _ : state) {
    benchmark::DoNotOptimize(morvane::jaro_winkler_similarity(na, nb, std::nullopt, std::nullopt,
                                                              std::nullopt, std::nullopt));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SimilarityManyCodePoints)->Arg(100)->Arg(500);

// A short ASCII query against many short words; range(0) != 0 folds case.
void BM_BatchShortWords(benchmark::State& state) {
  std::mt19937_64 rng(42);  // fixed random state
  std::vector<std::string> owned(10000);
  for (auto& w : owned) {
    const std::size_t len = 3 + rng() % 8;
    for (std::size_t i = 0; i < len; ++i) w += static_cast<char>((rng() % 2 ? 'a' : 'A') + rng() % 26);
  }
  const reference::NativeTexts candidates(owned);
  const reference::NativeText query("Martha");
  const bool fold = state.range(0) != 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(morvane::jaro_winkler_batch(query, candidates.views, std::nullopt, fold));
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(owned.size()));
}
BENCHMARK(BM_BatchShortWords)->Arg(0)->Arg(1);

// Batches that the fast path cannot take, so every candidate goes through the
// single-pair operation: range(0) == 0 is a 100-byte ASCII query against
// 100-byte near copies, range(0) == 1 a short query against non-ASCII words,
// range(0) == 2 and 3 a 100-code-point query against 1000 distinct unrelated
// texts, ASCII and Cyrillic, where whether a position matches is hard to
// predict.
void BM_BatchFallback(benchmark::State& state) {
  static const std::vector<std::string> cyrillic = [] {
    std::vector<std::string> v;
    for (char32_t c = 0x430; c < 0x450; ++c) {
      v.push_back({static_cast<char>(0xC0 | (c >> 6)), static_cast<char>(0x80 | (c & 0x3F))});
    }
    return v;
  }();
  const auto kind = state.range(0);
  std::mt19937_64 rng(7);  // fixed random state
  const auto unrelated = [&](std::size_t len, const std::vector<std::string>& pool) {
    std::string s;
    for (std::size_t i = 0; i < len; ++i) s += pool[rng() % pool.size()];
    return s;
  };
  std::vector<std::string> owned(1000);
  std::string query;
  for (std::size_t k = 0; k < owned.size(); ++k) {
    switch (kind) {
      case 0: owned[k] = word_pair(100 + k % 7, letters()).second; break;
      case 1: owned[k] = word_pair(6 + k % 7, accented()).second; break;
      case 2: owned[k] = unrelated(95 + rng() % 11, letters()); break;
      default: owned[k] = unrelated(95 + rng() % 11, cyrillic); break;
    }
  }
  switch (kind) {
    case 0: query = word_pair(100, letters()).first; break;
    case 1: query = "Martha"; break;
    case 2: query = unrelated(100, letters()); break;
    default: query = unrelated(100, cyrillic); break;
  }
  const reference::NativeTexts candidates(owned);
  const reference::NativeText q(query);
  for (auto _ : state) {
    benchmark::DoNotOptimize(morvane::jaro_winkler_batch(q, candidates.views, std::nullopt, false));
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(owned.size()));
}
BENCHMARK(BM_BatchFallback)->DenseRange(0, 3);

}  // namespace
