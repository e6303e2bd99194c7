// Jaro-Winkler similarity of one query against many candidates.
//
// The query is validated, folded and tabled once. Against an ASCII query of
// any length, a candidate of at most 64 code points is scored by a
// bit-parallel scan over the shared table that allocates nothing: ASCII
// candidates are read byte by byte, other candidates code point by code point
// (after full folding when folding is asked for). Longer candidates and every
// candidate of a non-ASCII query go through jaro_winkler_similarity. Either
// way the score is bit-identical to jaro_winkler_similarity(query, candidate,
// p, nullopt, case_insensitive, nullopt).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "morvane/bulk_vector.hpp"
#include "morvane/error.hpp"

namespace morvane {

// Working memory for scoring many candidates against one query, reused from
// one candidate to the next so that scoring allocates nothing per candidate.
struct JaroWinklerScratch {
  // A non-ASCII candidate after full lowercase folding.
  std::string folded;
  // Matched query positions of the long-query scan, one bit per position.
  // Every word is zero between two candidates: the scan clears each bit it
  // sets while it counts transpositions.
  std::vector<std::uint64_t> matched;
};

class JaroWinklerQuery {
 public:
  // Rows of the match table: one per ASCII code, and one more, always zero,
  // that stands for every code point from 128 up.
  static constexpr std::size_t kRows = 129;
  static constexpr unsigned char kNonAscii = 128;

  // InvalidPrefixScale when `p` is outside [0.0, 0.25] or NaN; absent means
  // 0.1. Only the value true of `case_insensitive` folds.
  static Expected<JaroWinklerQuery> create(std::string_view query, std::optional<double> p,
                                           std::optional<bool> case_insensitive);

  // Score of `candidate` (valid UTF-8) with the query as the first text.
  // The bit-parallel scans allocate nothing beyond growing `scratch` the
  // first time it is used; the fallback folds and decodes and may throw
  // std::bad_alloc.
  double similarity(std::string_view candidate, JaroWinklerScratch& scratch) const;
  // The same with scratch memory of its own, for a single candidate.
  double similarity(std::string_view candidate) const;

  // True when the query is ASCII and not empty: the bit-parallel scans are
  // open to candidates of up to 64 code points.
  bool ascii_ready() const noexcept { return ascii_ready_; }
  // Code points of the query as given, before folding.
  std::size_t char_count() const noexcept { return char_count_; }
  // The query with A-Z lowered when folding, else as given; empty unless
  // ascii_ready().
  std::string_view folded() const noexcept { return folded_; }
  // 64-bit words per table row: ceil(char_count() / 64) when ascii_ready(),
  // else 0.
  std::size_t words() const noexcept { return words_; }
  double prefix_scale() const noexcept { return p_; }

 private:
  JaroWinklerQuery() = default;

  // The candidate's longest reach into the query: the number of leading
  // query positions that some candidate position's window covers.
  std::size_t reach(std::size_t len_c) const noexcept;

  // Candidate bytes `c` (A-Z lowered on the fly when `fold_bit` is 0x20), at
  // most 64 of them, scored against the first 64 query positions; only for a
  // candidate whose reach() is at most 64. With kLearnAscii the bytes come
  // from the caller's text and a byte from 0x80 up makes the result negative
  // (the positions were not code points); without it they are row numbers,
  // kNonAscii included.
  template <bool kLearnAscii>
  double one_word_scan(const unsigned char* c, std::size_t len_c, unsigned fold_bit) const noexcept;

  // Row numbers `c` of a candidate of at most 64 code points, any reach.
  // `matched` holds words() zero words and is left zero.
  double multi_word_scan(const unsigned char* c, std::size_t len_c,
                         std::uint64_t* matched) const noexcept;

  double fallback(std::string_view candidate) const;

  // Word-major: word k of row r is masks_[k * kRows + r]; bit i of it is set
  // when position 64 k + i of `folded_` holds byte r. Empty unless
  // ascii_ready_.
  std::vector<std::uint64_t> masks_;
  // Per row, the first and one past the last query position holding it
  // (first > last for a row the query does not hold), to bound the search.
  std::array<std::size_t, kRows> first_{};
  std::array<std::size_t, kRows> end_{};
  double p_ = 0.0;
  std::size_t char_count_ = 0;
  std::size_t words_ = 0;
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
Expected<BulkVector<double>> jaro_winkler_batch(std::string_view query,
                                                 std::span<const std::string_view> candidates,
                                                 std::optional<double> p,
                                                 std::optional<bool> case_insensitive);

}  // namespace morvane
