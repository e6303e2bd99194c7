#include "morvane/batch_query.hpp"

#include <algorithm>

#include "morvane/error.hpp"
#include "morvane/lower.hpp"

namespace morvane {

namespace {

// The code points of a batch's query, lowercased in full when folding.
std::vector<std::uint32_t> batch_pattern(Text query, bool fold) {
  std::vector<std::uint32_t> out;
  if (fold) {
    const LowerText lower(query);
    out.resize(lower.text().size());
    with_units(lower.text(), [&](const auto* t, std::size_t n) { std::copy(t, t + n, out.begin()); });
  } else {
    out.resize(query.size());
    with_units(query, [&](const auto* t, std::size_t n) { std::copy(t, t + n, out.begin()); });
  }
  return out;
}

}  // namespace

QueryMasks::QueryMasks(Text pattern, UpperVariants variants)
    : words_(std::max<std::size_t>(1, (pattern.size() + 63) / 64)),
      direct_(std::make_unique<std::uint64_t[]>(checked_bytes(checked_bytes(256, words_), sizeof(std::uint64_t)) /
                                                sizeof(std::uint64_t))),
      directory_(std::make_unique<std::uint16_t[]>(kDirectory)),
      pages_(256, 0),
      pages_used_(1),
      rows_(words_, 0) {
  with_units(pattern, [&](const auto* p, std::size_t m) {
    for (std::size_t i = 0; i < m; ++i) {
      const std::uint64_t bit = std::uint64_t{1} << (i % 64);
      const char32_t c = p[i];
      row_for(c)[i / 64] |= bit;
      if (variants == UpperVariants::with) {
        for (const char32_t r : upper_variants(c)) row_for(r)[i / 64] |= bit;
      }
    }
  });
  if (words_ == 1) {
    // Pages as rows have them, then one more for the code points below 256.
    masks_.resize(pages_.size() + 256);
    for (std::size_t k = 0; k < pages_.size(); ++k) masks_[k] = rows_[pages_[k]];
    std::copy(direct_.get(), direct_.get() + 256, masks_.begin() + static_cast<std::ptrdiff_t>(pages_.size()));
    mask_directory_ = std::make_unique_for_overwrite<std::uint16_t[]>(kDirectory);
    std::copy(directory_.get(), directory_.get() + kDirectory, mask_directory_.get());
    mask_directory_[0] = static_cast<std::uint16_t>(pages_used_);
  }
}

std::uint64_t* QueryMasks::row_for(char32_t c) {
  if (c < 256) return direct_.get() + c * words_;
  const std::size_t hi = std::min<std::size_t>(c >> 8, kDirectory - 2);
  std::uint16_t& page = directory_[hi];
  if (page == 0) {
    page = static_cast<std::uint16_t>(pages_used_++);
    pages_.resize(pages_.size() + 256, 0);
  }
  std::uint32_t& id = pages_[std::size_t{page} * 256 + (c & 0xFF)];
  if (id == 0) {
    const std::size_t rows = rows_.size() / words_;
    if (rows > 0xFFFFFFFFu) throw Panic("capacity overflow");
    checked_bytes(rows_.size() + words_, sizeof(std::uint64_t));
    id = static_cast<std::uint32_t>(rows);
    rows_.resize(rows_.size() + words_, 0);
  }
  return rows_.data() + std::size_t{id} * words_;
}

void QueryMasks::index_basic_plane() {
  if (words_ != 1 || bmp_index_) return;
  // Slot 0 is the zero mask, slots 1 to 256 the code points below 256, then
  // one slot per wide code point that has a row; at most as many as the
  // rows, far below 2^16 for a pattern of 64 code points and its upper
  // variants.
  const std::size_t rows = rows_.size();
  if (257 + rows > 0xFFFF) return;
  bmp_masks_.assign(257 + rows, 0);
  bmp_index_ = std::make_unique<std::uint16_t[]>(0x10000);
  for (std::size_t c = 0; c < 256; ++c) {
    bmp_masks_[1 + c] = direct_[c];
    bmp_index_[c] = static_cast<std::uint16_t>(1 + c);
  }
  for (std::size_t id = 1; id < rows; ++id) bmp_masks_[257 + id] = rows_[id];
  for (std::size_t hi = 1; hi < 256; ++hi) {
    const std::size_t page = directory_[hi];
    if (page == 0) continue;
    for (std::size_t lo = 0; lo < 256; ++lo) {
      const std::uint32_t id = pages_[page * 256 + lo];
      if (id != 0) bmp_index_[(hi << 8) | lo] = static_cast<std::uint16_t>(257 + id);
    }
  }
}

bool needs_full_lowering(Text candidate) noexcept { return (wide_flags(candidate, true) & kContextual) != 0; }

BatchQuery::BatchQuery(Text query, std::optional<bool> fold, double prefix_scale)
    : char_count(query.size()),
      case_insensitive(fold.value_or(false)),
      pattern(batch_pattern(query, case_insensitive)),
      masks(Text::ucs4(pattern.data(), pattern.size()),
            case_insensitive ? UpperVariants::with : UpperVariants::without),
      p(prefix_scale) {}

}  // namespace morvane
