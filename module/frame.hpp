// The call frame every module function runs in: bind the vectorcall
// arguments to parameter names, convert them in signature order, call the
// core, turn the outcome into a Python object or exception. Nothing thrown
// below this frame reaches the interpreter.
#pragma once

#include <array>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>

#include "morvane/error.hpp"
#include "morvane/text.hpp"
#include "python.hpp"
#include "ref.hpp"
#include "runtime.hpp"

namespace morvane::py {

constexpr std::size_t kMaxParameters = 6;

// A function's parameters, declared once: their names in order, the first
// `required_count` of them required and every other one defaulting to None.
// The binding (bind_arguments) and the text signature (kTextSignature) are
// made from it; tests/test_module.py checks the signature inspect.signature
// reads from the function against the stub's.
struct ArgumentSpec {
  const char* function_name;
  const char* parameter_names[kMaxParameters];
  std::size_t parameter_count;
  std::size_t required_count;
};

// The length of "name(a, b, c=None)\n--\n\n" for `arguments`.
constexpr std::size_t text_signature_length(const ArgumentSpec& arguments) {
  const auto length = [](const char* s) { return std::char_traits<char>::length(s); };
  std::size_t n = length(arguments.function_name) + length("(") + length(")\n--\n\n");
  for (std::size_t i = 0; i < arguments.parameter_count; ++i) {
    n += (i > 0 ? length(", ") : 0) + length(arguments.parameter_names[i]) +
         (i >= arguments.required_count ? length("=None") : 0);
  }
  return n;
}

template <const ArgumentSpec& Arguments>
constexpr std::array<char, text_signature_length(Arguments) + 1> make_text_signature() {
  static_assert(Arguments.required_count <= Arguments.parameter_count &&
                Arguments.parameter_count <= kMaxParameters);
  std::array<char, text_signature_length(Arguments) + 1> out{};
  std::size_t at = 0;
  const auto put = [&](const char* s) {
    while (*s != '\0') out[at++] = *s++;
  };
  put(Arguments.function_name);
  put("(");
  for (std::size_t i = 0; i < Arguments.parameter_count; ++i) {
    if (i > 0) put(", ");
    put(Arguments.parameter_names[i]);
    if (i >= Arguments.required_count) put("=None");
  }
  put(")\n--\n\n");
  return out;
}

// The function's __doc__ as the interpreter takes a text signature from it
// ("name(a, b, c=None)\n--\n\n", and no documentation: the stubs carry it),
// made at compile time from its ArgumentSpec.
template <const ArgumentSpec& Arguments>
inline constexpr auto kTextSignature = make_text_signature<Arguments>();

// A function's parameter names as interned str objects, made on first need
// and kept for the life of the process. The keyword names of a call site are
// interned by the compiler, so they are usually these very objects and are
// matched by pointer before any text is compared.
class ParameterNames {
 public:
  // The interned name of parameter i, or null (no error left set) when it
  // cannot be made.
  PyObject* get(const ArgumentSpec& arguments, std::size_t i) noexcept;

