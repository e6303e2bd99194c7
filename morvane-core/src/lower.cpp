#include "morvane/lower.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace morvane {

namespace {

#include "lower_tables.inc"

constexpr std::int32_t kIgnorable = 1;
constexpr std::int32_t kCased = 2;
constexpr std::int32_t kExpansion = 4;
constexpr int kPayloadShift = 3;

static_assert(kMaxLowered == kMaxLoweredLength, "the generated tables allow longer expansions");

constexpr char32_t kCapitalSigma = 0x3A3;
constexpr char32_t kSmallSigma = 0x3C3;
constexpr char32_t kFinalSigma = 0x3C2;

inline std::int32_t record(char32_t c) noexcept {
  if (c >= kTableLimit) return kRecords[0];
  const std::size_t block = kBlockIndex[c >> kBlockShift];
  return kRecords[kBlockRecords[(block << kBlockShift) | (c & (kBlockSize - 1))]];
}

// A-Z and the Latin-1 capitals (0xC0-0xDE without the multiplication sign)
// lower by 0x20; nothing else below 256 changes.
constexpr std::uint8_t lower_latin1(std::uint8_t c) noexcept {
  const bool upper = static_cast<unsigned>(c - 'A') < 26u || (static_cast<unsigned>(c - 0xC0) < 31u && c != 0xD7);
  return static_cast<std::uint8_t>(c + (upper ? 0x20 : 0));
}

// Lowers the units [i, end) one by one into `o`; returns the new end of the
// output.
template <class Unit>
Unit* lower_each(const Unit* in, std::size_t n, std::size_t i, std::size_t end, Unit* o) noexcept;

typedef std::uint16_t Units8 __attribute__((vector_size(16)));

// All-ones in the lanes of `v` that lie in [lo, hi].
inline Units8 in_range(Units8 v, std::uint16_t lo, std::uint16_t hi) noexcept {
  return __builtin_bit_cast(Units8, static_cast<Units8>(v - lo) <= static_cast<std::uint16_t>(hi - lo));
}

inline bool all_lanes(Units8 mask) noexcept {
  std::uint64_t halves[2];
  __builtin_memcpy(halves, &mask, sizeof halves);
  return (halves[0] & halves[1]) == ~std::uint64_t{0};
}

// Eight two-byte units at once, when each is in one of the ranges below,
// each of which lowers by one rule: a constant delta, or "set the low bit"
// where capitals and small letters alternate (Latin Extended-A and
// Additional, the Cyrillic supplements). tools/gen_lower_tables.py refuses an
// interpreter for which a range's rule fails, and the lowering tests hold
// every code point against its str.lower(). Tried in turn: CJK, kana and
// Hangul (when the block starts in them); then the letters of Latin-1, Greek and Cyrillic; then a wider set
// (Vietnamese letters, punctuation, Arabic, Hebrew, Indic and the other
// scripts without case). Other units, U+03A3 among them, take lower_each. Returns the
// output's new end, or null when some unit is outside the ranges.
inline std::uint16_t* lower_eight(const std::uint16_t* in, std::uint16_t* o) noexcept {
  Units8 v;
  __builtin_memcpy(&v, in, sizeof v);
  // CJK, kana and Hangul, with ASCII spaces, digits and punctuation: no
  // case. Tried first only where the block starts in those scripts.
  const Units8 caseless = in_range(v, 0x00, 0x40) | in_range(v, 0x2CF3, 0xA63F) | in_range(v, 0xA7F6, 0xFF20);
  if (in[0] >= 0x2CF3 && all_lanes(caseless)) {
    __builtin_memcpy(o, &v, sizeof v);
    return o + 8;
  }
  const Units8 times = __builtin_bit_cast(Units8, v == static_cast<std::uint16_t>(0xD7));
  const Units8 plus_20 = in_range(v, 0x41, 0x5A) | (in_range(v, 0xC0, 0xDE) & ~times) | in_range(v, 0x391, 0x3A1) |
                         in_range(v, 0x3A4, 0x3AB) | in_range(v, 0x410, 0x42F);
  const Units8 plus_50 = in_range(v, 0x400, 0x40F);
  const Units8 same = caseless | in_range(v, 0x5B, 0xBF) | times | in_range(v, 0xDF, 0xFF) |
                      in_range(v, 0x3AC, 0x3CE) | in_range(v, 0x430, 0x45F);
  Units8 lowered = v + (plus_20 & static_cast<std::uint16_t>(0x20)) + (plus_50 & static_cast<std::uint16_t>(0x50));
  if (!all_lanes(plus_20 | plus_50 | same)) {
    const Units8 odd = in_range(v, 0x100, 0x12F) | in_range(v, 0x14A, 0x177) | in_range(v, 0x460, 0x481) |
                       in_range(v, 0x48A, 0x4BF) | in_range(v, 0x4D0, 0x52F) | in_range(v, 0x1E00, 0x1E95) |
                       in_range(v, 0x1EA0, 0x1EFF);
    const Units8 wide_20 = in_range(v, 0xFF21, 0xFF3A);
    const Units8 wide_same = in_range(v, 0x557, 0x109F) | in_range(v, 0x1FFD, 0x2125) | in_range(v, 0x2184, 0x24B5) |
                             in_range(v, 0x24D0, 0x2BFF) | in_range(v, 0xFF3B, 0xFFFF) | in_range(v, 0x24F, 0x36F);
    if (!all_lanes(plus_20 | plus_50 | same | odd | wide_20 | wide_same)) return nullptr;
    lowered = (lowered + (wide_20 & static_cast<std::uint16_t>(0x20))) | (odd & static_cast<std::uint16_t>(1));
  }
  __builtin_memcpy(o, &lowered, sizeof lowered);
  return o + 8;
}

// Lowers A-Z and the Latin-1 capitals of sizeof(V) one-byte code points.
template <class V>
inline void lower_latin1_block(const std::uint8_t* in, std::uint8_t* o) noexcept {
  V v;
  __builtin_memcpy(&v, in, sizeof v);
  const V upper = __builtin_bit_cast(V, static_cast<V>(v - 'A') <= static_cast<std::uint8_t>(25)) |
                  (__builtin_bit_cast(V, static_cast<V>(v - 0xC0) <= static_cast<std::uint8_t>(30)) &
                   __builtin_bit_cast(V, v != static_cast<std::uint8_t>(0xD7)));
  v += upper & static_cast<std::uint8_t>(0x20);
  __builtin_memcpy(o, &v, sizeof v);
}

// One-byte texts keep their length and lower position by position, so the
// last block may overlap the one before it.
inline std::size_t lower_one_byte(const std::uint8_t* in, std::size_t n, std::uint8_t* o) noexcept {
  typedef std::uint8_t Bytes16 __attribute__((vector_size(16)));
  typedef std::uint8_t Bytes8 __attribute__((vector_size(8)));
  if (n >= 16) {
    for (std::size_t i = 0; i + 16 < n; i += 16) lower_latin1_block<Bytes16>(in + i, o + i);
    lower_latin1_block<Bytes16>(in + n - 16, o + n - 16);
  } else if (n >= 8) {
    lower_latin1_block<Bytes8>(in, o);
    lower_latin1_block<Bytes8>(in + n - 8, o + n - 8);
  } else {
    for (std::size_t i = 0; i < n; ++i) o[i] = lower_latin1(in[i]);
  }
  return n;
}

template <class Unit>
std::size_t lower_units(const Unit* in, std::size_t n, Unit* out) noexcept {
  Unit* o = out;
  std::size_t i = 0;
  if constexpr (sizeof(Unit) == 2) {
    for (; i + 8 <= n; i += 8) {
      Unit* const next = lower_eight(in + i, o);
      o = next != nullptr ? next : lower_each(in, n, i, i + 8, o);
    }
    // While nothing has grown, output and input positions agree and the last
    // eight units may be lowered again over the block before them.
    if (i < n && n >= 8 && static_cast<std::size_t>(o - out) == i && lower_eight(in + n - 8, out + n - 8) != nullptr)
      return n;
  }
  o = lower_each(in, n, i, n, o);
  return static_cast<std::size_t>(o - out);
}

template <class Unit>
Unit* lower_each(const Unit* in, std::size_t n, std::size_t i, std::size_t end, Unit* o) noexcept {
  for (; i < end; ++i) {
    const char32_t c = in[i];
    if (c < 0x80) {
      *o++ = static_cast<Unit>(c + (static_cast<unsigned>(c - 'A') < 26u ? 0x20 : 0));
      continue;
    }
    if (c < kSmallLimit) {
      const std::int16_t delta = kSmallDeltas[c];
      if (delta != kSmallSpecial) {
        *o++ = static_cast<Unit>(static_cast<std::int32_t>(c) + delta);
        continue;
      }
    } else if (c - 0x2CF3u <= 0xA63Fu - 0x2CF3u || c - 0xA7F6u <= 0xFF20u - 0xA7F6u) {
      // CJK, kana, Hangul and the rest of these ranges have no case.
      *o++ = static_cast<Unit>(c);
      continue;
    }
    const std::int32_t rec = record(c);
    const std::int32_t payload = rec >> kPayloadShift;
    if ((rec & kExpansion) != 0) {
      for (const char32_t e : kExpansions[payload]) *o++ = static_cast<Unit>(e);
    } else if (c == kCapitalSigma) {
      *o++ = static_cast<Unit>(is_final_sigma(in, n, i) ? kFinalSigma : kSmallSigma);
    } else {
      *o++ = static_cast<Unit>(static_cast<std::int32_t>(c) + payload);
    }
  }
  return o;
}

}  // namespace

