// Jaro-Winkler: both scan strategies and jaro_winkler_similarity, at every
// storage width of both texts, against the textbook definition bit for bit.
//
// Input: an options byte (bits 0-1 folding, bits 2-3 and 4-5 the stored
// widths of the texts of a long pair, fuzz_input.hpp), a prefix-scale selector, a
// max_len selector, a cut-off byte, then the alphabet, the first text and
// the second (fuzz_input.hpp).
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "fuzz_input.hpp"
#include "morvane/jaro_winkler.hpp"
#include "reference.hpp"

namespace {

// Long enough for the general scan's wide windows; the definition costs
// about len^2 / 2 steps.
constexpr std::size_t kMaxText = 1000;

// The prefix scale a caller passes: absent, any in [0, 0.25), or the edges
// and the values just outside them.
std::optional<double> prefix_scale(std::uint8_t sel) {
  if (sel < 200) return sel / 800.0;
  switch (sel % 10) {
    case 0: return std::nullopt;
    case 1: return 0.25;
    case 2: return -0.0;
    case 3: return std::nextafter(0.25, 1.0);
    case 4: return -std::numeric_limits<double>::denorm_min();
    case 5: return std::numeric_limits<double>::quiet_NaN();
    case 6: return std::numeric_limits<double>::infinity();
    case 7: return std::nextafter(0.25, 0.0);
    case 8: return 0.1;
    default: return 1.0;
  }
}

std::string bits(double x) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.17g (0x%016llx)", x, static_cast<unsigned long long>(std::bit_cast<std::uint64_t>(x)));
  return buf;
}

bool same_bits(double a, double b) { return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Reader r(data, size);
  const std::uint8_t options = r.byte();
  const std::optional<double> p = prefix_scale(r.byte());
  const std::uint8_t limit_selector = r.byte();
  const std::uint8_t cutoff_byte = r.byte();
  const std::u32string alphabet = fuzz::decode_alphabet(r);
  const std::size_t cap = fuzz::long_texts(options, static_cast<std::uint8_t>(limit_selector << 3)) ? kMaxText : fuzz::kShortText;
  const std::u32string a = fuzz::decode_text(r, alphabet, cap);
  const std::u32string b = fuzz::decode_related(r, a, alphabet, cap);

  const std::optional<bool> fold = fuzz::fold_option(options);
  const bool folding = fold.value_or(false);
  const std::u32string A = folding ? fuzz::lower(a) : a;
  const std::u32string B = folding ? fuzz::lower(b) : b;
  if (folding) {
    fuzz::check_lowering(a, A);
    fuzz::check_lowering(b, B);
  }
  const std::string detail = fuzz::pair_detail(a, b) + (folding ? "\nfolded" : "") + "\np " +
                             (p ? bits(*p) : std::string("none"));

  // Accepted exactly when 0 <= p <= 0.25 by ordered comparison.
  const bool valid = !p || (*p >= 0.0 && *p <= 0.25);
  const morvane::Expected<double> checked = morvane::validate_prefix_scale(p);
  bool prefix_ok = checked.has_value() == valid;
  if (prefix_ok && valid) prefix_ok = same_bits(*checked, p.value_or(0.1));
  if (prefix_ok && !valid) {
    prefix_ok = same_bits(std::get<morvane::InvalidPrefixScale>(checked.error().get()).value, *p);
  }
  if (!prefix_ok) {
    fuzz::fail("validate_prefix_scale", detail + "\ngot " + (checked ? bits(*checked) : checked.error().to_string()));
  }
  const double scale = p.value_or(0.1);

  const double want = fuzz::plain::jaro_winkler(A, B, scale);
  const bool all = a.size() + b.size() <= fuzz::kEveryWidthUpTo;
  if (valid && !A.empty() && !B.empty()) {
    for (const reference::NativeText& ta : fuzz::widths_to_run(A, all, options >> 2 & 3)) {
      for (const reference::NativeText& tb : fuzz::widths_to_run(B, all, options >> 4 & 3)) {
        const auto expect = [&](const char* form, double got) {
          if (!same_bits(got, want)) {
            fuzz::fail(std::string("jaro_winkler ") + form,
                       detail + "\nwidths " + std::to_string(ta.width()) + ", " + std::to_string(tb.width()) +
                           "\nwant " + bits(want) + "\ngot  " + bits(got));
          }
        };
        expect("general_scan", morvane::jaro_winkler_detail::general_scan(ta, tb, scale));
        if (A.size() <= 64 && B.size() <= 64) {
          expect("bit_parallel_scan", morvane::jaro_winkler_detail::bit_parallel_scan(ta, tb, scale));
        }
      }
    }
  }

  const std::optional<std::size_t> max_len = fuzz::max_len_option(limit_selector, A.size(), B.size());
  const std::optional<morvane::InputTooLong> too_long = fuzz::limit_error(A.size(), B.size(), max_len);
  // Cut-offs at the score itself and one step either side of it.
  const std::vector<std::optional<double>> cutoffs = {
      std::nullopt, cutoff_byte / 255.0, want, std::nextafter(want, 2.0), std::nextafter(want, -1.0)};
  for (const reference::NativeText& ta : fuzz::widths_to_run(a, all, options >> 2 & 3)) {
    for (const reference::NativeText& tb : fuzz::widths_to_run(b, all, options >> 4 & 3)) {
      for (const std::optional<double> k : cutoffs) {
        const morvane::Expected<double> got = morvane::jaro_winkler_similarity(ta, tb, p, max_len, fold, k);
        const std::string call = detail + "\nwidths " + std::to_string(ta.width()) + ", " +
                                 std::to_string(tb.width()) + " max_len " +
                                 (max_len ? std::to_string(*max_len) : "none") + " cutoff " +
                                 (k ? bits(*k) : "none");
        const std::string seen = got ? bits(*got) : got.error().to_string();
        if (!valid) {
          if (got || !std::holds_alternative<morvane::InvalidPrefixScale>(got.error().get())) {
            fuzz::fail("jaro_winkler_similarity prefix scale", call + "\ngot " + seen);
          }
        } else if (too_long) {
          if (got || !fuzz::same_limit_error(got.error(), *too_long)) {
            fuzz::fail("jaro_winkler_similarity length limit", call + "\nwant " + too_long->which + " too long, got " + seen);
          }
        } else {
          const double expected = fuzz::plain::jaro_winkler(A, B, scale, k);
          if (!got || !same_bits(*got, expected)) {
            fuzz::fail("jaro_winkler_similarity", call + "\nwant " + bits(expected) + "\ngot  " + seen);
          }
        }
      }
    }
  }
  return 0;
}
