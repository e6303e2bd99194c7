// Character match tables of the bit-parallel edit-distance kernels: for every
// code point c, a bit vector whose bit i is set exactly when the pattern holds
// c at position i. Code points below 256 index a direct array; larger ones go
// to a small hash map, so text in Latin scripts never touches the map.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace morvane {

// Pattern of 1 to 64 code points: one 64-bit mask per character.
class MaskTable {
 public:
  MaskTable() noexcept = default;

  // Pattern taken byte by byte (an ASCII pattern, or any bytes): fills the
  // direct array only.
  void assign_bytes(std::string_view pattern) noexcept;

  // Pattern and text both ASCII: sets only what the byte kernel will read
  // for `text`, namely the entries of the bytes of `pattern` and `text`. Every
  // other entry is left unset and must not be read. Short pairs thus avoid
  // clearing the whole table.
  void assign_ascii_pair(std::string_view pattern, std::string_view text) noexcept;

  // Pattern of at most 64 code points, given as valid UTF-8.
  void assign_code_points(std::string_view pattern) noexcept;

  // The same, for the text the code-point kernel will read: as with
  // assign_ascii_pair, only the direct entries of code points of `pattern`
  // and `text` are set, and no other entry may be read.
  void assign_code_point_pair(std::string_view pattern, std::string_view text) noexcept;

  // The 256 direct masks, indexed by byte or code point below 256.
  const std::uint64_t* direct() const noexcept { return direct_; }

  // Mask of any code point; 0 when the pattern does not contain it.
  std::uint64_t get(char32_t c) const noexcept { return c < 256 ? direct_[c] : map_get(c); }

 private:
  static constexpr std::size_t kSlots = 128;  // twice the most distinct keys
  static std::size_t slot_of(char32_t c) noexcept {
    return (static_cast<std::uint32_t>(c) * 0x9E3779B1u) >> (32 - 7);
  }
  std::uint64_t map_get(char32_t c) const noexcept;
  // Sets the bits of `pattern`, byte by byte, on entries already cleared.
  void fill_bytes(std::string_view pattern) noexcept;
  void fill_code_points(std::string_view pattern, bool clear_own) noexcept;
  void map_or(char32_t c, std::uint64_t bit) noexcept;

  std::uint64_t direct_[256];
  // Open addressing; key 0 marks an empty slot (keys are all >= 256). Only
  // initialised once the pattern has a code point of 256 or above.
  char32_t keys_[kSlots];
  std::uint64_t values_[kSlots];
  bool map_used_ = false;
};

// Pattern of 65 or more code points: one row of words() 64-bit values per
// character, position i being bit i % 64 of word i / 64. Bits above the
// pattern's last position are 0 in every row.
class BlockMaskTable {
 public:
  // `pattern` is valid UTF-8 holding `length` code points.
  BlockMaskTable(std::string_view pattern, std::size_t length);

  std::size_t words() const noexcept { return words_; }

  // Row of `c`: exactly words() values, all zero when the pattern lacks c.
  const std::uint64_t* row(char32_t c) const noexcept {
    if (c >= 256) return map_row(c);
    return (live_[c / 64] >> (c % 64)) & 1 ? direct_.get() + c * words_ : zero_row_.get();
  }

  // The row of every code point the pattern lacks.
  const std::uint64_t* zero_row() const noexcept { return zero_row_.get(); }

 private:
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
