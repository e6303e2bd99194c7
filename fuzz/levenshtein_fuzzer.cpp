// Levenshtein: every kernel form and levenshtein_bp against the plain
// dynamic programme (edit_distance_fuzzer.hpp).
#include <cstddef>
#include <cstdint>
#include <string>

#include "edit_distance_fuzzer.hpp"
#include "morvane/levenshtein_bp.hpp"
#include "reference.hpp"

namespace {

struct Levenshtein {
  using Kernels = morvane::bit_parallel::LevenshteinKernels;
  static constexpr const char* name = "levenshtein";
  static constexpr fuzz::PairFn pair = &morvane::levenshtein_bp;
  static std::size_t reference(const std::u32string& a, const std::u32string& b) { return fuzz::plain::levenshtein(a, b); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return fuzz::check_edit_distance<Levenshtein>(data, size);
}
