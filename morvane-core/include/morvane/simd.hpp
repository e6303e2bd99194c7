// Instruction-set levels of the batch kernels, chosen once per process.
#pragma once

#include <span>
#include <string_view>

namespace morvane {

// Ordered: a higher level uses wider instructions.
enum class SimdLevel : unsigned char { scalar = 0, avx2 = 1, avx512 = 2 };

// "scalar", "avx2", "avx512".
std::string_view to_string(SimdLevel level) noexcept;

// Whether this processor (and its operating system) can run `level`.
bool supported(SimdLevel level) noexcept;

// The levels this processor can run, lowest first: scalar always.
std::span<const SimdLevel> supported_levels() noexcept;

// The level batches use: the highest supported one, or the one the
// environment variable MORVANE_SIMD names ("scalar", "avx2" or "avx512")
// when it is no higher than that; a higher or unknown name is ignored.
// Worked out on first use, once for the whole process; later calls, from any
// thread, read a constant.
SimdLevel simd_level() noexcept;

}  // namespace morvane
