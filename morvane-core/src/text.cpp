#include "morvane/text.hpp"

#include <cstring>

#include "morvane/casefold.hpp"

namespace morvane {

bool is_ascii(std::string_view text) noexcept {
  const unsigned char* p = bytes_of(text);
  std::size_t n = text.size();
  std::uint64_t acc = 0;
  // Whole 8-byte words first; the OR-reduction vectorises.
  for (; n >= 32; n -= 32, p += 32) {
    std::uint64_t w[4];
    std::memcpy(w, p, 32);
    if (((w[0] | w[1] | w[2] | w[3]) & 0x8080808080808080ull) != 0) return false;
  }
  for (; n >= 8; n -= 8, p += 8) {
    std::uint64_t w;
    std::memcpy(&w, p, 8);
    acc |= w;
  }
  for (; n > 0; --n, ++p) acc |= *p;
  return (acc & 0x8080808080808080ull) == 0;
}

std::size_t count_code_points(std::string_view text) noexcept {
  // Every code point has exactly one byte that is not a continuation byte
  // (10xxxxxx).
  std::size_t count = 0;
  for (const unsigned char b : byte_span(text)) count += (b & 0xC0u) != 0x80u;
  return count;
}

PreparedPair::PreparedPair(std::string_view str_1, std::string_view str_2, bool fold) {
  if (fold) {
    folded_1_ = fold_lower(str_1);
    folded_2_ = fold_lower(str_2);
    text_1 = folded_1_;
    text_2 = folded_2_;
  } else {
    text_1 = str_1;
    text_2 = str_2;
  }
  all_ascii = is_ascii(text_1) && is_ascii(text_2);
  if (all_ascii) {
    len_1 = text_1.size();
    len_2 = text_2.size();
  } else {
    len_1 = count_code_points(text_1);
    len_2 = count_code_points(text_2);
  }
}

std::optional<MatchError> check_limit(std::size_t len_1, std::size_t len_2,
                                      std::optional<std::size_t> max_len) noexcept {
  if (!max_len) return std::nullopt;
  if (len_1 > *max_len) return MatchError(InputTooLong{"str_1", len_1, *max_len});
  if (len_2 > *max_len) return MatchError(InputTooLong{"str_2", len_2, *max_len});
  return std::nullopt;
}

}  // namespace morvane
