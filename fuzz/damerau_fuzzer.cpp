// Restricted Damerau-Levenshtein (optimal string alignment): every kernel
// form and damerau_bp against the plain dynamic programme
// (edit_distance_fuzzer.hpp).
#include <cstddef>
#include <cstdint>
#include <string>

#include "edit_distance_fuzzer.hpp"
#include "morvane/damerau_bp.hpp"
#include "reference.hpp"

namespace {

struct Damerau {
  using Kernels = morvane::bit_parallel::DamerauKernels;
  static constexpr const char* name = "damerau";
  static constexpr fuzz::PairFn pair = &morvane::damerau_bp;
  static std::size_t reference(const std::u32string& a, const std::u32string& b) { return fuzz::plain::osa(a, b); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return fuzz::check_edit_distance<Damerau>(data, size);
}
