// The lookup's default processor: a text lowercased as str.lower() does,
// every run of code points that are not alphanumeric (str.isalnum()) turned
// into one space, and the runs at either end dropped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "morvane/text.hpp"

namespace morvane {

// Whether str.isalnum() holds for the code point (false past U+10FFFF).
bool is_alnum(char32_t c) noexcept;

// The processed code points of `text` into `out` (cleared first, then
// sized to their count); returns the largest of them, 0 for an empty result,
// which tells a caller how narrow the result can be stored. Throws
// std::bad_alloc.
char32_t default_process(Text text, std::vector<std::uint32_t>& out);

// The same written into `out` in code units as wide as the text's own, with
// room as lower_into() asks; returns how many it wrote.
std::size_t default_process_into(Text text, void* out) noexcept;

}  // namespace morvane
