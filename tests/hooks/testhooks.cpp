// C entry points into the core for tests that compare it with the interpreter.
// Nothing may throw across this boundary: failures are reported by value.
#include <cstddef>
#include <cstring>
#include <string>

#include "morvane/lower.hpp"
#include "morvane/simd.hpp"
#include "morvane/text.hpp"

#define MORVANE_TESTHOOK extern "C" __attribute__((visibility("default")))

// Lowercases the `n` code points at `in`, stored `width` bytes each (1, 2 or
// 4), into `out`, in units of the same width. `out` has room for `cap`
// units; returns the number written, or SIZE_MAX when `cap` is less than
// n * kMaxLoweredLength.
MORVANE_TESTHOOK std::size_t morvane_test_lower(const void* in, std::size_t n, unsigned width, void* out,
                                                std::size_t cap) noexcept {
  if (cap < n * morvane::kMaxLoweredLength) return static_cast<std::size_t>(-1);
  return morvane::lower_into(morvane::Text::of_width(in, n, width, false), out);
}

// The level the batches of this process use, and every level this processor
// runs, as their names separated by spaces ("avx2", "scalar avx2").
MORVANE_TESTHOOK const char* morvane_test_simd_level() noexcept { return morvane::to_string(morvane::simd_level()).data(); }

MORVANE_TESTHOOK std::size_t morvane_test_supported_levels(char* out, std::size_t cap) noexcept {
  std::string names;
  for (const morvane::SimdLevel level : morvane::supported_levels()) {
    if (!names.empty()) names += ' ';
    names += morvane::to_string(level);
  }
  if (names.size() < cap) std::memcpy(out, names.c_str(), names.size() + 1);
  return names.size();
}
