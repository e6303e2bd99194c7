// Module definition: multi-phase initialisation, no per-module state; the
// exec slot creates the functions and records their names in __all__.
#include "frame.hpp"
#include "functions.hpp"
#include "python.hpp"
#include "ref.hpp"
#include "runtime.hpp"

namespace morvane::py {

namespace {

// The module's __all__, created empty when it does not exist yet.
Ref module_all(PyObject* module) {
  PyObject* all_name = name_all();
  if (all_name == nullptr) return Ref();
  Ref all(PyObject_GetAttr(module, all_name));
  if (all) {
    if (!PyList_Check(all.get())) {
      raise_downcast(all.get(), "list");
      return Ref();
    }
    return all;
  }
  if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return Ref();
  PyErr_Clear();
  Ref fresh(PyList_New(0));
  if (!fresh || PyObject_SetAttr(module, all_name, fresh.get()) < 0) return Ref();
  return fresh;
}

bool add_function(PyObject* module, PyMethodDef* def) {
  Ref module_name(PyModule_GetNameObject(module));
  if (!module_name) return false;
  Ref function(PyCMethod_New(def, module, module_name.get(), nullptr));
  if (!function) return false;
  module_name = Ref();

  PyObject* dunder_name = name_name();
  if (dunder_name == nullptr) return false;
  Ref name(PyObject_GetAttr(function.get(), dunder_name));
  if (!name) return false;
  if (!PyUnicode_Check(name.get())) {
    raise_downcast(name.get(), "str");
    return false;
  }
  Ref all = module_all(module);
  if (!all) return false;
  if (PyList_Append(all.get(), name.get()) < 0) {
    Ref cause = fetch_error();
    Ref text(cause ? PyObject_Str(cause.get()) : nullptr);
    const char* utf8 = text ? PyUnicode_AsUTF8AndSize(text.get(), nullptr) : nullptr;
    PyErr_Clear();
    throw Panic(std::string("could not append __name__ to __all__: ") + (utf8 != nullptr ? utf8 : "?"));
  }
  return PyObject_SetAttr(module, name.get(), function.get()) == 0;
}

int exec_module(PyObject* module) noexcept {
  PyObject* const added = guarded([&]() -> PyObject* {
    if (!PyModule_Check(module)) {
      raise_downcast(module, "module");
      return nullptr;
    }
    // A subinterpreter that shares the main one's GIL does not enforce the
    // declaration below; the cached objects would cross all the same.
    if (PyInterpreterState_Get() != PyInterpreterState_Main()) {
      PyErr_SetString(PyExc_ImportError, "module morvane does not support loading in subinterpreters");
      return nullptr;
    }
    for (const std::size_t index : g_exec_order) {
      if (!add_function(module, &g_methods[index])) return nullptr;
    }
    return Py_None;  // borrowed: only compared below
  });
  return added != nullptr ? 0 : -1;
}

PyModuleDef_Slot g_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(&exec_module)},
    {Py_mod_gil, Py_MOD_GIL_NOT_USED},
    // The module's cached objects (interned names, the panic type, the
    // Sequence class) are process-wide and would cross interpreters: loading
    // in a subinterpreter is refused with the interpreter's ImportError.
    {Py_mod_multiple_interpreters, Py_MOD_MULTIPLE_INTERPRETERS_NOT_SUPPORTED},
    {0, nullptr},
};

PyModuleDef g_module = {
    PyModuleDef_HEAD_INIT,
    "morvane",  // m_name
    "",         // m_doc
    0,          // m_size: no module state
    nullptr,    // m_methods: added by the exec slot
    g_slots,
    nullptr,  // m_traverse
    nullptr,  // m_clear
    nullptr,  // m_free
};

}  // namespace

}  // namespace morvane::py

PyMODINIT_FUNC PyInit_morvane(void) { return PyModuleDef_Init(&morvane::py::g_module); }
