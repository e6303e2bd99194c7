// The lane forms of one instruction-set level (batch_forms.hpp), compiled
// once per level from this one source: morvane-core/CMakeLists.txt builds
// it with MORVANE_LEVEL set to the name of a SimdLevel, which picks below the
// instructions the kernels are compiled with and the width of their vectors.
//
// Everything after the target region's start gets those instructions. Every
// header is included before it, so that no function shared with the rest of
// the library gets them: a shared inline function compiled for AVX2 could be
// the copy the linker keeps for everyone.
#include <cstddef>
#include <cstdint>
#include <span>

#include "batch_forms.hpp"
#include "morvane/batch_query.hpp"
#include "morvane/jaro_winkler.hpp"
#include "morvane/simd.hpp"
#include "morvane/text.hpp"

#include "level_target.hpp"

#if MORVANE_HAS_TARGET

MORVANE_TARGET_BEGIN

#include "lane_group.hpp"
#include "levenshtein_myers1999_lanes.hpp"
#include "osa_hyyro2003_lanes.hpp"
#include "jaro_winkler_score_lanes.hpp"
#include "jaro_winkler_lanes.hpp"

namespace morvane::batch {

namespace {

using namespace lanes;

constexpr SimdLevel kLevel = SimdLevel::MORVANE_LEVEL;
constexpr std::size_t kBytes = MORVANE_VECTOR_BYTES;

// The form of `kernel` with lanes of `bits` bits.
#define MORVANE_LANE_FORM(measure, kernel, bits)                                                                  \
  Form {                                                                                                          \
    #measure "/" MORVANE_STRING(MORVANE_LEVEL) "/" #bits, Measure::measure, kLevel, bits, kBytes / (bits / 8), bits, \
        kMaxLaneText, &kernel<std::uint##bits##_t, kBytes>                                                        \
  }
// The forms of `kernel` at every lane width, narrowest first: choose() takes
// the first that fits.
#define MORVANE_LANE_FORMS(measure, kernel)                                                 \
  MORVANE_LANE_FORM(measure, kernel, 8), MORVANE_LANE_FORM(measure, kernel, 16),            \
      MORVANE_LANE_FORM(measure, kernel, 32), MORVANE_LANE_FORM(measure, kernel, 64)

constexpr Form kForms[] = {
    MORVANE_LANE_FORMS(levenshtein, levenshtein_myers1999_lanes),
    MORVANE_LANE_FORMS(damerau, osa_hyyro2003_lanes),
    MORVANE_LANE_FORMS(jaro_winkler, jaro_winkler_lanes),
};

}  // namespace

}  // namespace morvane::batch

MORVANE_TARGET_END

namespace morvane::batch {
template <>
std::span<const Form> lane_forms<SimdLevel::MORVANE_LEVEL>() noexcept {
  return kForms;
}
}  // namespace morvane::batch

#else

namespace morvane::batch {
template <>
std::span<const Form> lane_forms<SimdLevel::MORVANE_LEVEL>() noexcept {
  return {};
}
}  // namespace morvane::batch

#endif
