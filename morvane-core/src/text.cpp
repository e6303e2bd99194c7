#include "morvane/text.hpp"

#include <cstdint>

#include "morvane/lower.hpp"

namespace morvane {

namespace {

// Flags of a text's units: kLoneSurrogate when one is a surrogate (U+D800 to
// U+DFFF) and, with kContextual, kContextual when one is U+0130 or U+03A3.
// Texts of at least one vector's worth are tested a vector at a time, the
// last vector overlapping the one before it, so no unit past the end is read
// and no length needs a scalar loop; in the compiler's generic vectors, which
// every target turns into its own instructions.
template <bool kWithContextual, class Unit>
unsigned scan_units(const Unit* units, std::size_t n) noexcept {
  constexpr Unit kMask = static_cast<Unit>(~Unit{0x7FF});
  constexpr std::size_t kUnits = 16 / sizeof(Unit);
  typedef Unit V __attribute__((vector_size(16)));
  if (n < kUnits) {
    // Short texts, the common case for names, without a loop over units:
    // two overlapping 8-byte words when there are that many bytes.
    if (!kWithContextual && n * sizeof(Unit) >= 8) {
      constexpr std::uint64_t kLaneMask = sizeof(Unit) == 2 ? 0xF800F800F800F800ull : 0xFFFFF800FFFFF800ull;
      constexpr std::uint64_t kLaneSurrogate = sizeof(Unit) == 2 ? 0xD800D800D800D800ull : 0x0000D8000000D800ull;
      constexpr std::uint64_t kLow = sizeof(Unit) == 2 ? 0x0001000100010001ull : 0x0000000100000001ull;
      constexpr std::uint64_t kHigh = sizeof(Unit) == 2 ? 0x8000800080008000ull : 0x8000000080000000ull;
      const auto word = [units](std::size_t byte) {
        std::uint64_t w;
        __builtin_memcpy(&w, reinterpret_cast<const unsigned char*>(units) + byte, 8);
        return w;
      };
      // A lane of y is zero exactly where a unit is a surrogate; the usual
      // test for a zero lane finds any.
      const auto any_zero = [](std::uint64_t y) { return ((y - kLow) & ~y & kHigh) != 0; };
      return any_zero((word(0) & kLaneMask) ^ kLaneSurrogate) ||
                     any_zero((word(n * sizeof(Unit) - 8) & kLaneMask) ^ kLaneSurrogate)
                 ? kLoneSurrogate
                 : 0u;
    }
    bool surrogate = false;
    bool contextual = false;
    for (std::size_t i = 0; i < n; ++i) {
      surrogate |= (units[i] & kMask) == 0xD800;
      if constexpr (kWithContextual) contextual |= (units[i] == 0x130) | (units[i] == 0x3A3);
    }
    return (surrogate ? kLoneSurrogate : 0u) | (contextual ? kContextual : 0u);
  }
  const auto at = [units](std::size_t i) {
    V v;
    __builtin_memcpy(&v, units + i, sizeof v);
    return v;
  };
  const V mask = V{} + kMask;
  const V surrogate = V{} + Unit{0xD800};
  const V dotted = V{} + Unit{0x130};
  const V sigma = V{} + Unit{0x3A3};
  V found = V{};
  V special = V{};
  const auto test = [&](V v) {
    found |= __builtin_bit_cast(V, (v & mask) == surrogate);
    if constexpr (kWithContextual) special |= __builtin_bit_cast(V, (v == dotted) | (v == sigma));
  };
  for (std::size_t i = 0; i + kUnits < n; i += kUnits) test(at(i));
  test(at(n - kUnits));
  Unit any_found = 0;
  Unit any_special = 0;
  for (std::size_t k = 0; k < kUnits; ++k) {
    any_found |= found[k];
    any_special |= special[k];
  }
  return (any_found != 0 ? kLoneSurrogate : 0u) | (any_special != 0 ? kContextual : 0u);
}

template <bool kWithContextual>
unsigned scan(Text text) noexcept {
  switch (text.width()) {
    case 1: return 0;
    case 2: return scan_units<kWithContextual>(static_cast<const std::uint16_t*>(text.data()), text.size());
    default: return scan_units<kWithContextual>(static_cast<const std::uint32_t*>(text.data()), text.size());
  }
}

}  // namespace

bool has_lone_surrogate(Text text) noexcept { return scan<false>(text) != 0; }

unsigned wide_flags(Text text, bool contextual) noexcept {
  return contextual ? scan<true>(text) : scan<false>(text);
}

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
