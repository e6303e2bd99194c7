// Both edit-distance batches: one query against many short words, in
// candidates per second (items_per_second) with the candidate characters per
// second alongside (chars_per_second).
//
// Cases, by the path each candidate takes:
//   ascii     short ASCII query, ASCII words: the byte kernel over the shared
//             query masks, nothing allocated per candidate;
//   folded    the same with case_insensitive=true (still the byte kernel:
//             the masks hold both cases);
//   mixed     short ASCII query, words of which about a third hold a
//             non-ASCII letter: those go through the single-pair operation;
//   long      a 100-character ASCII query: every candidate goes through the
//             single-pair operation and the multi-word kernel.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "morvane/damerau_batch.hpp"
#include "morvane/levenshtein_batch.hpp"
#include "native_text.hpp"

namespace {

constexpr double kMinTime = 0.1;
constexpr std::size_t kWords = 100000;

enum Case { kAsciiCase = 0, kFoldedCase = 1, kMixedCase = 2, kLongCase = 3 };

// kWords words of 3 to 12 letters with a fixed random state. With
// `non_ascii`, every third word has one letter replaced by an accented,
// Greek or CJK one.
struct Words {
  std::vector<std::string> owned;
  std::vector<std::string_view> views;
  std::size_t chars = 0;

  explicit Words(bool non_ascii) : owned(kWords) {
    static const char* const kOthers[] = {"\u00e9", "\u00f6", "\u00df", "\u03b1", "\u03c9", "\u65e5"};
    std::mt19937_64 rng(20240611);  // fixed random state
    for (std::size_t i = 0; i < kWords; ++i) {
      std::string& w = owned[i];
      const std::size_t len = 3 + rng() % 10;
      const std::size_t swap_at = non_ascii && i % 3 == 0 ? rng() % len : len;
      for (std::size_t k = 0; k < len; ++k) {
        if (k == swap_at) {
          w += kOthers[rng() % 6];
        } else {
          w += static_cast<char>('a' + rng() % 26);
        }
      }
      chars += len;
    }
    views.assign(owned.begin(), owned.end());
  }
};

const Words& ascii_words() {
  static const Words words(false);
  return words;
}

const Words& mixed_words() {
  static const Words words(true);
  return words;
}

std::string long_query() {
  std::mt19937_64 rng(100);  // fixed random state
  std::string q;
  for (int i = 0; i < 100; ++i) q += static_cast<char>('a' + rng() % 26);
  return q;
}

template <class Batch>
void run_batch(benchmark::State& state, Batch batch, Case which) {
  const Words& words = which == kMixedCase ? mixed_words() : ascii_words();
  const std::string query = which == kLongCase ? long_query() : std::string("kitten");
  const std::optional<bool> fold = which == kFoldedCase ? std::optional<bool>(true) : std::nullopt;
  static const reference::NativeTexts ascii(ascii_words().views), mixed(mixed_words().views);
  const std::span<const morvane::Text> candidates((which == kMixedCase ? mixed : ascii).views);
  const reference::NativeText q(query);
  for (auto _ : state) benchmark::DoNotOptimize(batch(q, candidates, fold));
  const auto iterations = static_cast<double>(state.iterations());
  state.SetItemsProcessed(static_cast<std::int64_t>(iterations * static_cast<double>(kWords)));
  state.counters["chars_per_second"] =
      benchmark::Counter(iterations * static_cast<double>(words.chars), benchmark::Counter::kIsRate);
}

void BM_LevenshteinBatch(benchmark::State& state, Case which) {
  run_batch(state, morvane::levenshtein_batch, which);
}
void BM_DamerauBatch(benchmark::State& state, Case which) { run_batch(state, morvane::damerau_batch, which); }

BENCHMARK_CAPTURE(BM_LevenshteinBatch, ascii, kAsciiCase)->MinTime(kMinTime)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LevenshteinBatch, folded, kFoldedCase)->MinTime(kMinTime)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LevenshteinBatch, mixed, kMixedCase)->MinTime(kMinTime)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LevenshteinBatch, long, kLongCase)->MinTime(kMinTime)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DamerauBatch, ascii, kAsciiCase)->MinTime(kMinTime)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DamerauBatch, folded, kFoldedCase)->MinTime(kMinTime)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DamerauBatch, mixed, kMixedCase)->MinTime(kMinTime)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DamerauBatch, long, kLongCase)->MinTime(kMinTime)->Unit(benchmark::kMillisecond);

}  // namespace
