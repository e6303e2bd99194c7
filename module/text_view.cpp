#include "text_view.hpp"

#include <cstddef>
#include <cstdint>

namespace morvane::py {

namespace {

// Whether any unit is a surrogate (U+D800 to U+DFFF). Blocks of 32 units
// are tested without an early exit inside, so the test vectorises.
template <class Unit>
bool has_surrogate(const Unit* units, std::size_t n) noexcept {
  constexpr Unit kMask = static_cast<Unit>(~Unit{0x7FF});
  std::size_t i = 0;
  for (; i + 32 <= n; i += 32) {
    bool found = false;
    for (std::size_t k = 0; k < 32; ++k) found |= (units[i + k] & kMask) == 0xD800;
    if (found) return true;
  }
  bool found = false;
  for (; i < n; ++i) found |= (units[i] & kMask) == 0xD800;
  return found;
}

}  // namespace

bool native_view(PyObject* str, Text& out) {
  const void* const data = PyUnicode_DATA(str);
  const auto size = static_cast<std::size_t>(PyUnicode_GET_LENGTH(str));
  switch (PyUnicode_KIND(str)) {
    case PyUnicode_1BYTE_KIND:
      out = Text::latin1(static_cast<const std::uint8_t*>(data), size, PyUnicode_IS_ASCII(str));
      return true;
    case PyUnicode_2BYTE_KIND:
      out = Text::ucs2(static_cast<const std::uint16_t*>(data), size);
      if (!has_surrogate(static_cast<const std::uint16_t*>(data), size)) return true;
      break;
    default:
      out = Text::ucs4(static_cast<const std::uint32_t*>(data), size);
      if (!has_surrogate(static_cast<const std::uint32_t*>(data), size)) return true;
      break;
  }
  // The interpreter's own conversion raises the exact exception a caller of
  // str.encode() would see.
  if (PyUnicode_AsUTF8AndSize(str, nullptr) == nullptr) return false;
  // Unreachable for a str that holds a surrogate; should it succeed, the
  // view stays good, surrogate and all.
  return true;
}

}  // namespace morvane::py
