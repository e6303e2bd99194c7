#include "runtime.hpp"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "morvane/error.hpp"

namespace morvane::py {

namespace {

ProcessObject g_name_all, g_name_name, g_name_add_note, g_panic_type;

constexpr const char kPanicDoc[] =
    "The exception raised when native code called from Python fails in a way it cannot "
    "recover from.\n\n"
    "Like SystemExit, this exception is derived from BaseException so that it will "
    "typically propagate all the way through the stack and cause the Python interpreter "
    "to exit.";

}  // namespace

PyObject* name_all() {
  return g_name_all.get([] { return PyUnicode_InternFromString("__all__"); });
}
PyObject* name_name() {
  return g_name_name.get([] { return PyUnicode_InternFromString("__name__"); });
}
PyObject* name_add_note() {
  return g_name_add_note.get([] { return PyUnicode_InternFromString("add_note"); });
}

PyObject* panic_type() {
  return g_panic_type.get([] {
    PyObject* type = PyErr_NewExceptionWithDoc("vesk_runtime.PanicException", kPanicDoc,
                                               PyExc_BaseException, nullptr);
    // Out of memory the caller gets the MemoryError, like any built-in would
    // give; the next panic tries again.
    if (type == nullptr && !PyErr_ExceptionMatches(PyExc_MemoryError)) {
      std::fputs("Failed to initialize new exception type.\n", stderr);
      PyErr_Print();
      std::abort();
    }
    return type;
  });
}

void raise_panic(const char* text) noexcept {
  PyObject* const type = panic_type();
  if (type == nullptr) return;  // the MemoryError stands
  // A native failure's text need not be valid UTF-8: decoding with
  // replacement leaves running out of memory as the only way to fail, and
  // that MemoryError is then the call's error.
  Ref message(PyUnicode_DecodeUTF8(text, static_cast<Py_ssize_t>(std::strlen(text)), "replace"));
  if (message) PyErr_SetObject(type, message.get());
}

namespace {

[[noreturn]] void resume_panic(Ref exc) {
  std::fputs("--- morvane: a PanicException raised by Python code called from the module is "
             "continued as a native failure ---\n",
             stderr);
  PyErr_DisplayException(exc.get());
  std::string text = "panic from Corv code";
  if (Ref str{PyObject_Str(exc.get())}) {
    Py_ssize_t size = 0;
    if (const char* utf8 = PyUnicode_AsUTF8AndSize(str.get(), &size)) {
      text.assign(utf8, static_cast<std::size_t>(size));
    }
  }
  PyErr_Clear();
  throw Panic(text);
}

}  // namespace

Ref fetch_error() {
  Ref exc(PyErr_GetRaisedException());
  PyObject* panic = g_panic_type.peek();
  // Only a type that was created can have instances: no need to create it here.
  if (exc && panic != nullptr && PyObject_TypeCheck(exc.get(), reinterpret_cast<PyTypeObject*>(panic))) {
    resume_panic(std::move(exc));
  }
  return exc;
}

void check_for_panic() {
  Ref exc = fetch_error();
  PyErr_SetRaisedException(exc.release());
}

void raise_downcast(PyObject* obj, const char* target) {
  if (obj == Py_None) {
    PyErr_Format(PyExc_TypeError, "'None' is not an instance of '%s'", target);
    return;
  }
  Ref qualname(PyType_GetQualName(Py_TYPE(obj)));
  if (!qualname) {
    PyErr_Clear();
    PyErr_Format(PyExc_TypeError, "'<failed to extract type name>' object is not an instance of '%s'", target);
    return;
  }
  PyErr_Format(PyExc_TypeError, "'%U' object is not an instance of '%s'", qualname.get(), target);
}

PyObject* checked_result(PyObject* created) {
  if (created == nullptr) {
    if (PyErr_ExceptionMatches(PyExc_MemoryError)) throw ErrorAlreadySet{};
    PyErr_WriteUnraisable(nullptr);
    throw Panic("PyObject pointer is null");
  }
  return created;
}

}  // namespace morvane::py
