// Taking a query and a sequence of candidate texts in from Python, computing
// a batch (detached from the interpreter when it is large) and building the
// result lists.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

#include "morvane/bulk_vector.hpp"
#include "python.hpp"
#include "ref.hpp"

namespace morvane::py {

// A text held by a strong reference to its str, with the UTF-8 bytes the
// interpreter caches inside that str. The reference keeps the bytes valid, so
// the view may be read while the thread is detached; taking and releasing the
// HeldText needs the thread attached.
struct HeldText {
  Ref owner;
  std::string_view view;
};

// Candidates held without copying: the references and the views the core
// reads are kept in two parallel arrays, so the core's view array is ready as
// soon as the candidates are taken. Released (attached) in candidate order.
class HeldSequence {
 public:
  HeldSequence() = default;
  HeldSequence(const HeldSequence&) = delete;
  HeldSequence& operator=(const HeldSequence&) = delete;
  ~HeldSequence() { release(); }

  // Releases every reference, in candidate order, and frees both arrays.
  void release() noexcept;

  void reserve(std::size_t n);
  // Takes over the reference `item`.
  void push(Ref item, std::string_view view);
  std::size_t size() const noexcept { return views_.size(); }
  const BulkVector<std::string_view>& views() const noexcept { return views_; }

 private:
  BulkVector<PyObject*> owners_;
  BulkVector<std::string_view> views_;
};

// One candidate copied out of its str; no reference is kept.
struct OwnedText {
  std::unique_ptr<char[]> data;
  std::size_t size = 0;
};

struct OwnedSequence {
  BulkVector<OwnedText> texts;
  void reserve(std::size_t n) { texts.reserve(n); }
};

bool convert(PyObject* obj, HeldText& out);
bool convert(PyObject* obj, HeldSequence& out);
bool convert(PyObject* obj, OwnedSequence& out);

// From this many candidates on, a batch is computed detached.
constexpr std::size_t kDetachThreshold = 10000;

// Releases the interpreter for the lifetime of the object. Declared after
// everything that holds Python references, so it is destroyed (re-attaching)
// before they are released, also when an exception unwinds.
class Detached {
 public:
  Detached() noexcept : state_(PyEval_SaveThread()) {}
  Detached(const Detached&) = delete;
  Detached& operator=(const Detached&) = delete;
  ~Detached() { PyEval_RestoreThread(state_); }

 private:
  PyThreadState* state_;
};

// Runs `compute` attached for small batches and detached for large ones.
// `compute` must not touch any Python object.
template <class Compute>
auto run_batch(std::size_t candidates, Compute&& compute) {
  if (candidates < kDetachThreshold) return compute();
  const Detached detached;
  return compute();
}

PyObject* build_list(const BulkVector<std::size_t>& values);
PyObject* build_list(const BulkVector<double>& values);

}  // namespace morvane::py
