#include "morvane/default_process.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "morvane/lower.hpp"
#include "morvane/text.hpp"

namespace morvane {

namespace {
#include "alnum_tables.inc"

constexpr char32_t kCapitalSigma = 0x3A3;
constexpr char32_t kSmallSigma = 0x3C3;
constexpr char32_t kFinalSigma = 0x3C2;

// What each code point below 256 becomes: its lowercase form when that is
// alphanumeric, else 0 (U+0000 is not alphanumeric, so 0 is free). Lowering
// keeps these code points below 256 and never depends on their neighbours,
// so one-byte texts, and most of many others, take one load per code point.
const std::array<std::uint8_t, 256>& kept_below_256() noexcept {
  static const std::array<std::uint8_t, 256> table = [] {
    std::array<std::uint8_t, 256> t{};
    for (char32_t c = 0; c < 256; ++c) {
      const char32_t lowered = lower_code_point(c);
      t[c] = is_alnum(lowered) ? static_cast<std::uint8_t>(lowered) : std::uint8_t{0};
    }
    return t;
  }();
  return table;
}

// One pass over the units: each lowered on its own (U+03A3 by its context,
// the few that lower to several code points through lower_into()), every
// alphanumeric result kept, a space written before a kept code point when
// something was dropped since the last one kept. The output never outgrows
// the lowered text: a space stands for at least one dropped code point.
template <class Unit, class Out>
std::size_t process_units(const Unit* in, std::size_t n, Out* out, char32_t& top) noexcept {
  const std::array<std::uint8_t, 256>& below_256_kept = kept_below_256();
  if constexpr (sizeof(Unit) == 1) {
    // Without branches on the text: a space is written where one may be
    // due and kept only when a code point follows it, and each code point
    // is written and kept only when alphanumeric. Neither write passes the
    // one-byte bound (one output unit per input unit): a dropped code point
    // writes at the count kept so far, at most its own position. The output
    // position is then the only chain from one code point to the next, one
    // add long.
    Out* o = out;
    bool seen = false;
    bool pending = false;
    std::uint8_t high = 0;
    for (std::size_t i = 0; i < n; ++i) {
      const std::uint8_t kept = below_256_kept[in[i]];
      const bool keep = kept != 0;
      const bool space = keep && pending;
      o[0] = static_cast<Out>(U' ');
      o[space] = static_cast<Out>(kept);
      o += static_cast<std::size_t>(space) + static_cast<std::size_t>(keep);
      seen = seen || keep;
      pending = seen && !keep;
      high = kept > high ? kept : high;
    }
    top = high;
    return static_cast<std::size_t>(o - out);
  }
  Out* o = out;
  bool gap = false;
  char32_t high = 0;
  const auto keep = [&](char32_t c) {
    if (gap && o != out) *o++ = static_cast<Out>(U' ');
    gap = false;
    *o++ = static_cast<Out>(c);
    high = c > high ? c : high;
  };
  for (std::size_t i = 0; i < n; ++i) {
    const Unit unit = in[i];
    if (below_256(unit)) {
      const std::uint8_t kept = below_256_kept[static_cast<std::size_t>(unit)];
      if (kept != 0) {
        keep(kept);
      } else {
        gap = true;
      }
      continue;
    }
    const char32_t c = unit;
    if (c == kCapitalSigma) {
      keep(is_final_sigma(in, n, i) ? kFinalSigma : kSmallSigma);
      continue;
    }
    const char32_t lowered = lower_code_point(c);
    if (lowered == c && expands(c)) {
      const std::uint32_t source = static_cast<std::uint32_t>(c);
      std::uint32_t expansion[kMaxLoweredLength];
      const std::size_t size = lower_into(Text::ucs4(&source, 1), expansion);
      for (std::size_t k = 0; k < size; ++k) {
        if (is_alnum(expansion[k])) {
          keep(expansion[k]);
        } else {
          gap = true;
        }
      }
    } else if (is_alnum(lowered)) {
      keep(lowered);
    } else {
      gap = true;
    }
  }
  top = high;
  return static_cast<std::size_t>(o - out);
}

}  // namespace

bool is_alnum(char32_t c) noexcept {
  if (c > 0x10FFFF) return false;
  const std::uint64_t* bitmap = kAlnumBitmaps[kAlnumBlocks[c >> 8]];
  return ((bitmap[(c & 0xFF) >> 6] >> (c & 63)) & 1) != 0;
}

char32_t default_process(Text text, std::vector<std::uint32_t>& out) {
  out.clear();
  out.resize(text.width() == 1 ? text.size() : text.size() * kMaxLoweredLength);
  char32_t top = 0;
  const std::size_t size = with_units(
      text, [&](const auto* units, std::size_t n) { return process_units(units, n, out.data(), top); });
  out.resize(size);
  return top;
}

std::size_t default_process_into(Text text, void* out) noexcept {
  char32_t top = 0;
  return with_units(text, [&](const auto* units, std::size_t n) {
    using Unit = std::remove_cv_t<std::remove_pointer_t<decltype(units)>>;
    return process_units(units, n, static_cast<Unit*>(out), top);
  });
}

}  // namespace morvane
