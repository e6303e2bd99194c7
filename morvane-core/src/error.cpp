#include "morvane/error.hpp"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string_view>

namespace morvane {

namespace {

void append_quoted(std::string& out, std::string_view text) {
  out += '"';
  for (const char ch : text) {
    switch (ch) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default: out += ch; break;
    }
  }
  out += '"';
}

}  // namespace

std::string format_double(double value) {
  if (std::isnan(value)) return "NaN";
  std::string out;
  if (std::signbit(value)) out += '-';
  const double magnitude = std::fabs(value);
  if (std::isinf(magnitude)) return out + "inf";
  if (magnitude == 0.0) return out + "0.0";

  // Shortest round-trip digits, read off the scientific form d[.ddd]e±XX.
  char buf[64];
  const auto res = std::to_chars(buf, buf + sizeof buf, magnitude, std::chars_format::scientific);
  const std::string_view sci(buf, static_cast<std::size_t>(res.ptr - buf));
  const std::size_t e_pos = sci.find('e');
  std::string digits;
  for (const char ch : sci.substr(0, e_pos)) {
    if (ch != '.') digits += ch;
  }
  // from_chars rather than atoi: no locale, no copy, and no dependence on
  // the C library's newer strtol entry points, which would raise the glibc
  // a wheel needs.
  std::string_view exponent_text = sci.substr(e_pos + 1);
  if (exponent_text.starts_with('+')) exponent_text.remove_prefix(1);
  int exponent = 0;
  std::from_chars(exponent_text.data(), exponent_text.data() + exponent_text.size(), exponent);

  if (magnitude >= 1e16 || magnitude < 1e-4) {
    out += digits[0];
    if (digits.size() > 1) {
      out += '.';
      out.append(digits, 1);
    }
    out += 'e';
    out += std::to_string(exponent);
    return out;
  }
  // Positional form: `digits` holds d0 d1 d2 ... with d0 at 10^exponent.
  if (exponent < 0) {
    out += "0.";
    out.append(static_cast<std::size_t>(-exponent - 1), '0');
    out += digits;
    return out;
  }
  const auto int_digits = static_cast<std::size_t>(exponent) + 1;
  if (digits.size() <= int_digits) {
    out += digits;
    out.append(int_digits - digits.size(), '0');
    out += ".0";
  } else {
    out.append(digits, 0, int_digits);
    out += '.';
    out.append(digits, int_digits);
  }
  return out;
}

std::string MatchError::to_string() const {
  std::string out;
  if (const auto* e = std::get_if<InputTooLong>(&error_)) {
    out += "InputTooLong { which: ";
    append_quoted(out, e->which);
    out += ", len: ";
    out += std::to_string(e->len);
    out += ", limit: ";
    out += std::to_string(e->limit);
    out += " }";
  } else {
    const auto& p = std::get<InvalidPrefixScale>(error_);
    out += "InvalidPrefixScale { value: ";
    out += format_double(p.value);
    out += " }";
  }
  return out;
}

std::size_t checked_bytes(std::size_t count, std::size_t size) {
  constexpr auto max_bytes = static_cast<std::size_t>(std::numeric_limits<std::ptrdiff_t>::max());
  if (size != 0 && count > max_bytes / size) throw Panic("capacity overflow");
  return count * size;
}

}  // namespace morvane
