// Text preparation shared by every measure: the all-ASCII test, code-point
// counting and decoding over UTF-8, optional case folding and the length limit.
//
// Every text handed to the core is valid UTF-8 (it comes from a Python str,
// whose encoding rejects lone surrogates). The functions below rely on that and
// do not validate.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "morvane/error.hpp"

namespace morvane {

// True when every byte is below 0x80 (the empty text included).
bool is_ascii(std::string_view text) noexcept;

// Number of code points of valid UTF-8, counted without decoding.
std::size_t count_code_points(std::string_view text) noexcept;

// Decodes the code point that starts at `p` and advances `p` past it.
inline char32_t decode_utf8(const unsigned char*& p) noexcept {
  const char32_t c = *p++;
  if (c < 0x80) return c;
  if (c < 0xE0) {
    const char32_t r = ((c & 0x1F) << 6) | (p[0] & 0x3Fu);
    p += 1;
    return r;
  }
  if (c < 0xF0) {
    const char32_t r = ((c & 0x0F) << 12) | (char32_t{p[0] & 0x3Fu} << 6) | (p[1] & 0x3Fu);
    p += 2;
    return r;
  }
  const char32_t r = ((c & 0x07) << 18) | (char32_t{p[0] & 0x3Fu} << 12) |
                     (char32_t{p[1] & 0x3Fu} << 6) | (p[2] & 0x3Fu);
  p += 3;
  return r;
}

inline const unsigned char* bytes_of(std::string_view text) noexcept {
  return reinterpret_cast<const unsigned char*>(text.data());
}

// The bytes of `text` as unsigned values, for range-for loops.
inline std::span<const unsigned char> byte_span(std::string_view text) noexcept {
  return {bytes_of(text), text.size()};
}

// Calls f(code_point) for every code point of `text`, first to last.
template <class F>
inline void for_each_code_point(std::string_view text, F&& f) {
  const unsigned char* p = bytes_of(text);
  const unsigned char* const end = p + text.size();
  while (p < end) f(decode_utf8(p));
}

// One pair after optional folding: both texts, their lengths in code points
// (byte lengths when both are ASCII) and whether both are ASCII.
// Unfolded texts are views of the caller's bytes; folded ones live in the
// object, which is therefore neither copied nor moved.
class PreparedPair {
 public:
  PreparedPair(std::string_view str_1, std::string_view str_2, bool fold);
  PreparedPair(const PreparedPair&) = delete;
  PreparedPair& operator=(const PreparedPair&) = delete;

 private:
  std::string folded_1_;
  std::string folded_2_;

 public:
  std::string_view text_1;
  std::string_view text_2;
  std::size_t len_1 = 0;
  std::size_t len_2 = 0;
  bool all_ascii = false;
};

// InputTooLong for str_1 first, then str_2, when a length exceeds `max_len`.
std::optional<MatchError> check_limit(std::size_t len_1, std::size_t len_2,
                                      std::optional<std::size_t> max_len) noexcept;

}  // namespace morvane
