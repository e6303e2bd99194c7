#include "text_view.hpp"

#include <cstddef>
#include <cstdint>

namespace morvane::py {

namespace {

// Whether any unit is a surrogate (U+D800 to U+DFFF). Texts of at least one
// vector's worth are tested a vector at a time, the last vector overlapping
// the one before it, so no unit past the end is read and no length needs a
// scalar loop; in the compiler's generic vectors, which every target turns
// into its own instructions.
template <class Unit>
bool has_surrogate(const Unit* units, std::size_t n) noexcept {
  constexpr Unit kMask = static_cast<Unit>(~Unit{0x7FF});
  constexpr std::size_t kUnits = 16 / sizeof(Unit);
  typedef Unit V __attribute__((vector_size(16)));
  if (n < kUnits) {
    // Short texts, the common case for names, without a loop over units:
    // two overlapping 8-byte words when there are that many bytes.
    if (n * sizeof(Unit) >= 8) {
      constexpr std::uint64_t kLaneMask = sizeof(Unit) == 2 ? 0xF800F800F800F800ull : 0xFFFFF800FFFFF800ull;
      constexpr std::uint64_t kLaneSurrogate = sizeof(Unit) == 2 ? 0xD800D800D800D800ull : 0x0000D8000000D800ull;
      constexpr std::uint64_t kLow = sizeof(Unit) == 2 ? 0x0001000100010001ull : 0x0000000100000001ull;
      constexpr std::uint64_t kHigh = sizeof(Unit) == 2 ? 0x8000800080008000ull : 0x8000000080000000ull;
      const auto word = [units](std::size_t byte) {
        std::uint64_t w;
        __builtin_memcpy(&w, reinterpret_cast<const unsigned char*>(units) + byte, 8);
        return w;
      };
      // A lane of y is zero exactly where a unit is a surrogate; the usual
      // test for a zero lane finds any.
      const auto any_zero = [](std::uint64_t y) { return ((y - kLow) & ~y & kHigh) != 0; };
      return any_zero((word(0) & kLaneMask) ^ kLaneSurrogate) ||
             any_zero((word(n * sizeof(Unit) - 8) & kLaneMask) ^ kLaneSurrogate);
    }
    bool found = false;
    for (std::size_t i = 0; i < n; ++i) found |= (units[i] & kMask) == 0xD800;
    return found;
  }
  const auto at = [units](std::size_t i) {
    V v;
    __builtin_memcpy(&v, units + i, sizeof v);
    return v;
  };
  const V mask = V{} + kMask;
  const V surrogate = V{} + Unit{0xD800};
  V found = V{};
  for (std::size_t i = 0; i + kUnits < n; i += kUnits) found |= __builtin_bit_cast(V, (at(i) & mask) == surrogate);
  found |= __builtin_bit_cast(V, (at(n - kUnits) & mask) == surrogate);
  Unit any = 0;
  for (std::size_t k = 0; k < kUnits; ++k) any |= found[k];
  return any != 0;
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
