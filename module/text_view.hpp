// The core's view of a Python str: the code points the interpreter stores in
// it, one, two or four bytes each, read in place.
#pragma once

#include "morvane/text.hpp"
#include "python.hpp"

namespace morvane::py {

// The view of `str` (a str or a subclass), or false with the interpreter's
// UnicodeEncodeError set when it holds a lone surrogate, the one content its
// UTF-8 conversion rejects. Creates nothing and caches nothing in the str.
bool native_view(PyObject* str, Text& out);

// The view of `str` without the surrogate test, for texts whose test is put
// off (has_lone_surrogate in the core) to where their code points are read
// anyway.
Text unchecked_view(PyObject* str) noexcept;

// Raises the interpreter's UnicodeEncodeError for `str`, which holds a lone
// surrogate; returns true.
bool raise_lone_surrogate(PyObject* str);

}  // namespace morvane::py
