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

}  // namespace morvane::py
