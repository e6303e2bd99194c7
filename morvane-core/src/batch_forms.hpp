// The kernel forms of the three batches: every way a batch can score its
// candidates, by measure, instruction-set level and lane width, in one list
// that the batches choose from (choose()) and that the tests and benchmarks
// iterate (forms()).
//
// A form scores a group of candidates against a prepared query. The scalar
// forms take one candidate at a time, of any length:
//   levenshtein_batch_scalar, damerau_batch_scalar  edit_distance_batch_scalar.cpp
//   jaro_winkler_batch_scalar                       jaro_winkler_batch_scalar.cpp
// The lane forms advance many candidates together, one per lane of a vector
// register, for a query (lowercased when folding) of at most as many code
// points as a lane has bits: 8-, 16-, 32- or 64-bit lanes, so short queries
// fill many lanes. Each lane's result is taken at its own last code point,
// so candidates of different lengths share a group exactly.
//   levenshtein_myers1999_lanes  levenshtein_myers1999_lanes.hpp
//   osa_hyyro2003_lanes          osa_hyyro2003_lanes.hpp (damerau_batch)
//   jaro_winkler_lanes           jaro_winkler_lanes.hpp
// They are written once over the compiler's generic vectors and compiled
// once per level from lane_forms_level.cpp.
//
// A new form is one entry in its level's list (lane_forms_level.cpp) or in
// the scalar list (batch_forms.cpp). A new level is a SimdLevel (simd.hpp),
// its target and vector width in lane_forms_level.cpp, its name in the
// list of levels of morvane-core/CMakeLists.txt, and its line in
// lane_forms() below and in batch_forms.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "morvane/batch_query.hpp"
#include "morvane/simd.hpp"
#include "morvane/text.hpp"

namespace morvane::batch {

enum class Measure : unsigned char { levenshtein, damerau, jaro_winkler };

// Scores texts[idx[k]] for k < count, writing out[idx[k]] (std::size_t for
// the edit distances, double for Jaro-Winkler). Every text is read as if
// lowercased through the masks, so a folding batch lowercases in full, before
// handing them over, the texts the masks cannot lowercase (U+03A3, U+0130),
// and for Jaro-Winkler texts longer than jaro_winkler_detail::kBitParallelMax.
// The pattern is not empty; count is at most the form's lanes, and each text
// has at most max_text code points. `level` is the call's instruction-set
// level, which the scalar forms hand on to the kernels they run (a lane form
// is of its own level).
using GroupFn = void (*)(const BatchQuery& query, SimdLevel level, const Text* texts, const std::uint32_t* idx,
                         std::size_t count, void* out);

struct Form {
  const char* name;
  Measure measure;
  SimdLevel level;
  // Bits per lane (0 for the scalar forms), candidates per group, the
  // longest pattern and the longest text the form takes.
  unsigned lane_bits;
  std::size_t lanes;
  std::size_t max_pattern;
  std::size_t max_text;
  GroupFn score;
};

// Texts longer than this go to the scalar forms, also for lane forms: a
// group runs as many steps as its longest text.
inline constexpr std::size_t kMaxLaneText = 128;

// From this many candidates on, a batch indexes the basic plane for its
// query's masks (QueryMasks::index_basic_plane).
inline constexpr std::size_t kIndexBasicPlaneFrom = 2048;

// Every form compiled into the library, whatever this processor can run.
std::span<const Form> forms() noexcept;

// The form a batch of `measure` uses at `level` (which must be supported)
// for a pattern of `length` code points: the narrowest lane form of that
// level that takes the pattern, else the scalar form. The one place a form
// is chosen.
const Form& choose(Measure measure, SimdLevel level, std::size_t length) noexcept;

// The scalar forms.
void levenshtein_batch_scalar(const BatchQuery& query, SimdLevel level, const Text* texts, const std::uint32_t* idx,
                              std::size_t count, void* out);
void damerau_batch_scalar(const BatchQuery& query, SimdLevel level, const Text* texts, const std::uint32_t* idx,
                          std::size_t count, void* out);
void jaro_winkler_batch_scalar(const BatchQuery& query, SimdLevel level, const Text* texts,
                               const std::uint32_t* idx, std::size_t count, void* out);

// The lane forms of a level, narrowest lanes first per measure (the order
// choose() relies on); empty where they are not compiled in (off x86-64).
// Each level's list comes from its own compilation of lane_forms_level.cpp.
template <SimdLevel kLevel>
std::span<const Form> lane_forms() noexcept;
template <>
std::span<const Form> lane_forms<SimdLevel::avx2>() noexcept;
template <>
std::span<const Form> lane_forms<SimdLevel::avx512>() noexcept;

}  // namespace morvane::batch
