#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "morvane/lower.hpp"
#include "native_text.hpp"

namespace {

// Space-separated `words`, cycled until the text has at least `bytes` bytes.
std::string make_text(std::size_t bytes, std::initializer_list<const char*> words) {
  std::string text;
  for (auto it = words.begin(); text.size() < bytes; ++it) {
    if (it == words.end()) it = words.begin();
    text += *it;
    text += ' ';
  }
  return text;
}

void run(benchmark::State& state, const std::string& utf8) {
  const reference::NativeText text(utf8);
  std::vector<std::uint32_t> out(text.text().size() * morvane::kMaxLoweredLength + 1);
  for (auto _ : state) {
    benchmark::DoNotOptimize(morvane::lower_into(text, out.data()));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(utf8.size()));
}

void BM_LowerAscii(benchmark::State& state) {
  const std::string text = make_text(static_cast<std::size_t>(state.range(0)),
                                     {"The", "QUICK", "brown", "Fox", "jumps", "over", "THE", "lazy", "dog."});
  run(state, text);
}
BENCHMARK(BM_LowerAscii)->Arg(16)->Arg(256)->Arg(64 << 10);

// Latin-1 accents in ASCII words, Greek with sigmas, Cyrillic, CJK.
void BM_LowerMixed(benchmark::State& state) {
  const std::string text = make_text(
      static_cast<std::size_t>(state.range(0)),
      {"Caf\u00C9", "na\u00EFVE", "\u039F\u0394\u039F\u03A3", "\u03A3\u039F\u03A6\u0399\u0391",
       "\u041C\u043E\u0441\u041A\u0412\u0410", "\u65E5\u672C\u8A9E", "\u0130stanbul", "STRASSE"});
  run(state, text);
}
BENCHMARK(BM_LowerMixed)->Arg(16)->Arg(256)->Arg(64 << 10);

// Only two-byte letters, every one of them mapped.
void BM_LowerCyrillicUpper(benchmark::State& state) {
  const std::string text = make_text(static_cast<std::size_t>(state.range(0)),
                                     {"\u041C\u041E\u0421\u041A\u0412\u0410", "\u041F\u0420\u0418\u0412\u0415\u0422"});
  run(state, text);
}
BENCHMARK(BM_LowerCyrillicUpper)->Arg(64 << 10);

}  // namespace
