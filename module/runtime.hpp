// Process-wide objects and the translation of failures into Python exceptions.
#pragma once

#include <atomic>
#include <string>

#include "python.hpp"
#include "ref.hpp"

namespace morvane::py {

// A value created on first use and kept for the life of the process. Threads
// that find another thread creating it wait detached from the interpreter
// (PyMutex_Lock detaches while it blocks), so the wait cannot stall a
// stop-the-world pause. `create` returns a new reference, or null with a
// Python error set; a failed creation is retried by the next caller.
class ProcessObject {
 public:
  template <class Create>
  PyObject* get(Create create) {
    if (PyObject* p = value_.load(std::memory_order_acquire)) return p;
    // `create` may throw (an internal failure): the lock must be given back
    // on that path too, or every later caller would wait forever.
    const Lock lock(mutex_);
    PyObject* p = value_.load(std::memory_order_acquire);
    if (p == nullptr) {
      p = create();
      if (p != nullptr) value_.store(p, std::memory_order_release);
    }
    return p;
  }
  // The value if it exists already, else null; never creates it.
  PyObject* peek() const noexcept { return value_.load(std::memory_order_acquire); }

 private:
  class Lock {
   public:
    explicit Lock(PyMutex& mutex) noexcept : mutex_(mutex) { PyMutex_Lock(&mutex_); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;
    ~Lock() { PyMutex_Unlock(&mutex_); }

   private:
    PyMutex& mutex_;
  };

  std::atomic<PyObject*> value_{nullptr};
  PyMutex mutex_{};
};

// Interned attribute names; null with a Python error set on failure.
PyObject* name_all();
PyObject* name_name();
PyObject* name_add_note();

// Thrown where a Python exception is already set and is the call's outcome
// as it stands (memory ran out while a result was made): the frame lets
// everything unwind and hands that exception to the caller.
struct ErrorAlreadySet {};

// The module's panic exception type, created on first need. When memory runs
// out it returns null with the MemoryError set (and is retried by the next
// caller); any other failure to create it aborts the process.
PyObject* panic_type();

// Sets the panic exception with `text` as its only argument, or leaves the
// MemoryError set when there is no memory to make the exception.
void raise_panic(const char* text) noexcept;

// Fetches the pending exception. A panic exception raised by Python code that
// the module called is not an ordinary error: it is printed with its
// traceback and continued as an internal failure (throws Panic).
Ref fetch_error();

// The pending exception, continued as an internal failure when it is a panic;
// otherwise it stays pending.
void check_for_panic();

// TypeError "'A' object is not an instance of 'B'" (or "'None' is not an
// instance of 'B'") for `obj` and the target type name `target`.
void raise_downcast(PyObject* obj, const char* target);

// Returns `created` when it is not null. Otherwise, out of memory, throws
// ErrorAlreadySet with the MemoryError still set; on any other failure it
// reports the pending error as unraisable and throws
// Panic("PyObject pointer is null").
PyObject* checked_result(PyObject* created);

}  // namespace morvane::py
