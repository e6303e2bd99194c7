// The core's error value and its printable form.
//
// Core operations never throw for bad input: they return either their result
// or a MatchError. Exceptions that do escape the core (std::bad_alloc, Panic)
// are internal failures that the caller must capture.
#pragma once

#include <cstddef>
#include <expected>
#include <stdexcept>
#include <string>
#include <variant>

namespace morvane {

// A text was longer than the caller's `max_len`. `which` is "str_1" or "str_2";
// `len` is that text's length in code points after folding.
struct InputTooLong {
  const char* which;
  std::size_t len;
  std::size_t limit;
};

// A Jaro-Winkler prefix scale outside [0.0, 0.25] (or NaN).
struct InvalidPrefixScale {
  double value;
};

class MatchError {
 public:
  MatchError(InputTooLong e) : error_(e) {}         // NOLINT: implicit by design
  MatchError(InvalidPrefixScale e) : error_(e) {}   // NOLINT: implicit by design

  const std::variant<InputTooLong, InvalidPrefixScale>& get() const noexcept { return error_; }

  // InputTooLong { which: "str_1", len: 12, limit: 10 } or
  // InvalidPrefixScale { value: 0.3 }.
  std::string to_string() const;

 private:
  std::variant<InputTooLong, InvalidPrefixScale> error_;
};

template <class T>
using Expected = std::expected<T, MatchError>;

// Shortest text that reads back as `value`, always with a digit after the
// point in positional form ("0.3", "1.0", "-2.5"), in exponent form when the
// magnitude is at least 1e16 or non-zero and below 1e-4 ("1e-5", "2.5e16"),
// "NaN" for any NaN and "inf" / "-inf" for the infinities.
std::string format_double(double value);

// An internal failure: a broken invariant or a size that cannot be formed.
// Never a consequence of ordinary input; the Python layer reports it as its
// panic exception with what() as the text.
class Panic : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Throws Panic("capacity overflow") unless count * size bytes can be allocated
// in one block, and returns that byte count.
std::size_t checked_bytes(std::size_t count, std::size_t size);

}  // namespace morvane
