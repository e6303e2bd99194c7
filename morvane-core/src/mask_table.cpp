#include "morvane/mask_table.hpp"

#include <cstring>

#include "morvane/error.hpp"
#include "morvane/text.hpp"

namespace morvane {

void MaskTable::fill_bytes(std::string_view pattern) noexcept {
  map_used_ = false;
  std::uint64_t bit = 1;
  for (const unsigned char c : byte_span(pattern)) {
    direct_[c] |= bit;
    bit <<= 1;
  }
}

void MaskTable::assign_bytes(std::string_view pattern) noexcept {
  std::memset(direct_, 0, sizeof direct_);
  fill_bytes(pattern);
}

void MaskTable::assign_ascii_pair(std::string_view pattern, std::string_view text) noexcept {
  if (pattern.size() + text.size() < 128) {
    for (const unsigned char c : byte_span(text)) direct_[c] = 0;
    for (const unsigned char c : byte_span(pattern)) direct_[c] = 0;
  } else {
    std::memset(direct_, 0, 128 * sizeof(std::uint64_t));  // ASCII bytes only
  }
  fill_bytes(pattern);
}

void MaskTable::assign_code_point_pair(std::string_view pattern, std::string_view text) noexcept {
  if (pattern.size() + text.size() >= 128) {
    assign_code_points(pattern);
    return;
  }
  for_each_code_point(text, [&](char32_t c) {
    if (c < 256) direct_[c] = 0;
  });
  fill_code_points(pattern, true);
}

void MaskTable::assign_code_points(std::string_view pattern) noexcept {
  std::memset(direct_, 0, sizeof direct_);
  fill_code_points(pattern, false);
}

void MaskTable::fill_code_points(std::string_view pattern, bool clear_own) noexcept {
  map_used_ = false;
  if (clear_own) {
    for_each_code_point(pattern, [&](char32_t c) {
      if (c < 256) direct_[c] = 0;
    });
  }
  std::uint64_t bit = 1;
  for_each_code_point(pattern, [&](char32_t c) {
    if (c < 256) {
      direct_[c] |= bit;
    } else {
      map_or(c, bit);
    }
    bit <<= 1;
  });
}

std::uint64_t MaskTable::map_get(char32_t c) const noexcept {
  if (!map_used_) return 0;
  for (std::size_t i = slot_of(c);; i = (i + 1) % kSlots) {
    if (keys_[i] == c) return values_[i];
    if (keys_[i] == 0) return 0;
  }
}

void MaskTable::map_or(char32_t c, std::uint64_t bit) noexcept {
  if (!map_used_) {
    std::memset(keys_, 0, sizeof keys_);
    map_used_ = true;
  }
  // At most 64 keys in 128 slots: an empty slot is always found.
  for (std::size_t i = slot_of(c);; i = (i + 1) % kSlots) {
    if (keys_[i] == c) {
      values_[i] |= bit;
      return;
    }
    if (keys_[i] == 0) {
      keys_[i] = c;
      values_[i] = bit;
      return;
    }
  }
}

namespace {

std::size_t map_slot(char32_t c, std::size_t mask) noexcept {
  return (static_cast<std::size_t>(c) * 0x9E3779B97F4A7C15ull >> 32) & mask;
}

// rows x words 64-bit values in one block, zeroed or left unset.
std::unique_ptr<std::uint64_t[]> words_block(std::size_t rows, std::size_t words, bool zeroed) {
  const std::size_t count = checked_bytes(rows, words);  // element count, overflow-checked
  checked_bytes(count, sizeof(std::uint64_t));
  return zeroed ? std::make_unique<std::uint64_t[]>(count) : std::make_unique_for_overwrite<std::uint64_t[]>(count);
}

}  // namespace

BlockMaskTable::BlockMaskTable(std::string_view pattern, std::size_t length)
    : words_((length + 63) / 64),
      direct_(words_block(256, words_, false)),
      zero_row_(words_block(1, words_, true)) {
  // An ASCII pattern, the common case, is filled byte by byte without
  // decoding, and only its 128 possible rows exist.
  const bool ascii = is_ascii(pattern);
  const std::size_t rows = ascii ? 128 : 256;
  // A small table is cleared in one go, which is cheaper than clearing rows
  // one by one as they come; a large one only gets the rows it uses.
  const bool cleared = words_ <= 4;
  if (cleared) {
    std::memset(direct_.get(), 0, rows * words_ * sizeof(std::uint64_t));
    for (std::size_t k = 0; k < rows / 64; ++k) live_[k] = ~std::uint64_t{0};
  }
  const auto direct_row = [&](char32_t c) {
    std::uint64_t* const row = direct_.get() + c * words_;
    if (((live_[c / 64] >> (c % 64)) & 1) == 0) {
      std::memset(row, 0, words_ * sizeof(std::uint64_t));
      live_[c / 64] |= std::uint64_t{1} << (c % 64);
    }
    return row;
  };
  if (ascii) {
    const unsigned char* const p = bytes_of(pattern);
    for (std::size_t i = 0; i < pattern.size(); ++i) {
      std::uint64_t* const row = cleared ? direct_.get() + p[i] * words_ : direct_row(p[i]);
      row[i / 64] |= std::uint64_t{1} << (i % 64);
    }
    return;
  }
  std::size_t i = 0;
  for_each_code_point(pattern, [&](char32_t c) {
    std::uint64_t* const row = c < 256 ? direct_row(c) : map_row_for_insert(c);
    row[i / 64] |= std::uint64_t{1} << (i % 64);
    ++i;
  });
}

const std::uint64_t* BlockMaskTable::map_row(char32_t c) const noexcept {
  if (map_size_ == 0) return zero_row_.get();
  const std::size_t mask = keys_.size() - 1;
  for (std::size_t i = map_slot(c, mask);; i = (i + 1) & mask) {
    if (keys_[i] == c) return rows_.data() + std::size_t{row_of_[i]} * words_;
    if (keys_[i] == 0) return zero_row_.get();
  }
}

void BlockMaskTable::grow_map() {
  const std::size_t capacity = keys_.empty() ? 16 : keys_.size() * 2;
  std::vector<char32_t> keys(capacity, 0);
  std::vector<std::uint32_t> rows(capacity, 0);
  const std::size_t mask = capacity - 1;
  for (std::size_t j = 0; j < keys_.size(); ++j) {
    if (keys_[j] == 0) continue;
    std::size_t i = map_slot(keys_[j], mask);
    while (keys[i] != 0) i = (i + 1) & mask;
    keys[i] = keys_[j];
    rows[i] = row_of_[j];
  }
  keys_.swap(keys);
  row_of_.swap(rows);
}

std::uint64_t* BlockMaskTable::map_row_for_insert(char32_t c) {
  if ((map_size_ + 1) * 2 > keys_.size()) grow_map();
  const std::size_t mask = keys_.size() - 1;
  std::size_t i = map_slot(c, mask);
  for (; keys_[i] != 0; i = (i + 1) & mask) {
    if (keys_[i] == c) return rows_.data() + std::size_t{row_of_[i]} * words_;
  }
  // Distinct code points never exceed the pattern length, which fits a
  // Python string; a row index above 2^32 would need 2^32 rows of words_.
  if (map_size_ >= 0xFFFFFFFFu) throw Panic("capacity overflow");
  checked_bytes(rows_.size() + words_, sizeof(std::uint64_t));
  rows_.resize(rows_.size() + words_, 0);
  keys_[i] = c;
  row_of_[i] = static_cast<std::uint32_t>(map_size_);
  ++map_size_;
  return rows_.data() + (map_size_ - 1) * words_;
}

}  // namespace morvane
