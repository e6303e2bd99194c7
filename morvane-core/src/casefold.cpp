#include "morvane/casefold.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace morvane {

namespace {

#include "casefold_tables.inc"

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

// Eight two-byte units at once, when each is in one of the ranges below
// (ASCII, Latin-1, basic Greek and Cyrillic capitals and small letters, and
// every code point between them that lowers to itself): each range lowers
// by one constant (tools/gen_casefold.py refuses an interpreter for which
// one does not, and the casefold tests hold every code point against its
// str.lower()). Other units, U+03A3 among them, take lower_each. Returns the output's new end, or null when
// some unit is outside the ranges.
inline std::uint16_t* lower_eight(const std::uint16_t* in, std::uint16_t* o) noexcept {
  typedef std::uint16_t V __attribute__((vector_size(16)));
  V v;
  __builtin_memcpy(&v, in, sizeof v);
  const auto in_range = [&v](std::uint16_t lo, std::uint16_t hi) {
    return __builtin_bit_cast(V, static_cast<V>(v - lo) <= static_cast<std::uint16_t>(hi - lo));
  };
  const V times = __builtin_bit_cast(V, v == static_cast<std::uint16_t>(0xD7));
  const V plus_20 = in_range(0x41, 0x5A) | (in_range(0xC0, 0xDE) & ~times) | in_range(0x391, 0x3A1) |
                    in_range(0x3A4, 0x3AB) | in_range(0x410, 0x42F);
  const V plus_50 = in_range(0x400, 0x40F);
  const V same = in_range(0x00, 0x40) | in_range(0x5B, 0xBF) | times | in_range(0xDF, 0xFF) |
                 in_range(0x3AC, 0x3CE) | in_range(0x430, 0x45F);
  const V known = plus_20 | plus_50 | same;
  std::uint64_t halves[2];
  __builtin_memcpy(halves, &known, sizeof halves);
  if ((halves[0] & halves[1]) != ~std::uint64_t{0}) return nullptr;
  const V lowered = v + (plus_20 & static_cast<std::uint16_t>(0x20)) + (plus_50 & static_cast<std::uint16_t>(0x50));
  __builtin_memcpy(o, &lowered, sizeof lowered);
  return o + 8;
}

// Lowers the letters A-Z of eight ASCII bytes: adding 0x80 - 'A' sets a
// byte's top bit iff it is >= 'A', adding 0x80 - 'Z' - 1 iff it is > 'Z';
// no byte carries into the next.
inline std::uint64_t lower_ascii_word(std::uint64_t w) noexcept {
  constexpr std::uint64_t kOnes = 0x0101010101010101ull;
  const std::uint64_t ge_a = w + kOnes * (0x80 - 'A');
  const std::uint64_t gt_z = w + kOnes * (0x80 - 'Z' - 1);
  return w | (((ge_a & ~gt_z) & 0x8080808080808080ull) >> 2);
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
    case 1: {
      const auto* in = static_cast<const std::uint8_t*>(text.data());
      auto* o = static_cast<std::uint8_t*>(out);
      const std::size_t n = text.size();
      std::size_t i = 0;
      // Eight bytes at a time while they are ASCII, the common case, without
      // the set-up a vectorised loop costs a short text.
      for (; i + 8 <= n; i += 8) {
        std::uint64_t w;
        __builtin_memcpy(&w, in + i, 8);
        if ((w & 0x8080808080808080ull) != 0) break;
        w = lower_ascii_word(w);
        __builtin_memcpy(o + i, &w, 8);
      }
      // The rest byte by byte. The empty statement keeps the compiler from
      // vectorising this loop, whose set-up outweighs the few bytes left.
      for (; i < n; ++i) {
        o[i] = lower_latin1(in[i]);
        __asm__("");
      }
      return n;
    }
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

std::span<const char32_t> raised_forms(char32_t lower) noexcept {
  const char32_t* const begin = std::lower_bound(std::begin(kRaisedTo), std::end(kRaisedTo), lower);
  const char32_t* end = begin;
  while (end != std::end(kRaisedTo) && *end == lower) ++end;
  const std::size_t first = static_cast<std::size_t>(begin - std::begin(kRaisedTo));
  return {kRaisedFrom + first, static_cast<std::size_t>(end - begin)};
}

}  // namespace morvane