// Each scan stops at the first code point that is not case-ignorable, so the
// ignorables it crosses are seen by no other sigma's scan in the same
// direction: folding a whole text stays linear.
template <class Unit>
bool is_final_sigma(const Unit* units, std::size_t size, std::size_t index) noexcept {
  std::int32_t before = kRecords[0];
  for (std::size_t k = index; k-- > 0;) {
    before = record(units[k]);
    if ((before & kIgnorable) == 0) break;
  }
  if ((before & (kIgnorable | kCased)) != kCased) return false;
  for (std::size_t k = index + 1; k < size; ++k) {
    const std::int32_t next = record(units[k]);
    if ((next & kIgnorable) == 0) return (next & kCased) == 0;
  }
  return true;
}

template bool is_final_sigma(const std::uint8_t*, std::size_t, std::size_t) noexcept;
template bool is_final_sigma(const std::uint16_t*, std::size_t, std::size_t) noexcept;
template bool is_final_sigma(const std::uint32_t*, std::size_t, std::size_t) noexcept;

std::size_t lower_into(Text text, void* out) noexcept {
  switch (text.width()) {
    case 1:
      return lower_one_byte(static_cast<const std::uint8_t*>(text.data()), text.size(), static_cast<std::uint8_t*>(out));
    case 2:
      return lower_units(static_cast<const std::uint16_t*>(text.data()), text.size(), static_cast<std::uint16_t*>(out));
    default:
      return lower_units(static_cast<const std::uint32_t*>(text.data()), text.size(), static_cast<std::uint32_t*>(out));
  }
}

char32_t lower_code_point(char32_t c) noexcept {
  if (c < 0x100) return lower_latin1(static_cast<std::uint8_t>(c));
  const std::int32_t rec = record(c);
  if ((rec & kExpansion) != 0) return c;
  return static_cast<char32_t>(static_cast<std::int32_t>(c) + (rec >> kPayloadShift));
}

bool expands(char32_t c) noexcept { return c >= 0x100 && (record(c) & kExpansion) != 0; }

std::span<const char32_t> upper_variants(char32_t lower) noexcept {
  const char32_t* const begin = std::lower_bound(std::begin(kUpperVariantOf), std::end(kUpperVariantOf), lower);
  const char32_t* end = begin;
  while (end != std::end(kUpperVariantOf) && *end == lower) ++end;
  const std::size_t first = static_cast<std::size_t>(begin - std::begin(kUpperVariantOf));
  return {kUpperVariant + first, static_cast<std::size_t>(end - begin)};
}

}  // namespace morvane
