// Bit counting without a library call.
#pragma once

#include <bit>
#include <cstdint>

namespace morvane {

// The number of set bits. Where the build may not assume the processor's
// population count instruction (the x86-64 baseline has none), the compiler
// would call a library routine for std::popcount; this counts in registers
// instead.
constexpr unsigned popcount64(std::uint64_t x) noexcept {
#if defined(__POPCNT__) || !defined(__x86_64__)
  return static_cast<unsigned>(std::popcount(x));
#else
  x = x - ((x >> 1) & 0x5555555555555555ull);
  x = (x & 0x3333333333333333ull) + ((x >> 2) & 0x3333333333333333ull);
  x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0Full;
  return static_cast<unsigned>((x * 0x0101010101010101ull) >> 56);
#endif
}

}  // namespace morvane
