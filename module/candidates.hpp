// Taking a batch's query and candidate texts in from Python (the way items
// are taken is intake.hpp's), and computing the batch, detached from the
// interpreter when it is large.
#pragma once

#include <cstddef>

#include "morvane/bulk_vector.hpp"
#include "morvane/text.hpp"
#include "python.hpp"
#include "ref.hpp"

namespace morvane::py {

// A text held by a strong reference to its str, with a view of the code
// points the interpreter stores inside that str (one, two or four bytes
// each). The reference keeps them valid, so the view may be read while the
// thread is detached; taking and releasing the HeldText needs the thread
// attached.
struct HeldText {
  Ref owner;
  Text view;
};

// Candidates held without copying: the references and the views the core
// reads are kept in two parallel arrays, so the core's view array is ready as
// soon as the candidates are taken. Released (attached) in candidate order.
// `View` is the core's Text for the batches, and the UTF-8 bytes the
// interpreter caches in each str (std::string_view) for the probes, which
// measure that way of taking candidates.
template <class View>
class HeldTexts {
 public:
  HeldTexts() = default;
  HeldTexts(const HeldTexts&) = delete;
  HeldTexts& operator=(const HeldTexts&) = delete;
  ~HeldTexts() { release(); }

  // Releases every reference, in candidate order, and frees both arrays.
  void release() noexcept {
    const std::size_t n = owners_.size();
    PyObject* const* const owners = owners_.data();
    for (std::size_t i = 0; i < n; ++i) {
      // A scattered list has its str objects all over the heap: each release
      // writes to one, so they are asked for some places ahead.
      if (i + kPrefetchDistance < n) __builtin_prefetch(owners[i + kPrefetchDistance], 1);
      Py_DECREF(owners[i]);
    }
    BulkVector<PyObject*>().swap(owners_);
    BulkVector<View>().swap(views_);
  }

  void reserve(std::size_t n) {
    // All or nothing: a failure leaves no half-made reservation behind.
    BulkVector<PyObject*> owners;
    BulkVector<View> views;
    owners.reserve(n);
    views.reserve(n);
    owners_.swap(owners);
    views_.swap(views);
  }
  // Takes over the reference `item`.
  void push(Ref item, View view) {
    if (owners_.size() == owners_.capacity()) grow();
    owners_.push_back(item.release());
    views_.push_back(view);
  }
  std::size_t size() const noexcept { return views_.size(); }
  const BulkVector<View>& views() const noexcept { return views_; }
  View& view(std::size_t i) noexcept { return views_[i]; }
  PyObject* owner(std::size_t i) const noexcept { return owners_[i]; }

 private:
  // Both arrays grow together, so that a failure to grow one cannot leave a
  // reference without its view.
  void grow() { reserve_more(owners_.capacity() < 16 ? 16 : owners_.capacity() * 2); }
  void reserve_more(std::size_t n) {
    owners_.reserve(n);
    views_.reserve(n);
  }

  BulkVector<PyObject*> owners_;
  BulkVector<View> views_;
};

using HeldSequence = HeldTexts<Text>;

bool convert(PyObject* obj, HeldText& out);
// Takes the candidates without testing them for lone surrogates: the batch
// tests each just before scoring it (the core's lone_surrogate out
// parameter), and raise_lone_surrogate below raises the error.
bool convert(PyObject* obj, HeldSequence& out);

// When a candidate holds a lone surrogate, replaces any pending exception by
// the interpreter's UnicodeEncodeError for the first such candidate and
// returns true; otherwise returns false and leaves the pending exception
// alone.
bool raise_lone_surrogate(const HeldSequence& candidates);

// The frame's hook for errors found after the candidates were taken (a bad
// option): a candidate's surrogate, which the taking would have found
// first, wins.
inline bool raise_deferred(HeldSequence& candidates) { return raise_lone_surrogate(candidates); }

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

}  // namespace morvane::py
