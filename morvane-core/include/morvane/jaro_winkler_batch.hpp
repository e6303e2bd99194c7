// Jaro-Winkler similarity of one query against many candidates.
//
// The query is validated, folded and tabled once. An ASCII candidate of at
// most 64 bytes against an ASCII query of 1 to 64 bytes is scored by a
// bit-parallel scan over the shared table with no allocation; every other
// candidate goes through jaro_winkler_similarity. Either way the score is
// bit-identical to jaro_winkler_similarity(query, candidate, p, nullopt,
// case_insensitive, nullopt).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "morvane/error.hpp"

namespace morvane {

class JaroWinklerQuery {
 public:
  // InvalidPrefixScale when `p` is outside [0.0, 0.25] or NaN; absent means
  // 0.1. Only the value true of `case_insensitive` folds.
  static Expected<JaroWinklerQuery> create(std::string_view query, std::optional<double> p,
                                           std::optional<bool> case_insensitive);

  // Score of `candidate` (valid UTF-8) with the query as the first text.
  // The fast route allocates nothing; the fallback folds and decodes and may
  // throw std::bad_alloc.
  double similarity(std::string_view candidate) const;

  // True when the query is ASCII and 1 to 64 bytes long: the fast route is
  // open to ASCII candidates of up to 64 bytes.
  bool ascii_ready() const noexcept { return ascii_ready_; }
  // Code points of the query as given, before folding.
  std::size_t char_count() const noexcept { return char_count_; }
  // The query with A-Z lowered when folding, else as given; empty unless
  // ascii_ready().
  std::string_view folded() const noexcept { return folded_; }
  double prefix_scale() const noexcept { return p_; }

 private:
  JaroWinklerQuery() = default;

  // The score by the ASCII route for a non-empty candidate of at most 64
  // bytes, or a negative value when the candidate turns out not to be ASCII.
  double fast_similarity(std::string_view candidate) const noexcept;

  // Entry c: positions of `folded_` holding byte c. All zero unless
  // ascii_ready_.
  std::array<std::uint64_t, 128> ascii_masks_{};
  double p_ = 0.0;
  std::size_t char_count_ = 0;
  std::string folded_;
  std::string query_;
  bool case_insensitive_ = false;
  bool ascii_ready_ = false;
};

// Lowers the ASCII letters A-Z of `text` in place; every other byte, non-ASCII
// ones included, is left as it is.
void fold_ascii_letters(std::span<char> text) noexcept;

// One score per candidate, in order, or InvalidPrefixScale before any
// candidate is looked at.
Expected<std::vector<double>> jaro_winkler_batch(std::string_view query,
                                                 std::span<const std::string_view> candidates,
                                                 std::optional<double> p,
                                                 std::optional<bool> case_insensitive);

}  // namespace morvane
