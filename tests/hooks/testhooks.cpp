// C entry points into the core for tests that compare it with the interpreter.
// Nothing may throw across this boundary: failures are reported by value.
#include <cstddef>
#include <cstring>
#include <exception>
#include <string>
#include <string_view>

#include "morvane/casefold.hpp"

#define MORVANE_TESTHOOK extern "C" __attribute__((visibility("default")))

// Folds the `n` bytes of valid UTF-8 at `in`. Returns the folded length and
// copies the folded bytes to `out` when that length is at most `cap`;
// returns SIZE_MAX if folding failed.
MORVANE_TESTHOOK std::size_t morvane_test_fold_lower(const char* in, std::size_t n, char* out,
                                                     std::size_t cap) noexcept {
  try {
    const std::string folded = morvane::fold_lower(std::string_view(in, n));
    if (folded.size() <= cap && !folded.empty()) std::memcpy(out, folded.data(), folded.size());
    return folded.size();
  } catch (const std::exception&) {
    return static_cast<std::size_t>(-1);
  }
}
