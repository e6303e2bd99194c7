#include "morvane/mask_table.hpp"

#include <cstring>

#include "morvane/error.hpp"

namespace morvane {

void MaskTable::map_or(char32_t c, std::uint64_t bit) noexcept {
  if (!map_used_) {
    std::memset(keys_, 0, sizeof(char32_t) << slot_bits_);
    map_used_ = true;
  }
  // At most half the slots are ever taken: an empty slot is always found.
  const std::size_t mask = (std::size_t{1} << slot_bits_) - 1;
  for (std::size_t i = slot_of(c);; i = (i + 1) & mask) {
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

template <class P>
BlockMaskTable::BlockMaskTable(const P* pattern, std::size_t m)
    : words_((m + 63) / 64), direct_(words_block(256, words_, false)), zero_row_(words_block(1, words_, true)) {
  fill(pattern, m);
}

template BlockMaskTable::BlockMaskTable(const std::uint8_t*, std::size_t);
template BlockMaskTable::BlockMaskTable(const std::uint16_t*, std::size_t);
template BlockMaskTable::BlockMaskTable(const std::uint32_t*, std::size_t);

template <class P>
void BlockMaskTable::fill(const P* pattern, std::size_t m) {
  // A pattern of one-byte code points below 128, the common case, has only
  // 128 possible rows.
  std::size_t rows = 256;
  if constexpr (sizeof(P) == 1) {
    unsigned seen = 0;
    for (std::size_t i = 0; i < m; ++i) seen |= pattern[i];
    if (seen < 0x80) rows = 128;
  }
  // A small table is cleared in one go, which is cheaper than clearing rows
  // one by one as they come; a large one only gets the rows it uses. The
  // loops work on locals: stores into the rows could otherwise alias the
  // members, which would be reloaded for every code point.
  const std::size_t words = words_;
  std::uint64_t* const direct = direct_.get();
  if (words <= 4) {
    // Plain stores rather than memset: short blocks, where the inline
    // string instruction the compiler would pick starts slowly.
    for (std::size_t k = 0; k < rows * words; ++k) direct[k] = 0;
    for (std::size_t k = 0; k < rows / 64; ++k) live_[k] = ~std::uint64_t{0};
    for (std::size_t i = 0; i < m; ++i) {
      std::uint64_t* const row =
          below_256(pattern[i]) ? direct + std::size_t{pattern[i]} * words : map_row_for_insert(pattern[i]);
      row[i / 64] |= std::uint64_t{1} << (i % 64);
    }
    return;
  }
  std::uint64_t live[4] = {0, 0, 0, 0};
  for (std::size_t i = 0; i < m; ++i) {
    const char32_t c = pattern[i];
    std::uint64_t* row;
    if (!below_256(pattern[i])) {
      row = map_row_for_insert(c);
    } else {
      row = direct + c * words;
      if (((live[c / 64] >> (c % 64)) & 1) == 0) {
        std::memset(row, 0, words * sizeof(std::uint64_t));
        live[c / 64] |= std::uint64_t{1} << (c % 64);
      }
    }
    row[i / 64] |= std::uint64_t{1} << (i % 64);
  }
  for (std::size_t k = 0; k < 4; ++k) live_[k] = live[k];
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
