// The lane forms compiled for AVX2 (32-byte vectors). Everything below
// the target region's start is compiled with those instructions; every
// header is included before it, so that no function shared with the rest of
// the library gets them.
#include <cstddef>
#include <cstdint>

#include "batch_forms.hpp"
#include "bit_parallel.hpp"
#include "morvane/batch_query.hpp"
#include "morvane/jaro_winkler.hpp"
#include "morvane/text.hpp"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2,bmi,bmi2,popcnt"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2,bmi,bmi2,popcnt")
#endif

#include "batch_lanes.hpp"

namespace morvane::batch {

namespace {

using namespace lanes;

constexpr Form kForms[] = MORVANE_LANE_FORMS(avx2, 32);

}  // namespace

}  // namespace morvane::batch

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

namespace morvane::batch {
std::span<const Form> avx2_forms() noexcept { return kForms; }
}  // namespace morvane::batch

#else

namespace morvane::batch {
std::span<const Form> avx2_forms() noexcept { return {}; }
}  // namespace morvane::batch

#endif
