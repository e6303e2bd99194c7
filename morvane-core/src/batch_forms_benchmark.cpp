// Every kernel form this processor runs, and every level of the three batch
// operations, on the same candidates: candidates per second
// (items_per_second), code points per second alongside (chars_per_second).
//
// Candidates: 100,000 words of 3 to 12 letters, ASCII or with every third
// word holding an accented, Greek or CJK letter; queries of 6, 12, 24 and 48
// code points. The forms are timed on their own, fed groups of as many
// candidates as they have lanes; the operations include everything a batch
// does (preparing the query, choosing the form, the scalar form for what the
// lanes do not take).
#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "batch_forms.hpp"
#include "morvane/damerau_batch.hpp"
#include "morvane/jaro_winkler_batch.hpp"
#include "morvane/levenshtein_batch.hpp"
#include "native_text.hpp"

namespace {

using namespace morvane;
using namespace morvane::batch;

constexpr double kMinTime = 0.1;
constexpr std::size_t kWords = 100000;

struct Words {
  std::vector<std::u32string> points;
  std::vector<reference::NativeText> stored;
  std::vector<Text> views;
  std::size_t chars = 0;

  explicit Words(bool non_ascii) {
    static const char32_t kOthers[] = {0xE9, 0xF6, 0xDF, 0x3B1, 0x3C9, 0x65E5};
    std::mt19937_64 rng(20240611);  // fixed random state
    for (std::size_t i = 0; i < kWords; ++i) {
      std::u32string w;
      const std::size_t len = 3 + rng() % 10;
      const std::size_t other_at = non_ascii && i % 3 == 0 ? rng() % len : len;
      for (std::size_t k = 0; k < len; ++k) w += k == other_at ? kOthers[rng() % 6] : static_cast<char32_t>(U'a' + rng() % 26);
      chars += len;
      points.push_back(w);
    }
    for (const std::u32string& w : points) stored.emplace_back(w);
    for (const reference::NativeText& t : stored) views.push_back(t);
  }
};

const Words& words(bool non_ascii) {
  static const Words ascii(false), mixed(true);
  return non_ascii ? mixed : ascii;
}

std::u32string query_of(std::size_t length) {
  const std::u32string base = U"kittensittingmartha";
  std::u32string q;
  while (q.size() < length) q += base;
  return q.substr(0, length);
}

void set_rates(benchmark::State& state, const Words& w) {
  const auto iterations = static_cast<double>(state.iterations());
  state.SetItemsProcessed(static_cast<std::int64_t>(iterations * static_cast<double>(w.views.size())));
  state.counters["chars_per_second"] =
      benchmark::Counter(iterations * static_cast<double>(w.chars), benchmark::Counter::kIsRate);
}

void run_form(benchmark::State& state, const Form* form, std::size_t length, bool non_ascii) {
  const Words& w = words(non_ascii);
  const std::u32string query = query_of(length);
  const BatchQuery q(reference::NativeText(query, 4), false, 0.1);
  std::vector<std::uint32_t> idx(form->lanes);
  for (std::size_t k = 0; k < idx.size(); ++k) idx[k] = static_cast<std::uint32_t>(k);
  std::vector<double> out(w.views.size());  // as wide as either result type
  for (auto _ : state) {
    for (std::size_t i = 0; i + form->lanes <= w.views.size(); i += form->lanes) {
      form->score(q, form->level, w.views.data() + i, idx.data(), form->lanes, out.data() + i);
    }
    benchmark::ClobberMemory();
  }
  set_rates(state, w);
}

void run_batch(benchmark::State& state, Measure measure, SimdLevel level, std::size_t length, bool non_ascii,
               bool fold) {
  const Words& w = words(non_ascii);
  const reference::NativeText query(query_of(length));
  for (auto _ : state) {
    switch (measure) {
      case Measure::levenshtein: benchmark::DoNotOptimize(levenshtein_batch(query, w.views, fold, level)); break;
      case Measure::damerau: benchmark::DoNotOptimize(damerau_batch(query, w.views, fold, level)); break;
      case Measure::jaro_winkler:
        benchmark::DoNotOptimize(jaro_winkler_batch(query, w.views, 0.1, fold, level));
        break;
    }
  }
  set_rates(state, w);
}

const char* measure_name(Measure m) {
  return m == Measure::levenshtein ? "levenshtein" : m == Measure::damerau ? "damerau" : "jaro_winkler";
}

const bool registered = [] {
  for (const Form& form : forms()) {
    if (!supported(form.level)) continue;
    for (const std::size_t length : {6u, 12u, 24u, 48u}) {
      if (length > form.max_pattern || (form.lane_bits != 0 && length * 2 <= form.max_pattern)) continue;
      for (const bool non_ascii : {false, true}) {
        const std::string name = std::string("BM_Form/") + form.name + "/m:" + std::to_string(length) +
                                 (non_ascii ? "/mixed" : "/ascii");
        benchmark::RegisterBenchmark(name.c_str(), run_form, &form, length, non_ascii)->MinTime(kMinTime);
      }
    }
  }
  for (const Measure measure : {Measure::levenshtein, Measure::damerau, Measure::jaro_winkler}) {
    for (const SimdLevel level : supported_levels()) {
      for (const bool fold : {false, true}) {
        for (const bool non_ascii : {false, true}) {
          const std::string name = std::string("BM_Batch/") + measure_name(measure) + "/" +
                                   std::string(to_string(level)) + "/m:6" + (non_ascii ? "/mixed" : "/ascii") +
                                   (fold ? "/folded" : "");
          benchmark::RegisterBenchmark(name.c_str(), run_batch, measure, level, 6, non_ascii, fold)
              ->MinTime(kMinTime)
              ->Unit(benchmark::kMillisecond);
        }
      }
    }
  }
  return true;
}();

}  // namespace
