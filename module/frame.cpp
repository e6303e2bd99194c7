#include "frame.hpp"

#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

#include "text_view.hpp"

namespace morvane::py {

namespace {

// "'a'", "'a' and 'b'", "'a', 'b', and 'c'": the names of the missing required
// parameters in signature order.
std::string quoted_list(const ArgumentSpec& arguments, PyObject* const* slots, std::size_t& missing) {
  std::size_t names[kMaxParameters];
  missing = 0;
  for (std::size_t i = 0; i < arguments.required_count; ++i) {
    if (slots[i] == nullptr) names[missing++] = i;
  }
  std::string out;
  for (std::size_t k = 0; k < missing; ++k) {
    if (k > 0) {
      if (missing > 2) out += ',';
      out += k + 1 == missing ? " and " : " ";
    }
    out += '\'';
    out += arguments.parameter_names[names[k]];
    out += '\'';
  }
  return out;
}

}  // namespace

PyObject* ParameterNames::get(const ArgumentSpec& arguments, std::size_t i) noexcept {
  PyObject* const name = names_[i].peek();
  if (name != nullptr) return name;
  PyObject* const made = names_[i].get([&] { return PyUnicode_InternFromString(arguments.parameter_names[i]); });
  // Should it fail, the comparison by text still finds the parameter.
  if (made == nullptr) PyErr_Clear();
  return made;
}

bool bind_arguments(const ArgumentSpec& arguments, ParameterNames& names, PyObject* const* args,
                    Py_ssize_t nargsf, PyObject* kwnames, PyObject** slots) noexcept {
  const auto nargs = static_cast<std::size_t>(PyVectorcall_NARGS(static_cast<std::size_t>(nargsf)));
  const char* const fname = arguments.function_name;
  if (nargs > arguments.parameter_count) {
    const char* were = nargs == 1 ? "was" : "were";
    if (arguments.required_count == arguments.parameter_count) {
      PyErr_Format(PyExc_TypeError, "%s() takes %zu positional arguments but %zu %s given", fname,
                   arguments.parameter_count, nargs, were);
    } else {
      PyErr_Format(PyExc_TypeError, "%s() takes from %zu to %zu positional arguments but %zu %s given", fname,
                   arguments.required_count, arguments.parameter_count, nargs, were);
    }
    return false;
  }
  for (std::size_t i = 0; i < nargs; ++i) slots[i] = args[i];

  if (kwnames != nullptr) {
    const Py_ssize_t nkw = PyTuple_GET_SIZE(kwnames);
    for (Py_ssize_t k = 0; k < nkw; ++k) {
      PyObject* const key = PyTuple_GET_ITEM(kwnames, k);
      std::size_t match = arguments.parameter_count;
      for (std::size_t i = 0; i < arguments.parameter_count; ++i) {
        if (names.get(arguments, i) == key) {
          match = i;
          break;
        }
      }
      if (match == arguments.parameter_count) {
        // A name made at run time (a ** mapping, a non-interned str): by text.
        Py_ssize_t key_size = 0;
        const char* key_utf8 = PyUnicode_AsUTF8AndSize(key, &key_size);
        if (key_utf8 == nullptr) PyErr_Clear();  // unencodable: matches no parameter
        for (std::size_t i = 0; key_utf8 != nullptr && i < arguments.parameter_count; ++i) {
          const char* name = arguments.parameter_names[i];
          if (std::strlen(name) == static_cast<std::size_t>(key_size) &&
              std::memcmp(name, key_utf8, static_cast<std::size_t>(key_size)) == 0) {
            match = i;
            break;
          }
        }
      }
      if (match == arguments.parameter_count) {
        PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%U'", fname, key);
        return false;
      }
      if (slots[match] != nullptr) {
        PyErr_Format(PyExc_TypeError, "%s() got multiple values for argument '%U'", fname, key);
        return false;
      }
      slots[match] = args[nargs + static_cast<std::size_t>(k)];
    }
  }

  if (nargs < arguments.required_count) {
    std::size_t missing = 0;
    std::string listed;
    try {
      listed = quoted_list(arguments, slots, missing);
    } catch (...) {
      PyErr_NoMemory();
      return false;
    }
    if (missing > 0) {
      PyErr_Format(PyExc_TypeError, "%s() missing %zu required positional argument%s: %s", fname, missing,
                   missing == 1 ? "" : "s", listed.c_str());
      return false;
    }
  }
  return true;
}

void add_processing_note(const char* name) noexcept {
  Ref exc(PyErr_GetRaisedException());
  if (!exc) return;
  PyUnicodeWriter* writer = PyUnicodeWriter_Create(0);
  Ref note;
  if (writer != nullptr) {
    if (PyUnicodeWriter_WriteUTF8(writer, "while processing '", -1) == 0 &&
        PyUnicodeWriter_WriteUTF8(writer, name, -1) == 0 && PyUnicodeWriter_WriteUTF8(writer, "'", -1) == 0) {
      note = Ref(PyUnicodeWriter_Finish(writer));
    } else {
      PyUnicodeWriter_Discard(writer);
    }
  }
  PyObject* method = note ? name_add_note() : nullptr;
  if (method != nullptr) {
    PyObject* call_args[2] = {exc.get(), note.get()};
    Ref result(PyObject_VectorcallMethod(method, call_args, 2, nullptr));
  }
  // Whatever went wrong while adding the note is dropped: the converter's
  // exception is what the caller must see.
  PyErr_Clear();
  PyErr_SetRaisedException(exc.release());
}

bool convert(PyObject* obj, BorrowedText& out) {
  if (!PyUnicode_Check(obj)) {
    raise_downcast(obj, "str");
    return false;
  }
  return native_view(obj, out.view);
}

bool convert(PyObject* obj, std::optional<std::size_t>& out) {
  unsigned long long value;
  if (PyLong_Check(obj)) {
    value = PyLong_AsUnsignedLongLong(obj);
  } else {
    Ref index(PyNumber_Index(obj));
    if (!index) return false;
    value = PyLong_AsUnsignedLongLong(index.get());
  }
  if (value == std::numeric_limits<unsigned long long>::max() && PyErr_Occurred()) return false;
  if constexpr (sizeof(std::size_t) < sizeof(unsigned long long)) {
    if (value > std::numeric_limits<std::size_t>::max()) {
      PyErr_SetString(PyExc_OverflowError, "out of range integral type conversion attempted");
      return false;
    }
  }
  out = static_cast<std::size_t>(value);
  return true;
}

namespace {

// NumPy's boolean scalar, recognised by its type's module and name so that
// NumPy need not be imported.
bool is_numpy_bool_type(PyTypeObject* type) {
  Ref module(PyType_GetModuleName(type));
  if (!module || !PyUnicode_Check(module.get())) {
    PyErr_Clear();
    return false;
  }
  if (!PyUnicode_EqualToUTF8(module.get(), "numpy")) return false;
  Ref name(PyType_GetName(type));
  if (!name || !PyUnicode_Check(name.get())) {
    PyErr_Clear();
    return false;
  }
  return PyUnicode_EqualToUTF8(name.get(), "bool_") || PyUnicode_EqualToUTF8(name.get(), "bool");
}

}  // namespace

bool convert(PyObject* obj, std::optional<bool>& out) {
  if (Py_IS_TYPE(obj, &PyBool_Type)) {
    out = obj == Py_True;
    return true;
  }
  PyTypeObject* const type = Py_TYPE(obj);
  if (!is_numpy_bool_type(type)) {
    raise_downcast(obj, "bool");
    return false;
  }
  const auto nb_bool = reinterpret_cast<inquiry>(PyType_GetSlot(type, Py_nb_bool));
  if (nb_bool == nullptr) {
    PyErr_Clear();
    PyErr_Format(PyExc_TypeError, "object of type '%S' does not define a '__bool__' conversion",
                 reinterpret_cast<PyObject*>(type));
    return false;
  }
  const int truth = nb_bool(obj);
  if (truth == 0 || truth == 1) {
    out = truth == 1;
    return true;
  }
  if (!PyErr_Occurred()) PyErr_SetString(PyExc_SystemError, "__bool__ failed without setting an exception");
  return false;
}

bool convert(PyObject* obj, std::optional<double>& out) {
  if (PyFloat_CheckExact(obj)) {
    out = PyFloat_AS_DOUBLE(obj);
    return true;
  }
  const double value = PyFloat_AsDouble(obj);
  if (value == -1.0 && PyErr_Occurred()) return false;
  out = value;
  return true;
}

}  // namespace morvane::py
