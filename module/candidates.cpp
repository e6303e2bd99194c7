#include "candidates.hpp"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <new>
#include <stdexcept>
#include <vector>

#include "morvane/error.hpp"
#include "runtime.hpp"
#include "text_view.hpp"

namespace morvane::py {

namespace {

// The UTF-8 bytes of a str when they are to hand without asking the
// interpreter (the character data of an ASCII str, or a form cached
// earlier); otherwise a view with no data. Touches nothing that can lock:
// the interpreter publishes a cached form with a release store, after its
// length.
std::string_view ready_utf8(PyObject* str) noexcept {
  if (PyUnicode_IS_COMPACT_ASCII(str)) {
    // The UTF-8 form of an ASCII str is its own character data.
    return {static_cast<const char*>(PyUnicode_DATA(str)), static_cast<std::size_t>(PyUnicode_GET_LENGTH(str))};
  }
  if (!PyUnicode_IS_COMPACT(str)) return {};
  auto* const compact = reinterpret_cast<PyCompactUnicodeObject*>(str);
  const char* const data = __atomic_load_n(&compact->utf8, __ATOMIC_ACQUIRE);
  if (data == nullptr) return {};
  return {data, static_cast<std::size_t>(compact->utf8_length)};
}

// UTF-8 bytes of a str, or false with an error set (a lone surrogate).
bool utf8_view(PyObject* str, std::string_view& out) {
  Py_ssize_t size = 0;
  const char* const data = PyUnicode_AsUTF8AndSize(str, &size);
  if (data == nullptr) return false;
  out = std::string_view(data, static_cast<std::size_t>(size));
  return true;
}

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
bool finish_intake(bool taken, const Ref& not_str) {
  if (!taken && not_str && !PyErr_Occurred()) raise_downcast(not_str.get(), "str");
  return taken;
}

// Takes the candidates' references into `held` with their UTF-8 forms. The
// interpreter may have to make such a form (and cache it in the str): a
// form not at hand under the list lock is asked for in the settle step,
// outside it.
bool convert_utf8(PyObject* obj, HeldUtf8Sequence& held) {
  Ref not_str;
  std::size_t pending = 0;  // staged forms not at hand
  auto push = [&](Ref item, const Text&) {
    const std::string_view text = ready_utf8(item.get());
    pending += text.data() == nullptr;
    held.push(std::move(item), text);
  };
  std::size_t settled = 0;
  const bool taken = for_each_item(obj, stage_str(not_str, push), [&] {
    if (pending == 0) {
      settled = held.size();
      return true;
    }
    pending = 0;
    for (; settled < held.size(); ++settled) {
      std::string_view& text = held.view(settled);
      if (text.data() == nullptr && !utf8_view(held.owner(settled), text)) return false;
    }
    return true;
  });
  return finish_intake(taken, not_str);
}

void copy_into(OwnedText& copy, std::string_view text) {
  copy.size = text.size();
  if (copy.size > 0) {
    copy.data = std::make_unique_for_overwrite<char[]>(copy.size);
    std::memcpy(copy.data.get(), text.data(), copy.size);
  }
}

}  // namespace

bool convert(PyObject* obj, HeldText& out) {
  if (!PyUnicode_Check(obj)) {
    raise_downcast(obj, "str");
    return false;
  }
  Text view;
  if (!native_view(obj, view)) return false;
  out.owner = Ref::new_ref(obj);
  out.view = view;
  return true;
}

bool convert(PyObject* obj, HeldSequence& out) {
  if (!check_sequence(obj)) return false;
  reserve_hint(size_hint(obj), out);
  // The candidates' test for lone surrogates is put off to the scoring,
  // which reads their code points anyway (see raise_lone_surrogate). Should
  // the intake fail here, a candidate before the failure that holds one is
  // the error the caller sees, as if it had been found on the way.
  Ref not_str;
  auto push = [&out](Ref item, const Text& view) { out.push(std::move(item), view); };
  const bool taken = finish_intake(for_each_item(obj, stage_str(not_str, push), [] { return true; }), not_str);
  if (!taken) raise_lone_surrogate(out);
  return taken;
}

bool raise_lone_surrogate(const HeldSequence& candidates) {
  for (std::size_t i = 0; i < candidates.size(); ++i) {
    if (has_lone_surrogate(candidates.views()[i])) {
      Ref pending(PyErr_GetRaisedException());
      return raise_lone_surrogate(candidates.owner(i));
    }
  }
  return false;
}

bool convert(PyObject* obj, HeldUtf8Sequence& out) {
  if (!check_sequence(obj)) return false;
  reserve_hint(size_hint(obj), out);
  return convert_utf8(obj, out);
}

bool convert(PyObject* obj, OwnedSequence& out) {
  if (!check_sequence(obj)) return false;
  reserve_hint(size_hint(obj), out);
  // A text whose UTF-8 form is at hand is copied at once (copying allocates
  // outside the interpreter) and its reference dropped: the one this intake
  // took, never the last, so dropping it calls nothing. The others keep a
  // reference, and a place in `out`, until the settle step makes their
  // forms.
  struct Pending {
    std::size_t index;
    Ref item;
  };
  std::vector<Pending> pending;
  std::size_t settled = 0;
  Ref not_str;
  auto push = [&](Ref item, const Text&) {
    const std::string_view text = ready_utf8(item.get());
    out.texts.emplace_back();
    if (text.data() != nullptr) {
      copy_into(out.texts.back(), text);
    } else {
      pending.push_back({out.texts.size() - 1, std::move(item)});
    }
  };
  const bool taken = for_each_item(obj, stage_str(not_str, push), [&] {
    for (; settled < pending.size(); ++settled) {
      std::string_view text;
      if (!utf8_view(pending[settled].item.get(), text)) return false;
      copy_into(out.texts[pending[settled].index], text);
    }
    return true;
  });
  return finish_intake(taken, not_str);
}

PyObject* build_list(const BulkVector<std::size_t>& values) {
  Ref list(checked_result(PyList_New(static_cast<Py_ssize_t>(values.size()))));
  // Distances are mostly small: the int objects of the first few are made
  // once (the interpreter keeps small ints as shared objects anyway) and
  // handed out by reference, which costs less than asking for each.
  constexpr std::size_t kShared = 256;
  Ref shared[kShared];  // ours, released at the end; the list holds its own
  const bool share = values.size() >= 4 * kShared;
  for (std::size_t i = 0; i < values.size(); ++i) {
    const std::size_t v = values[i];
    PyObject* item;
    if (share && v < kShared) {
      if (!shared[v]) shared[v] = Ref(checked_result(PyLong_FromUnsignedLongLong(v)));
      item = Py_NewRef(shared[v].get());
    } else {
      item = checked_result(PyLong_FromUnsignedLongLong(v));
    }
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item);
  }
  return list.release();
}

PyObject* build_list(const BulkVector<double>& values) {
  Ref list(checked_result(PyList_New(static_cast<Py_ssize_t>(values.size()))));
  // A batch repeats few distinct scores (they depend only on the match
  // counts, the prefix and the lengths), so equal neighbours share one float
  // object instead of each allocating its own. The cache borrows from the
  // list, which keeps every object alive.
  constexpr std::size_t kSlots = 64;
  std::uint64_t cached_bits[kSlots];
  PyObject* cached[kSlots] = {};
  for (std::size_t i = 0; i < values.size(); ++i) {
    const auto bits = std::bit_cast<std::uint64_t>(values[i]);
    const std::size_t slot = (bits * 0x9E3779B97F4A7C15ull) >> 58;
    PyObject* item;
    if (cached[slot] != nullptr && cached_bits[slot] == bits) {
      item = Py_NewRef(cached[slot]);
    } else {
      item = checked_result(PyFloat_FromDouble(values[i]));
      cached[slot] = item;
      cached_bits[slot] = bits;
    }
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item);
  }
  return list.release();
}

}  // namespace morvane::py
