// The query of an edit-distance batch, prepared once per call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace morvane {

struct BatchQuery {
  // Bit i of entry c is set when query byte i matches byte c; with folding an
  // ASCII letter sets its bit in the entries of both its cases, so candidates
  // are looked up without being folded. All zero unless ascii_ready.
  std::uint64_t ascii_masks[256];
  // Bit char_count - 1 for 1 <= char_count <= 64, else 0.
  std::uint64_t last_bit;
  // Code points of the query as passed in (unfolded).
  std::size_t char_count;
  // The query as passed in, for candidates the fast path cannot take.
  std::string query;
  bool case_insensitive;
  // The query is ASCII and 1 to 64 bytes long: the byte kernel may run.
  bool ascii_ready;

  BatchQuery(std::string_view text, std::optional<bool> fold);
};

}  // namespace morvane
