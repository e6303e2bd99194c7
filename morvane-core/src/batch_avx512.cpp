// The lane forms compiled for AVX-512 (64-byte vectors). Everything below
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
#pragma clang attribute push(__attribute__((target("avx512f,avx512bw,avx512vl,avx2,bmi,bmi2,popcnt"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx512f,avx512bw,avx512vl,avx2,bmi,bmi2,popcnt")
#endif

#include "batch_lanes.hpp"

namespace morvane::batch {

namespace {

using namespace lanes;

constexpr std::size_t kBytes = 64;

template <class Lane>
constexpr std::size_t lanes_of = kBytes / sizeof(Lane);

constexpr Form kForms[] = {
    {"levenshtein/avx512/8", Measure::levenshtein, SimdLevel::avx512, 8, lanes_of<std::uint8_t>, 8, kMaxLaneText,
     &edit_distance_group<std::uint8_t, kBytes, false>},
    {"levenshtein/avx512/16", Measure::levenshtein, SimdLevel::avx512, 16, lanes_of<std::uint16_t>, 16, kMaxLaneText,
     &edit_distance_group<std::uint16_t, kBytes, false>},
    {"levenshtein/avx512/32", Measure::levenshtein, SimdLevel::avx512, 32, lanes_of<std::uint32_t>, 32, kMaxLaneText,
     &edit_distance_group<std::uint32_t, kBytes, false>},
    {"levenshtein/avx512/64", Measure::levenshtein, SimdLevel::avx512, 64, lanes_of<std::uint64_t>, 64, kMaxLaneText,
     &edit_distance_group<std::uint64_t, kBytes, false>},
    {"damerau/avx512/8", Measure::damerau, SimdLevel::avx512, 8, lanes_of<std::uint8_t>, 8, kMaxLaneText,
     &edit_distance_group<std::uint8_t, kBytes, true>},
    {"damerau/avx512/16", Measure::damerau, SimdLevel::avx512, 16, lanes_of<std::uint16_t>, 16, kMaxLaneText,
     &edit_distance_group<std::uint16_t, kBytes, true>},
    {"damerau/avx512/32", Measure::damerau, SimdLevel::avx512, 32, lanes_of<std::uint32_t>, 32, kMaxLaneText,
     &edit_distance_group<std::uint32_t, kBytes, true>},
    {"damerau/avx512/64", Measure::damerau, SimdLevel::avx512, 64, lanes_of<std::uint64_t>, 64, kMaxLaneText,
     &edit_distance_group<std::uint64_t, kBytes, true>},
    {"jaro_winkler/avx512/8", Measure::jaro_winkler, SimdLevel::avx512, 8, lanes_of<std::uint8_t>, 8, kMaxLaneText,
     &jaro_winkler_group<std::uint8_t, kBytes>},
    {"jaro_winkler/avx512/16", Measure::jaro_winkler, SimdLevel::avx512, 16, lanes_of<std::uint16_t>, 16,
     kMaxLaneText, &jaro_winkler_group<std::uint16_t, kBytes>},
    {"jaro_winkler/avx512/32", Measure::jaro_winkler, SimdLevel::avx512, 32, lanes_of<std::uint32_t>, 32,
     kMaxLaneText, &jaro_winkler_group<std::uint32_t, kBytes>},
    {"jaro_winkler/avx512/64", Measure::jaro_winkler, SimdLevel::avx512, 64, lanes_of<std::uint64_t>, 64,
     kMaxLaneText, &jaro_winkler_group<std::uint64_t, kBytes>},
};

}  // namespace

}  // namespace morvane::batch

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

namespace morvane::batch {
std::span<const Form> avx512_forms() noexcept { return kForms; }
}  // namespace morvane::batch

#else

namespace morvane::batch {
std::span<const Form> avx512_forms() noexcept { return {}; }
}  // namespace morvane::batch

#endif
