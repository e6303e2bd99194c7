#include "text_view.hpp"

#include <cstddef>
#include <cstdint>

namespace morvane::py {

Text unchecked_view(PyObject* str) noexcept {
  const auto size = static_cast<std::size_t>(PyUnicode_GET_LENGTH(str));
  const bool ascii = PyUnicode_IS_ASCII(str);
  // The kinds 1, 2 and 4 are the widths; a batch mixing them would mispredict
  // a branch on each candidate, so the view is put together arithmetically.
  const unsigned log_width = static_cast<unsigned>(PyUnicode_KIND(str)) >> 1;
  const void* data;
  if (PyUnicode_IS_COMPACT(str)) [[likely]] {
    data = reinterpret_cast<const char*>(str) + (ascii ? sizeof(PyASCIIObject) : sizeof(PyCompactUnicodeObject));
  } else {
    data = PyUnicode_DATA(str);
  }
  return Text::of_log_width(data, size, log_width, ascii);
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
