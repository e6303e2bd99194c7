// The query of a batch, prepared once per call: its match masks for every
// code point of any script, read by every candidate without change.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "morvane/text.hpp"

namespace morvane {

// Rows of words() 64-bit values for every code point: bit i of word k of the
// row of c is set when position 64 k + i of the pattern holds c. Bits above
// the pattern's last position are 0.
//
// Code points below 256 index a direct block of rows. Wider ones go through
// pages: the page of c >> 8 maps the low eight bits of c to a row number,
// row 0 being all zero. Only pages the pattern uses exist; every other code
// point lands on one shared page of zeros. A lookup is thus three loads and
// no probing, whatever the script.
//
// With UpperVariants::with, the pattern is taken as already lowercased and
// every code point whose single-code-point lowercase form is a pattern code
// point (its upper variants, upper_variants()) gets that code point's row
// too: a candidate is then matched as if lowercased, without being
// lowercased. (Code points whose lowercase form depends on context or has
// several code points, U+03A3 and U+0130, are not covered: the caller
// lowercases candidates holding them in full.)
enum class UpperVariants : bool { without, with };

class QueryMasks {
 public:
  QueryMasks() = default;
  QueryMasks(Text pattern, UpperVariants variants);

  std::size_t words() const noexcept { return words_; }

  const std::uint64_t* row(char32_t c) const noexcept {
    if (c < 256) return direct_.get() + c * words_;
    return wide_row(c);
  }
  // Word 0 of the row of c: the mask of a pattern of up to 64 code points.
  // For such a pattern (words() == 1) the pages hold the masks themselves,
  // the code points below 256 included, so any code point costs two loads
  // and no branch: text that mixes scripts with spaces, digits and
  // punctuation would make a branch on the code point's size unpredictable.
  std::uint64_t first(char32_t c) const noexcept {
    return masks_[std::size_t{mask_directory_[page_of(c)]} * 256 + (c & 0xFF)];
  }
  // Word 0 of the rows of the code points below 256, for texts that hold no
  // other (words() == 1 only).
  const std::uint64_t* direct() const noexcept { return direct_.get(); }
  // For a pattern of one word, an index of the whole basic plane: then
  // first_bmp() answers any code point below U+10000 with two plain loads.
  // The index is 128 KiB, so it pays for itself only over many texts stored
  // two bytes per code point.
  void index_basic_plane();
  bool has_basic_plane_index() const noexcept { return bmp_index_ != nullptr; }
  std::uint64_t first_bmp(std::uint16_t c) const noexcept { return bmp_masks_[bmp_index_[c]]; }

  // A row of zeros, the row of every code point the pattern lacks.
  const std::uint64_t* zero_row() const noexcept { return rows_.data(); }
  // Whether the pattern has rows for code points of 256 and above.
  bool has_wide() const noexcept { return pages_used_ > 1; }

 private:
  static constexpr std::size_t kDirectory = (0x10FFFF >> 8) + 2;  // the last entry catches larger values

  static std::size_t page_of(char32_t c) noexcept { return c >> 8 < kDirectory - 1 ? c >> 8 : kDirectory - 1; }
  const std::uint64_t* wide_row(char32_t c) const noexcept {
    const std::uint32_t id = pages_[std::size_t{directory_[page_of(c)]} * 256 + (c & 0xFF)];
    return rows_.data() + std::size_t{id} * words_;
  }
  // The row of code point c, made on first need.
  std::uint64_t* row_for(char32_t c);

  std::size_t words_ = 0;
  std::unique_ptr<std::uint64_t[]> direct_;
  // Page number per 256 code points; page 0 is all row 0.
  std::unique_ptr<std::uint16_t[]> directory_;
  std::vector<std::uint32_t> pages_;
  std::size_t pages_used_ = 0;
  // Row 0 (zeros) first, then one row per wide code point that has one.
  std::vector<std::uint64_t> rows_;
  // For a pattern of one word: the pages again, holding the masks, and their
  // directory, whose page for code points below 256 holds the direct masks.
  std::vector<std::uint64_t> masks_;
  std::unique_ptr<std::uint16_t[]> mask_directory_;
  // The basic plane's index: bmp_masks_[bmp_index_[c]] is the mask of c.
  std::unique_ptr<std::uint16_t[]> bmp_index_;
  std::vector<std::uint64_t> bmp_masks_;
};

// Whether a batch that folds must lowercase `candidate` in full before
// reading it through QueryMasks: it holds a code point whose lowercase form
// depends on its neighbours or has several code points.
bool needs_full_lowering(Text candidate) noexcept;

// The query of any batch, prepared once per call and read by every form
// (batch_forms.hpp): the pattern and its masks, with upper variants when
// folding, and for Jaro-Winkler the prefix scale. Only the value true of
// `fold` folds; `p` is taken as valid (validate_prefix_scale).
struct BatchQuery {
  BatchQuery(Text query, std::optional<bool> fold, double p = 0.0);

  // Code points of the query as passed in (unfolded).
  std::size_t char_count;
  bool case_insensitive;
  // The pattern: the query, lowercased when folding.
  std::vector<std::uint32_t> pattern;
  QueryMasks masks;
  // Jaro-Winkler's prefix scale; unused by the edit distances.
  double p;
};

}  // namespace morvane
