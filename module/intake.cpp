#include "intake.hpp"

#include "morvane/error.hpp"
#include "runtime.hpp"

namespace morvane::py {

namespace {

ProcessObject g_sequence_abc;

PyObject* sequence_abc() {
  return g_sequence_abc.get([]() -> PyObject* {
    Ref module_name(PyUnicode_FromString("collections.abc"));
    Ref module(module_name ? PyImport_Import(module_name.get()) : nullptr);
    if (!module) {
      Ref exc = fetch_error();
      Ref text(exc ? PyObject_Str(exc.get()) : nullptr);
      const char* utf8 = text ? PyUnicode_AsUTF8AndSize(text.get(), nullptr) : nullptr;
      PyErr_Clear();
      throw Panic(utf8 != nullptr ? utf8 : "collections.abc could not be imported");
    }
    Ref cls(PyObject_GetAttrString(module.get(), "Sequence"));
    if (!cls) return nullptr;
    if (!PyType_Check(cls.get())) {
      raise_downcast(cls.get(), "type");
      return nullptr;
    }
    return cls.release();
  });
}

}  // namespace

// The checks every candidate sequence gets before it is iterated.
bool check_sequence(PyObject* obj) {
  if (PyUnicode_Check(obj)) {
    PyErr_SetString(PyExc_TypeError, "Can't extract `str` to `Vec`");
    return false;
  }
  if (!PySequence_Check(obj)) {
    PyObject* cls = sequence_abc();
    if (cls == nullptr) return false;
    Ref qualname(PyType_GetQualName(reinterpret_cast<PyTypeObject*>(cls)));
    if (!qualname) return false;
    const char* target = PyUnicode_AsUTF8AndSize(qualname.get(), nullptr);
    if (target == nullptr) return false;
    raise_downcast(obj, target);
    return false;
  }
  return true;
}

// The length the sequence reports, as a hint for reserving: 0 when it
// cannot be read (the error is discarded).
std::size_t size_hint(PyObject* obj) {
  const Py_ssize_t hint = PyObject_Size(obj);
  if (hint < 0) {
    fetch_error();  // discarded, unless it is a panic
    return 0;
  }
  return static_cast<std::size_t>(hint);
}

// The outcome of an intake: when it stopped at an item that is not a str and
// nothing before it failed, that item's error.
bool finish_intake(bool taken, const Ref& not_str) {
  if (!taken && not_str && !PyErr_Occurred()) raise_downcast(not_str.get(), "str");
  return taken;
}

}  // namespace morvane::py
