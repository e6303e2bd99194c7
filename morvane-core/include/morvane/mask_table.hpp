// Character match tables of the bit-parallel edit-distance kernels of one
// pair: for every code point c, a bit vector whose bit i is set exactly when
// the pattern holds c at position i. Code points below 256 index a direct
// array; larger ones go to a small hash map, so text in Latin scripts never
// touches the map. (A batch's query, prepared once for many candidates, has
// its own paged table: morvane/batch_query.hpp.)
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "morvane/text.hpp"

namespace morvane {

// Pattern of 1 to 64 code points: one 64-bit mask per character.
//
// Code points below 256 index a direct array. Wider ones, when they all share
// their high bits (c >> 8, as a text in one script besides Latin does), index
// a second array by their low byte; otherwise they go to a small hash map.
class MaskTable {
 public:
  MaskTable() noexcept = default;

  // Fills the table from `pattern` (1 to 64 code points). Only the entries
  // the kernel will read for `text` are guaranteed: those of the code points
  // of `pattern` and `text` (and, with one page, the entries of their low
  // bytes in both arrays). Every other entry may hold anything and must not
  // be read; short pairs thus avoid clearing the whole table.
  template <class P, class T>
  void assign_pair(const P* pattern, std::size_t m, const T* text, std::size_t n) noexcept {
    prepare(pattern, m);
    if (m + n >= 128 || (mode_ == Mode::page && m + n >= 64)) {
      std::memset(direct_, 0, sizeof direct_);
      if (mode_ == Mode::page) std::memset(page_, 0, sizeof page_);
    } else {
      clear_entries(text, n);
      clear_entries(pattern, m);
    }
    fill(pattern, m);
  }

  // Fills every entry from `pattern` (1 to 64 code points).
  template <class P>
  void assign(const P* pattern, std::size_t m) noexcept {
    prepare(pattern, m);
    std::memset(direct_, 0, sizeof direct_);
    if (mode_ == Mode::page) std::memset(page_, 0, sizeof page_);
    fill(pattern, m);
  }

  // The 256 direct masks, indexed by code points below 256.
  const std::uint64_t* direct() const noexcept { return direct_; }

  // Mask of any code point; 0 when the pattern does not contain it.
  std::uint64_t get(char32_t c) const noexcept {
    if (c < 256) return direct_[c];
    if (mode_ == Mode::page) return (c >> 8) == page_bits_ ? page_[c & 0xFF] : 0;
    return mode_ == Mode::map ? map_get(c) : 0;
  }
  // The same for a pattern of one page: two loads and no branch, for texts
  // whose code points alternate between the pages (letters among spaces,
  // digits and punctuation) and would make a branch unpredictable.
  std::uint64_t get_paged(char32_t c) const noexcept {
    const std::uint64_t low = direct_[c & 0xFF];
    const std::uint64_t wide = page_[c & 0xFF];
    const char32_t hi = c >> 8;
    return (hi == 0 ? low : 0) | (hi == page_bits_ ? wide : 0);
  }
  // Whether any code point of 256 and above is in the pattern, and whether
  // they all share one page.
  bool has_wide() const noexcept { return mode_ != Mode::direct; }
  bool one_page() const noexcept { return mode_ == Mode::page; }

 private:
  enum class Mode : unsigned char { direct, page, map };

