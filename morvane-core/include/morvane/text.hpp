// Texts as the core reads them: fixed-width code points, one, two or four
// bytes each, exactly the storage the interpreter keeps inside its strings.
// Lengths are counts of code points and cost nothing; nothing is decoded.
//
// Preparation shared by every measure lives here too: optional case folding
// of a pair and the length limit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

#include "morvane/error.hpp"

namespace morvane {

// A read-only view of `size()` code points stored `width()` bytes each. The
// viewer keeps the storage alive. Views are built by the caller, which
// vouches for their content: every code point is at most U+10FFFF, two- and
// four-byte storage holds no lone surrogate, and ascii() is only claimed for one-byte storage whose every
// code point is below 128. Nothing else is assumed: the same text stored
// wider than it needs, or one-byte storage not claimed ASCII, gives the same
// results, only by other routes.
class Text {
 public:
  constexpr Text() noexcept = default;

  // Code points 0 to 255, one byte each.
  static Text latin1(const std::uint8_t* data, std::size_t size, bool ascii) noexcept {
    return Text(data, size, 0, ascii);
  }
  static Text ucs2(const std::uint16_t* data, std::size_t size) noexcept { return Text(data, size, 1, false); }
  static Text ucs4(const std::uint32_t* data, std::size_t size) noexcept { return Text(data, size, 2, false); }
  // Storage of `width` bytes per code point (1, 2 or 4).
  static Text of_width(const void* data, std::size_t size, unsigned width, bool ascii) noexcept {
    return Text(data, size, width == 1 ? 0u : width == 2 ? 1u : 2u, width == 1 && ascii);
  }

  // Storage of 1 << log_width bytes per code point (log_width 0, 1 or 2),
  // without a branch on the width.
  static Text of_log_width(const void* data, std::size_t size, unsigned log_width, bool ascii) noexcept {
    return Text(data, size, log_width, ascii);
  }

  constexpr std::size_t size() const noexcept { return static_cast<std::size_t>(meta_ >> kSizeShift); }
  constexpr bool empty() const noexcept { return size() == 0; }
  constexpr unsigned width() const noexcept { return 1u << (meta_ & kWidthBits); }
  constexpr unsigned log_width() const noexcept { return static_cast<unsigned>(meta_ & kWidthBits); }
  // One-byte storage, every code point below 128.
  constexpr bool ascii() const noexcept { return (meta_ & kAsciiBit) != 0; }
  constexpr const void* data() const noexcept { return data_; }

  // Code point `i`; for code off the hot paths.
  char32_t at(std::size_t i) const noexcept {
    switch (meta_ & kWidthBits) {
      case 0: return static_cast<const std::uint8_t*>(data_)[i];
      case 1: return static_cast<const std::uint16_t*>(data_)[i];
      default: return static_cast<const std::uint32_t*>(data_)[i];
    }
  }

 private:
  static constexpr unsigned kSizeShift = 3;
  static constexpr std::uint64_t kWidthBits = 3;  // log2 of the width
  static constexpr std::uint64_t kAsciiBit = 4;

  Text(const void* data, std::size_t size, unsigned width_code, bool ascii) noexcept
      : data_(data),
        meta_((static_cast<std::uint64_t>(size) << kSizeShift) | (ascii ? kAsciiBit : 0) | width_code) {}

  const void* data_ = nullptr;
  std::uint64_t meta_ = 0;
};

// Whether a code unit is a code point below 256; always for one-byte units.
template <class Unit>
constexpr bool below_256(Unit c) noexcept {
  if constexpr (sizeof(Unit) == 1) {
    return true;
  } else {
    return c < 256;
  }
}

// Calls f(chars, size) with `chars` a pointer to the text's code units
// (std::uint8_t, std::uint16_t or std::uint32_t): the one place a width
// becomes a type.
template <class F>
decltype(auto) with_units(Text text, F&& f) {
  switch (text.width()) {
    case 1: return f(static_cast<const std::uint8_t*>(text.data()), text.size());
    case 2: return f(static_cast<const std::uint16_t*>(text.data()), text.size());
    default: return f(static_cast<const std::uint32_t*>(text.data()), text.size());
  }
}

// Both texts' code units at once: f(a, len_a, b, len_b), nine combinations.
template <class F>
decltype(auto) with_units(Text a, Text b, F&& f) {
  return with_units(a, [&](const auto* pa, std::size_t na) -> decltype(auto) {
    return with_units(b, [&](const auto* pb, std::size_t nb) -> decltype(auto) { return f(pa, na, pb, nb); });
  });
}

// Whether two- or four-byte storage holds a lone surrogate (U+D800 to
// U+DFFF); one-byte storage never does. For callers that vouch for Text's
// content only after asking.
bool has_lone_surrogate(Text text) noexcept;

// What one pass over a text finds: kLoneSurrogate as has_lone_surrogate;
// with `contextual`, kContextual when the text holds a code point whose
// lowercase form depends on its neighbours or has several code points
// (U+03A3, U+0130), which a batch that folds lowercases in full. Both are
// zero for one-byte storage.
inline constexpr unsigned kLoneSurrogate = 1;
inline constexpr unsigned kContextual = 2;
unsigned wide_flags(Text text, bool contextual) noexcept;

// Leading code points on which both agree, at most min(len_a, len_b).
template <class A, class B>
std::size_t common_prefix_length(const A* a, std::size_t len_a, const B* b, std::size_t len_b) noexcept {
  const std::size_t n = len_a < len_b ? len_a : len_b;
  std::size_t k = 0;
  while (k < n && static_cast<char32_t>(a[k]) == static_cast<char32_t>(b[k])) ++k;
  return k;
}

// Trailing code points on which both agree, at most min(len_a, len_b).
template <class A, class B>
std::size_t common_suffix_length(const A* a, std::size_t len_a, const B* b, std::size_t len_b) noexcept {
  const std::size_t n = len_a < len_b ? len_a : len_b;
  std::size_t k = 0;
  while (k < n && static_cast<char32_t>(a[len_a - 1 - k]) == static_cast<char32_t>(b[len_b - 1 - k])) ++k;
  return k;
}

// The full lowercase form of a text (Python's str.lower()), stored as wide as
// the input: lowercasing keeps code points below 256 below 256 and those of
// the basic plane in it. Texts of up to kInlineBytes bytes of output live in
// the object itself, longer ones on the heap. The text points into the
// object, which is therefore neither copied nor moved.
class LowerText {
 public:
  static constexpr std::size_t kInlineBytes = 512;

  explicit LowerText(Text text);
  LowerText(const LowerText&) = delete;
  LowerText& operator=(const LowerText&) = delete;

  Text text() const noexcept { return text_; }

 private:
  alignas(8) unsigned char inline_[kInlineBytes];
  std::unique_ptr<unsigned char[]> heap_;
  Text text_;
};

// One pair after optional folding. Unfolded texts are the caller's views;
// folded ones live in the object.
class PreparedPair {
 public:
  PreparedPair(Text str_1, Text str_2, bool fold);
  PreparedPair(const PreparedPair&) = delete;
  PreparedPair& operator=(const PreparedPair&) = delete;

  Text text_1() const noexcept { return text_1_; }
  Text text_2() const noexcept { return text_2_; }

 private:
  std::optional<LowerText> folded_1_;
  std::optional<LowerText> folded_2_;
  Text text_1_;
  Text text_2_;
};

// InputTooLong for str_1 first, then str_2, when a length exceeds `max_len`.
std::optional<MatchError> check_limit(std::size_t len_1, std::size_t len_2,
                                      std::optional<std::size_t> max_len) noexcept;

}  // namespace morvane
