// Texts in the core's fixed-width storage, made from UTF-8 for tests and
// benchmarks: stored as narrow as the interpreter would store them, or at a
// given width, so that every width of every kernel can be driven.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "edit_distance.hpp"  // reference::code_points
#include "morvane/text.hpp"

namespace reference {

class NativeText {
 public:
  // `width` 0: the narrowest that holds every code point.
  explicit NativeText(std::string_view utf8, unsigned width = 0) : NativeText(code_points(utf8), width) {}
  explicit NativeText(const std::u32string& points, unsigned width = 0) : size_(points.size()) {
    char32_t top = 0;
    for (const char32_t c : points) top = c > top ? c : top;
    width_ = width != 0 ? width : top < 0x100 ? 1u : top < 0x10000 ? 2u : 4u;
    ascii_ = width_ == 1 && top < 0x80;
    bytes_.resize(points.size() * width_ + 1);
    for (std::size_t i = 0; i < points.size(); ++i) {
      unsigned char* const at = bytes_.data() + i * width_;
      if (width_ == 1) {
        *at = static_cast<std::uint8_t>(points[i]);
      } else if (width_ == 2) {
        const auto unit = static_cast<std::uint16_t>(points[i]);
        std::memcpy(at, &unit, 2);
      } else {
        const auto unit = static_cast<std::uint32_t>(points[i]);
        std::memcpy(at, &unit, 4);
      }
    }
  }

  morvane::Text text() const noexcept { return morvane::Text::of_width(bytes_.data(), size_, width_, ascii_); }
  operator morvane::Text() const noexcept { return text(); }  // NOLINT: implicit by design
  unsigned width() const noexcept { return width_; }

 private:
  // From the allocator, so aligned for the widest units.
  std::vector<unsigned char> bytes_;
  std::size_t size_ = 0;
  unsigned width_ = 1;
  bool ascii_ = false;
};

inline NativeText native(std::string_view utf8, unsigned width = 0) { return NativeText(utf8, width); }

// Every width that can store `utf8`, narrowest first.
inline std::vector<unsigned> widths_of(std::string_view utf8) {
  const unsigned narrowest = NativeText(utf8).width();
  std::vector<unsigned> out;
  for (const unsigned w : {1u, 2u, 4u}) {
    if (w >= narrowest) out.push_back(w);
  }
  return out;
}

// Views of many texts at once, for batches.
struct NativeTexts {
  std::vector<NativeText> owned;
  std::vector<morvane::Text> views;

  template <class Range>
  explicit NativeTexts(const Range& utf8_texts, unsigned width = 0) {
    for (const auto& t : utf8_texts) owned.emplace_back(std::string_view(t), width);
    for (const NativeText& t : owned) views.push_back(t.text());
  }
};

}  // namespace reference
