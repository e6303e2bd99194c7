#include "morvane/simd.hpp"

#include <array>
#include <cstdlib>

namespace morvane {

namespace {

// What the batch kernels of each level need: AVX2 with BMI1/2 and POPCNT;
// AVX-512 with the byte and word forms (BW) and the narrower registers (VL).
// The compiler's checks include whether the operating system saves the
// wider registers.
bool detect(SimdLevel level) noexcept {
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
  __builtin_cpu_init();
  switch (level) {
    case SimdLevel::scalar: return true;
    case SimdLevel::avx2:
      return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2") &&
             __builtin_cpu_supports("popcnt");
    case SimdLevel::avx512:
      return detect(SimdLevel::avx2) && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
             __builtin_cpu_supports("avx512vl");
  }
  return false;
#else
  return level == SimdLevel::scalar;
#endif
}

struct Levels {
  std::array<SimdLevel, 3> supported{};
  std::size_t count = 0;
  SimdLevel chosen = SimdLevel::scalar;

  Levels() noexcept {
    for (const SimdLevel level : {SimdLevel::scalar, SimdLevel::avx2, SimdLevel::avx512}) {
      if (detect(level)) supported[count++] = level;
    }
    chosen = supported[count - 1];
    // Read once, here: a forced level no higher than the machine's.
    if (const char* forced = std::getenv("MORVANE_SIMD")) {
      for (std::size_t k = 0; k < count; ++k) {
        if (to_string(supported[k]) == forced) chosen = supported[k];
      }
    }
  }
};

// Made on first use; the language makes that first use safe when threads
// race to it, and every later read is a plain load.
const Levels& levels() noexcept {
  static const Levels instance;
  return instance;
}

}  // namespace

std::string_view to_string(SimdLevel level) noexcept {
  switch (level) {
    case SimdLevel::scalar: return "scalar";
    case SimdLevel::avx2: return "avx2";
    case SimdLevel::avx512: return "avx512";
  }
  return "scalar";
}

bool supported(SimdLevel level) noexcept {
  for (const SimdLevel s : supported_levels()) {
    if (s == level) return true;
  }
  return false;
}

std::span<const SimdLevel> supported_levels() noexcept {
  const Levels& l = levels();
  return {l.supported.data(), l.count};
}

SimdLevel simd_level() noexcept { return levels().chosen; }

}  // namespace morvane
