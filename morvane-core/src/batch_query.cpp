#include "morvane/batch_query.hpp"

#include <cstring>

#include "morvane/text.hpp"

namespace morvane {

BatchQuery::BatchQuery(std::string_view text, std::optional<bool> fold)
    : query(text), case_insensitive(fold.value_or(false)) {
  std::memset(ascii_masks, 0, sizeof ascii_masks);
  const bool ascii = is_ascii(text);
  ascii_ready = ascii && !text.empty() && text.size() <= 64;
  char_count = ascii ? text.size() : count_code_points(text);
  last_bit = (char_count >= 1 && char_count <= 64) ? std::uint64_t{1} << (char_count - 1) : 0;
  if (!ascii_ready) return;
  std::uint64_t bit = 1;
  for (const unsigned char q : byte_span(text)) {
    ascii_masks[q] |= bit;
    if (case_insensitive) {
      if (q >= 'A' && q <= 'Z') ascii_masks[q + 32] |= bit;
      if (q >= 'a' && q <= 'z') ascii_masks[q - 32] |= bit;
    }
    bit <<= 1;
  }
}

}  // namespace morvane
