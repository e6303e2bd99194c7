// Taking the items of a candidate sequence in from Python, shared by the
// batches' candidates (candidates.hpp) and the intake probes (probes.hpp):
// the checks every sequence gets, reading lists and tuples in place, and the
// two steps per item that keep a list's lock rule (ListLock).
#pragma once

#include <cstddef>
#include <new>
#include <stdexcept>
#include <utility>

#include "morvane/bulk_vector.hpp"
#include "morvane/text.hpp"
#include "python.hpp"
#include "ref.hpp"
#include "text_view.hpp"

namespace morvane::py {

// The checks every candidate sequence gets before it is iterated.
bool check_sequence(PyObject* obj);

// The length the sequence reports, as a hint for reserving: 0 when it
// cannot be read (the error is discarded).
std::size_t size_hint(PyObject* obj);

// Reserves room for `hint` items. A __len__ may overstate the length: when
// the room cannot be had, nothing is reserved and the arrays grow as items
// come.
template <class Sequence>
void reserve_hint(std::size_t hint, Sequence& out) {
  try {
    out.reserve(hint);
  } catch (const std::length_error&) {
  } catch (const std::bad_alloc&) {
  }
}

// Locks a list against other threads for the duration of the intake, so
// that its items can be read in place; a no-op where the interpreter's lock
// already excludes them.
//
// While the lock is held, nothing may run that can lock, allocate through the
// interpreter, run Python code or detach (asking a str for its UTF-8 form,
// raising an error, releasing the last reference to an object): any of these
// may suspend the critical section, and another thread could then resize or
// clear the list under the item pointer and count read here. Under the lock
// the intake therefore only takes strong references and reads the fixed
// fields of str objects; everything else waits until the lock is released.
class ListLock {
 public:
  explicit ListLock(PyObject* list) noexcept {
#ifdef Py_GIL_DISABLED
    PyCriticalSection_Begin(&section_, list);
#else
    (void)list;
#endif
  }
  ListLock(const ListLock&) = delete;
  ListLock& operator=(const ListLock&) = delete;
  ~ListLock() {
#ifdef Py_GIL_DISABLED
    PyCriticalSection_End(&section_);
#endif
  }

 private:
#ifdef Py_GIL_DISABLED
  PyCriticalSection section_;
#endif
};

// Hands the items of a list (locked by the caller) or tuple to `stage`, each
// as a new strong reference, until `stage` returns false. Items some places
// ahead are asked for first: a list whose str objects lie scattered over the
// heap would otherwise wait on memory for every one, both here (the
// reference count is written) and when its view is read.
template <class Stage>
bool stage_array(PyObject* const* items, std::size_t n, Stage& stage) {
  for (std::size_t i = 0; i < n; ++i) {
    if (i + kPrefetchDistance < n) {
      // The object's head (whose reference count is written) and, for all
      // but short texts, the line of code points after it.
      const char* const item = reinterpret_cast<const char*>(items[i + kPrefetchDistance]);
      __builtin_prefetch(item, 1);
      __builtin_prefetch(item + 64);
    }
    if (!stage(Ref::new_ref(items[i]))) return false;
  }
  return true;
}

// Iterates `obj` in two steps per item: `stage` takes the item's reference
// and must stay within what the list lock allows (it returns false, with no
// error set, to stop at an item it refuses); `settle` then does whatever
// needs the interpreter for every item staged since its last call, and
// returns false with an error set when one fails. Lists and tuples (exactly
// those types, whose iteration is their index order) are read in place,
// which spares the iterator's calls; a list is staged whole under its lock
// and settled after. Other sequences settle item by item, so an error is
// always the one of the first item, in order, that fails.
template <class Stage, class Settle>
bool for_each_item(PyObject* obj, Stage&& stage, Settle&& settle) {
  if (PyList_CheckExact(obj)) {
    bool staged;
    {
      const ListLock lock(obj);
      const auto n = static_cast<std::size_t>(PyList_GET_SIZE(obj));
      staged = n == 0 || stage_array(reinterpret_cast<PyListObject*>(obj)->ob_item, n, stage);
    }
    return settle() && staged;
  }
  if (PyTuple_CheckExact(obj)) {
    const auto n = static_cast<std::size_t>(PyTuple_GET_SIZE(obj));
    const bool staged = n == 0 || stage_array(reinterpret_cast<PyTupleObject*>(obj)->ob_item, n, stage);
    return settle() && staged;
  }
  Ref iterator(PyObject_GetIter(obj));
  if (!iterator) return false;
  for (;;) {
    PyObject* raw = nullptr;
    const int status = PyIter_NextItem(iterator.get(), &raw);
    if (status < 0) return false;
    if (status == 0) return true;
    if (!stage(Ref(raw)) || !settle()) return false;
  }
}

// The stage step shared by every intake: a str's reference goes to `push`
// with its unchecked native view; the first item that is not a str is kept
// in `not_str` and stops the intake, and finish_intake raises its error
// once the lock is released.
template <class Push>
auto stage_str(Ref& not_str, Push& push) {
  return [&not_str, &push](Ref item) {
    if (!PyUnicode_Check(item.get())) {
      not_str = std::move(item);
      return false;
    }
    const Text view = unchecked_view(item.get());
    push(std::move(item), view);
    return true;
  };
}

// The outcome of an intake: when it stopped at an item that is not a str and
// nothing before it failed, that item's error.
bool finish_intake(bool taken, const Ref& not_str);

}  // namespace morvane::py
