#include "morvane/default_process.hpp"

#include "morvane/lower.hpp"
#include "morvane/text.hpp"

namespace morvane {

namespace {
#include "alnum_tables.inc"
}  // namespace

bool is_alnum(char32_t c) noexcept {
  if (c > 0x10FFFF) return false;
  const std::uint64_t* bitmap = kAlnumBitmaps[kAlnumBlocks[c >> 8]];
  return ((bitmap[(c & 0xFF) >> 6] >> (c & 63)) & 1) != 0;
}

char32_t default_process(Text text, std::vector<std::uint32_t>& out) {
  out.clear();
  const LowerText lowered(text);
  char32_t top = 0;
  with_units(lowered.text(), [&](const auto* units, std::size_t size) {
    bool gap = false;
    for (std::size_t i = 0; i < size; ++i) {
      const char32_t c = units[i];
      if (!is_alnum(c)) {
        gap = true;
        continue;
      }
      if (gap && !out.empty()) out.push_back(U' ');
      gap = false;
      out.push_back(c);
      top = c > top ? c : top;
    }
  });
  return top;
}

std::size_t default_process_into(Text text, void* out) noexcept {
  // Lowered in place, then kept alphanumerics and single spaces moved down.
  const std::size_t lowered = lower_into(text, out);
  std::size_t n = 0;
  const auto compact = [&](auto* units) {
    bool gap = false;
    for (std::size_t i = 0; i < lowered; ++i) {
      const auto c = units[i];
      if (!is_alnum(static_cast<char32_t>(c))) {
        gap = true;
        continue;
      }
      if (gap && n != 0) units[n++] = ' ';
      gap = false;
      units[n++] = c;
    }
  };
  switch (text.width()) {
    case 1: compact(static_cast<std::uint8_t*>(out)); break;
    case 2: compact(static_cast<std::uint16_t*>(out)); break;
    default: compact(static_cast<std::uint32_t*>(out)); break;
  }
  return n;
}

}  // namespace morvane