 private:
  ProcessObject names_[kMaxParameters];
};

// Fills `slots` (borrowed from the caller's vector) from positional and
// keyword arguments. Returns false with a TypeError set on a binding error.
bool bind_arguments(const ArgumentSpec& arguments, ParameterNames& names, PyObject* const* args,
                    Py_ssize_t nargsf, PyObject* kwnames, PyObject** slots) noexcept;

// Adds "while processing 'name'" to the pending exception; a failure to add
// the note is discarded and leaves the exception as it was.
void add_processing_note(const char* name) noexcept;

// A text borrowed from its str for the duration of the call (the caller keeps
// the argument alive): the code points stored in the str, read in place.
struct BorrowedText {
  Text view;
};

// Each converter returns true with `out` set, or false with a Python
// exception pending. Optional parameters never see None: the frame makes them
// absent first.
bool convert(PyObject* obj, BorrowedText& out);
bool convert(PyObject* obj, std::optional<std::size_t>& out);
bool convert(PyObject* obj, std::optional<bool>& out);
bool convert(PyObject* obj, std::optional<double>& out);

template <class T>
struct is_optional : std::false_type {};
template <class T>
struct is_optional<std::optional<T>> : std::true_type {};

template <class T>
bool convert_slot(PyObject* slot, T& out, const char* name) {
  if constexpr (is_optional<T>::value) {
    if (slot == nullptr || slot == Py_None) return true;
  }
  if (convert(slot, out)) return true;
  check_for_panic();
  add_processing_note(name);
  return false;
}

// A converted value whose own check was put off reports its error when a
// later conversion fails: overloads for such values (found by argument
// lookup) raise it in place of the pending one and return true.
template <class T>
bool raise_deferred(T&) {
  return false;
}

template <class... Params, std::size_t... I>
bool convert_all(const ArgumentSpec& arguments, PyObject** slots, std::tuple<Params...>& values,
                 std::index_sequence<I...>) {
  // Left to right: the first failing parameter is the one reported.
  std::size_t failed = sizeof...(Params);
  if (((convert_slot(slots[I], std::get<I>(values), arguments.parameter_names[I]) || ((failed = I), false)) &&
       ...)) {
    return true;
  }
  // ... unless an earlier one had put off a check that fails.
  bool replaced = false;
  ((replaced = replaced || (I < failed && raise_deferred(std::get<I>(values)) &&
                            (add_processing_note(arguments.parameter_names[I]), true))),
   ...);
  return false;
}

// Runs `body` and converts any failure it throws into a Python exception.
template <class Body>
PyObject* guarded(Body&& body) noexcept {
  try {
    try {
      return body();
    } catch (const ErrorAlreadySet&) {
      // Everything the call held was released on the way here.
      return nullptr;
    } catch (const Panic& e) {
      raise_panic(e.what());
    } catch (const std::bad_array_new_length&) {
      raise_panic("capacity overflow");
    } catch (const std::length_error&) {
      raise_panic("capacity overflow");
    } catch (const std::bad_alloc&) {
      // Everything the call took was released on the way here; the caller
      // gets an ordinary, recoverable MemoryError.
      PyErr_NoMemory();
    } catch (const std::exception& e) {
      raise_panic(e.what());
    } catch (...) {
      raise_panic("panic from Corv code");
    }
    return nullptr;
  } catch (...) {
    std::fputs("uncaught panic at ffi boundary\n", stderr);
    std::abort();
  }
}

// The entry point of one function: `Impl` takes the converted parameters, in
// signature order, by reference and returns a new reference or null with an
// exception set.
template <const ArgumentSpec& Arguments, auto Impl>
struct Function;

template <const ArgumentSpec& Arguments, class... Params, PyObject* (*Impl)(Params&...)>
struct Function<Arguments, Impl> {
  static_assert(sizeof...(Params) <= kMaxParameters);

  static PyObject* call(PyObject* /*self*/, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) noexcept {
    return guarded([&]() -> PyObject* {
      PyObject* slots[kMaxParameters] = {};
      // The usual call, texts and options by position only, binds without a
      // check beyond the count.
      const auto nargs = static_cast<std::size_t>(PyVectorcall_NARGS(static_cast<std::size_t>(nargsf)));
      if (kwnames == nullptr && nargs >= Arguments.required_count && nargs <= Arguments.parameter_count) {
        for (std::size_t i = 0; i < nargs; ++i) slots[i] = args[i];
      } else if (!bind_arguments(Arguments, names, args, nargsf, kwnames, slots)) {
        return nullptr;
      }
      std::tuple<Params...> values;
      if (!convert_all(Arguments, slots, values, std::index_sequence_for<Params...>{})) return nullptr;
      return std::apply(Impl, values);
    });
  }

  static inline ParameterNames names;
};

}  // namespace morvane::py
