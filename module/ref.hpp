// Owning handle for one strong reference to a Python object.
#pragma once

#include <utility>

#include "python.hpp"

namespace morvane::py {

class Ref {
 public:
  Ref() noexcept = default;
  // Takes over a new reference (may be null, e.g. a failed API call).
  explicit Ref(PyObject* owned) noexcept : p_(owned) {}
  // Takes a new strong reference to `obj` (may be null), which the caller
  // only borrows.
  static Ref new_ref(PyObject* obj) noexcept { return Ref(Py_XNewRef(obj)); }

  Ref(Ref&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  Ref& operator=(Ref&& other) noexcept {
    Ref(std::move(other)).swap(*this);
    return *this;
  }
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  ~Ref() { Py_XDECREF(p_); }

  PyObject* get() const noexcept { return p_; }
  // Hands the reference to the caller.
  PyObject* release() noexcept { return std::exchange(p_, nullptr); }
  explicit operator bool() const noexcept { return p_ != nullptr; }
  void swap(Ref& other) noexcept { std::swap(p_, other.p_); }

 private:
  PyObject* p_ = nullptr;
};

}  // namespace morvane::py
