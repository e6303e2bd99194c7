// The registry of the batches' forms (batch_forms.hpp): the scalar forms,
// every level's lane forms, and the one choice among them.
#include "batch_forms.hpp"

#include <limits>

namespace morvane::batch {

namespace {

constexpr std::size_t kAny = std::numeric_limits<std::size_t>::max();

constexpr Form kScalarForms[] = {
    {"levenshtein/scalar", Measure::levenshtein, SimdLevel::scalar, 0, 1, kAny, kAny, &levenshtein_batch_scalar},
    {"damerau/scalar", Measure::damerau, SimdLevel::scalar, 0, 1, kAny, kAny, &damerau_batch_scalar},
    {"jaro_winkler/scalar", Measure::jaro_winkler, SimdLevel::scalar, 0, 1, kAny, kAny, &jaro_winkler_batch_scalar},
};

// The lane forms of `level`; the scalar level has none.
std::span<const Form> lane_forms_of(SimdLevel level) noexcept {
  switch (level) {
    case SimdLevel::scalar: return {};
    case SimdLevel::avx2: return lane_forms<SimdLevel::avx2>();
    case SimdLevel::avx512: return lane_forms<SimdLevel::avx512>();
  }
  return {};
}

}  // namespace

std::span<const Form> forms() noexcept {
  static const auto all = [] {
    struct All {
      Form items[64];
      std::size_t count = 0;
    } a{};
    for (const Form& f : kScalarForms) a.items[a.count++] = f;
    for (const SimdLevel level : {SimdLevel::avx2, SimdLevel::avx512}) {
      for (const Form& f : lane_forms_of(level)) a.items[a.count++] = f;
    }
    return a;
  }();
  return {all.items, all.count};
}

const Form& choose(Measure measure, SimdLevel level, std::size_t length) noexcept {
  for (const Form& f : lane_forms_of(level)) {
    if (f.measure == measure && length <= f.max_pattern) return f;
  }
  for (const Form& f : kScalarForms) {
    if (f.measure == measure) return f;
  }
  return kScalarForms[0];
}

}  // namespace morvane::batch
