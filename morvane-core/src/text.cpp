#include "morvane/text.hpp"

#include "morvane/casefold.hpp"

namespace morvane {

LowerText::LowerText(Text text) {
  const unsigned width = text.width();
  // One-byte texts keep their length; wider ones may grow.
  const std::size_t units = width == 1 ? text.size() : checked_bytes(text.size(), kMaxLoweredLength);
  const std::size_t bytes = checked_bytes(units, width);
  unsigned char* out = inline_;
  if (bytes > kInlineBytes) {
    heap_ = std::make_unique_for_overwrite<unsigned char[]>(bytes);
    out = heap_.get();
  }
  const std::size_t size = lower_into(text, out);
  // Lowering keeps a one-byte text ASCII exactly when it was.
  text_ = Text::of_width(out, size, width, text.ascii());
}

PreparedPair::PreparedPair(Text str_1, Text str_2, bool fold) {
  if (fold) {
    text_1_ = folded_1_.emplace(str_1).text();
    text_2_ = folded_2_.emplace(str_2).text();
  } else {
    text_1_ = str_1;
    text_2_ = str_2;
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
