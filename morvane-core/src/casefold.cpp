#include "morvane/casefold.hpp"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "morvane/text.hpp"

namespace morvane {

namespace {

#include "casefold_tables.inc"

constexpr std::int32_t kIgnorable = 1;
constexpr std::int32_t kCased = 2;
constexpr std::int32_t kExpansion = 4;
constexpr int kPayloadShift = 3;

// Growth bound arithmetic below stays within size_t for any text a string can hold.
static_assert(kGrowthNum >= kGrowthDen && kGrowthNum <= 2 * kGrowthDen);

constexpr char32_t kCapitalSigma = 0x3A3;
constexpr char32_t kSmallSigma = 0x3C3;
constexpr char32_t kFinalSigma = 0x3C2;

constexpr std::uint64_t kHighBits = 0x8080808080808080ull;
constexpr std::uint64_t kOnes = 0x0101010101010101ull;

inline std::int32_t record(char32_t c) noexcept {
  if (c >= kTableLimit) return kRecords[0];
  const std::size_t block = kBlockIndex[c >> kBlockShift];
  return kRecords[kBlockRecords[(block << kBlockShift) | (c & (kBlockSize - 1))]];
}

// Lowercases the ASCII letters of a word whose bytes are all below 0x80.
// Adding 0x80 - 'A' sets a byte's top bit iff it is >= 'A', adding
// 0x80 - 'Z' - 1 iff it is > 'Z'; no byte carries into the next.
inline std::uint64_t lower_ascii_word(std::uint64_t w) noexcept {
  const std::uint64_t ge_a = w + kOnes * (0x80 - 'A');
  const std::uint64_t gt_z = w + kOnes * (0x80 - 'Z' - 1);
  return w | (((ge_a & ~gt_z) & kHighBits) >> 2);
}

inline char lower_ascii(unsigned char b) noexcept {
  return static_cast<char>(static_cast<unsigned>(b - 'A') < 26u ? b + 0x20 : b);
}

// Number of leading bytes (in memory order) of `w` whose top bit is clear;
// `high` is w & kHighBits and not zero.
inline std::size_t ascii_prefix(std::uint64_t high) noexcept {
  if constexpr (std::endian::native == std::endian::little) {
    return static_cast<std::size_t>(std::countr_zero(high)) / 8;
  } else {
    return static_cast<std::size_t>(std::countl_zero(high)) / 8;
  }
}

inline char* encode_utf8(char32_t c, char* out) noexcept {
  if (c < 0x80) {
    *out++ = static_cast<char>(c);
  } else if (c < 0x800) {
    *out++ = static_cast<char>(0xC0 | (c >> 6));
    *out++ = static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    *out++ = static_cast<char>(0xE0 | (c >> 12));
    *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (c & 0x3F));
  } else {
    *out++ = static_cast<char>(0xF0 | (c >> 18));
    *out++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (c & 0x3F));
  }
  return out;
}

// Final_Sigma for the capital sigma occupying [sigma, after) of the original
// text [begin, end): the nearest code point before it that is not
// case-ignorable exists and is cased, and the nearest one after it that is not
// case-ignorable is not cased or does not exist. Each scan stops at the first
// code point that is not case-ignorable, so the ignorables it crosses are seen
// by no other sigma's scan in the same direction: the total work is linear.
bool is_final_sigma(const unsigned char* begin, const unsigned char* sigma,
                    const unsigned char* after, const unsigned char* end) noexcept {
  std::int32_t before = kRecords[0];
  for (const unsigned char* q = sigma; q > begin;) {
    do --q; while ((*q & 0xC0u) == 0x80u);
    const unsigned char* t = q;
    before = record(decode_utf8(t));
    if ((before & kIgnorable) == 0) break;
  }
  if ((before & (kIgnorable | kCased)) != kCased) return false;
  for (const unsigned char* q = after; q < end;) {
    const std::int32_t next = record(decode_utf8(q));
    if ((next & kIgnorable) == 0) return (next & kCased) == 0;
  }
  return true;
}

}  // namespace

std::string fold_lower(std::string_view text) {
  std::string out;
  fold_lower(text, out);
  return out;
}

void fold_lower(std::string_view text, std::string& out) {
  const std::size_t n = text.size();
  // Each code point's lowered UTF-8 is at most kGrowthNum / kGrowthDen times
  // its own length, so this bound holds for every prefix of the output too;
  // it lets the ASCII path store whole words without a capacity check.
  const std::size_t bound = n + n / kGrowthDen * (kGrowthNum - kGrowthDen) +
                            n % kGrowthDen * (kGrowthNum - kGrowthDen) / kGrowthDen;
  out.resize_and_overwrite(bound, [text](char* const buf, std::size_t) noexcept {
    const unsigned char* const begin = bytes_of(text);
    const unsigned char* const end = begin + text.size();
    const unsigned char* p = begin;
    char* o = buf;
    while (p < end) {
      // ASCII, a word at a time. Storing all 8 lowered bytes and advancing by
      // the ASCII prefix only is safe: the output position is at most the
      // bound for the input consumed, and 8 more input bytes exist.
      while (end - p >= 8) {
        std::uint64_t w;
        std::memcpy(&w, p, 8);
        const std::uint64_t high = w & kHighBits;
        const std::uint64_t lowered = lower_ascii_word(w & ~kHighBits);
        std::memcpy(o, &lowered, 8);
        if (high == 0) {
          p += 8;
          o += 8;
          continue;
        }
        const std::size_t k = ascii_prefix(high);
        p += k;
        o += k;
        break;
      }
      while (p < end && *p < 0x80) *o++ = lower_ascii(*p++);
      // A run of non-ASCII code points.
      while (p < end && *p >= 0x80) {
        const unsigned char* const start = p;
        const char32_t c = decode_utf8(p);
        const std::int32_t rec = record(c);
        const std::int32_t payload = rec >> kPayloadShift;
        if ((rec & kExpansion) != 0) {
          const std::string_view e = kExpansions[payload];
          std::memcpy(o, e.data(), e.size());
          o += e.size();
        } else if (payload == 0) {
          const auto len = static_cast<std::size_t>(p - start);
          std::memcpy(o, start, len);
          o += len;
        } else if (c == kCapitalSigma) {
          o = encode_utf8(is_final_sigma(begin, start, p, end) ? kFinalSigma : kSmallSigma, o);
        } else {
          o = encode_utf8(static_cast<char32_t>(static_cast<std::int32_t>(c) + payload), o);
        }
      }
    }
    return static_cast<std::size_t>(o - buf);
  });
}

}  // namespace morvane
