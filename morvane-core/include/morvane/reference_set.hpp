// A prepared set of texts for many lookups: copied once into contiguous
// native storage, lowered once when matching folds case, and ordered by
// length, so that scoring many queries against it takes nothing in again
// and a cut-off can rule out whole runs of lengths at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "morvane/bulk_vector.hpp"
#include "morvane/text.hpp"

namespace morvane {

class ReferenceSet {
 public:
  // The texts `texts[i]` at positions `positions[i]` (a caller's numbering,
  // rising with i, handed back in results), lowered with str.lower() when `lower`. Every
  // view must satisfy Text's contract except that wide ones may hold lone
  // surrogates: the first such text's index in `texts` is then stored in
  // `lone_surrogate` and the set is left empty. Throws std::bad_alloc, and
  // std::length_error beyond kMaxItems texts. With `borrow` (and not
  // `lower`), the set keeps the caller's views instead of copies, and the
  // caller keeps their storage alive as long as the set. With `process`,
  // each text is taken through default_process() (which lowers) instead:
  // the set then holds the processed texts as given texts.
  static ReferenceSet build(std::span<const Text> texts, std::span<const std::uint64_t> positions, bool lower,
                            std::size_t* lone_surrogate, bool borrow = false, bool process = false);

  ReferenceSet() = default;
  ReferenceSet(ReferenceSet&&) noexcept = default;
  ReferenceSet& operator=(ReferenceSet&&) noexcept = default;

  std::size_t size() const noexcept { return texts_.size(); }
  bool lowered() const noexcept { return lowered_; }

  // Items in order of length, equal lengths in the order they were given.
  // Lengths are those of the stored (lowered, when the set is) texts.
  std::span<const Text> texts() const noexcept { return texts_; }
  Text text(std::size_t i) const noexcept { return texts_[i]; }
  std::uint64_t position(std::size_t i) const noexcept { return positions_[i]; }
  std::span<const std::uint64_t> positions() const noexcept { return positions_; }
  // The items in order of their positions.
  std::span<const std::uint32_t> by_position() const noexcept { return by_position_; }
  // Code points of item i before lowering.
  std::size_t unlowered_length(std::size_t i) const noexcept { return unlowered_[i]; }

  // The first item at least `length` code points long (size() if none).
  std::size_t first_of_length(std::size_t length) const noexcept;
  // Items of lengths lo to hi, both included: [begin, end).
  std::pair<std::size_t, std::size_t> lengths_between(std::size_t lo, std::size_t hi) const noexcept;
  // The distinct lengths, ascending, and where each starts; starts() has one
  // more entry, size().
  std::span<const std::size_t> lengths() const noexcept { return lengths_; }
  std::span<const std::size_t> starts() const noexcept { return starts_; }
  std::size_t longest() const noexcept { return lengths_.empty() ? 0 : lengths_.back(); }
  // At most this many items (item numbers are 32-bit).
  static constexpr std::size_t kMaxItems = UINT32_MAX;
  // Bytes held, storage and tables together.
  std::size_t memory() const noexcept;

 private:
  std::unique_ptr<std::uint32_t[]> storage_;  // 4-byte aligned runs of every width
  std::size_t storage_words_ = 0;
  BulkVector<Text> texts_;
  BulkVector<std::uint64_t> positions_;
  BulkVector<std::size_t> unlowered_;
  BulkVector<std::uint32_t> by_position_;
  std::vector<std::size_t> lengths_;
  std::vector<std::size_t> starts_;
  bool lowered_ = false;
};

}  // namespace morvane