  // At least twice as many slots as the pattern has code points, so probes
  // stay short and an empty slot always ends them; a short pattern clears
  // only a few.
  static constexpr unsigned kMaxSlotBits = 7;
  std::size_t slot_of(char32_t c) const noexcept {
    return (static_cast<std::uint32_t>(c) * 0x9E3779B1u) >> (32 - slot_bits_);
  }
  template <class P>
  void prepare(const P* pattern, std::size_t m) noexcept {
    mode_ = Mode::direct;
    if constexpr (sizeof(P) > 1) {
      for (std::size_t i = 0; i < m; ++i) {
        if (pattern[i] < 256) continue;
        const char32_t hi = static_cast<char32_t>(pattern[i]) >> 8;
        if (mode_ == Mode::direct) {
          mode_ = Mode::page;
          page_bits_ = hi;
        } else if (hi != page_bits_) {
          mode_ = Mode::map;
          break;
        }
      }
    }
    map_used_ = false;
    slot_bits_ = m <= 8 ? 4 : m <= 16 ? 5 : m <= 32 ? 6 : kMaxSlotBits;
  }
  template <class U>
  void clear_entries(const U* units, std::size_t count) noexcept {
    for (std::size_t j = 0; j < count; ++j) {
      if (mode_ == Mode::page) {
        direct_[units[j] & 0xFF] = 0;
        page_[units[j] & 0xFF] = 0;
      } else if (below_256(units[j])) {
        direct_[units[j]] = 0;
      }
    }
  }
  template <class P>
  void fill(const P* pattern, std::size_t m) noexcept {
    for (std::size_t i = 0; i < m; ++i) {
      const char32_t c = pattern[i];
      const std::uint64_t bit = std::uint64_t{1} << i;
      if (below_256(pattern[i])) {
        direct_[c] |= bit;
      } else if (mode_ == Mode::page) {
        page_[c & 0xFF] |= bit;
      } else {
        map_or(c, bit);
      }
    }
  }
  std::uint64_t map_get(char32_t c) const noexcept {
    if (!map_used_) return 0;
    const std::size_t mask = (std::size_t{1} << slot_bits_) - 1;
    for (std::size_t i = slot_of(c);; i = (i + 1) & mask) {
      if (keys_[i] == c) return values_[i];
      if (keys_[i] == 0) return 0;
    }
  }
  void map_or(char32_t c, std::uint64_t bit) noexcept;

  std::uint64_t direct_[256];
  // The one page's masks by low byte, when mode_ is page.
  std::uint64_t page_[256];
  char32_t page_bits_ = 0;
  // Open addressing; key 0 marks an empty slot (keys are all >= 256). Only
  // initialised once the pattern has a code point of 256 or above.
  char32_t keys_[std::size_t{1} << kMaxSlotBits];
  std::uint64_t values_[std::size_t{1} << kMaxSlotBits];
  unsigned slot_bits_ = kMaxSlotBits;
  bool map_used_ = false;
  Mode mode_ = Mode::direct;
};

// Pattern of 65 or more code points: one row of words() 64-bit values per
// character, position i being bit i % 64 of word i / 64. Bits above the
// pattern's last position are 0 in every row.
class BlockMaskTable {
 public:
  // `pattern` holds m >= 1 code points (P: std::uint8_t, std::uint16_t or
  // std::uint32_t).
  template <class P>
  BlockMaskTable(const P* pattern, std::size_t m);

  std::size_t words() const noexcept { return words_; }

  // Row of `c`: exactly words() values, all zero when the pattern lacks c.
  const std::uint64_t* row(char32_t c) const noexcept {
    if (c >= 256) return map_row(c);
    return (live_[c / 64] >> (c % 64)) & 1 ? direct_.get() + c * words_ : zero_row_.get();
  }

  // The row of every code point the pattern lacks.
  const std::uint64_t* zero_row() const noexcept { return zero_row_.get(); }

 private:
  template <class P>
  void fill(const P* pattern, std::size_t m);
  const std::uint64_t* map_row(char32_t c) const noexcept;
  std::uint64_t* map_row_for_insert(char32_t c);
  void grow_map();

  std::size_t words_;
  // 256 rows, of which only those marked in live_ are written: the others are
  // never read (row() answers zero_row_ for them), which spares clearing the
  // whole block for every pattern.
  std::unique_ptr<std::uint64_t[]> direct_;
  std::uint64_t live_[4] = {0, 0, 0, 0};
  std::unique_ptr<std::uint64_t[]> zero_row_;
  // Open-addressing map from code point to the index of its row in rows_.
  std::vector<char32_t> keys_;          // 0 = empty slot
  std::vector<std::uint32_t> row_of_;   // row index, parallel to keys_
  std::vector<std::uint64_t> rows_;     // words_ values per stored code point
  std::size_t map_size_ = 0;
};

}  // namespace morvane
