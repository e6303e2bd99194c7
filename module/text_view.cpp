#include "text_view.hpp"

#include <cstddef>
#include <cstdint>

namespace morvane::py {

Text unchecked_view(PyObject* str) noexcept {
  const void* const data = PyUnicode_DATA(str);
  const auto size = static_cast<std::size_t>(PyUnicode_GET_LENGTH(str));
  switch (PyUnicode_KIND(str)) {
    case PyUnicode_1BYTE_KIND:
      return Text::latin1(static_cast<const std::uint8_t*>(data), size, PyUnicode_IS_ASCII(str));
    case PyUnicode_2BYTE_KIND:
      return Text::ucs2(static_cast<const std::uint16_t*>(data), size);
    default:
      return Text::ucs4(static_cast<const std::uint32_t*>(data), size);
  }
}

bool raise_lone_surrogate(PyObject* str) {
  // The interpreter's own conversion raises the exact exception a caller of
  // str.encode() would see.
  if (PyUnicode_AsUTF8AndSize(str, nullptr) == nullptr) return true;
  // Unreachable for a str that holds a surrogate.
  PyErr_SetString(PyExc_SystemError, "a lone surrogate the interpreter could encode");
  return true;
}

bool native_view(PyObject* str, Text& out) {
  out = unchecked_view(str);
  if (!has_lone_surrogate(out)) return true;
  raise_lone_surrogate(str);
  return false;
}

}  // namespace morvane::py
