#include "candidates.hpp"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <new>
#include <stdexcept>
#include <type_traits>

#include "morvane/error.hpp"
#include "runtime.hpp"
#include "text_view.hpp"

namespace morvane::py {

namespace {

// UTF-8 bytes of a str, or false with an error set (a lone surrogate).
bool utf8_view(PyObject* str, std::string_view& out) {
  Py_ssize_t size = 0;
  const char* data;
  if (PyUnicode_IS_COMPACT_ASCII(str)) {
    // The UTF-8 form of an ASCII str is its own character data.
    data = static_cast<const char*>(PyUnicode_DATA(str));
    size = PyUnicode_GET_LENGTH(str);
  } else {
    data = PyUnicode_AsUTF8AndSize(str, &size);
    if (data == nullptr) return false;
  }
  out = std::string_view(data, static_cast<std::size_t>(size));
  return true;
}

// The view of `item`, which must be a str, or false with an error set.
template <class View>
bool view_of(PyObject* item, View& out) {
  if (!PyUnicode_Check(item)) {
    raise_downcast(item, "str");
    return false;
  }
  if constexpr (std::is_same_v<View, Text>) {
    return native_view(item, out);
  } else {
    return utf8_view(item, out);
  }
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

// Reserves room for the length the sequence reports. The length is only a
// hint: when it cannot be read, or is too large to reserve (a __len__ may
// overstate it), nothing is reserved and the arrays grow as items come.
template <class Sequence>
void reserve_hint(PyObject* obj, Sequence& out) {
  const Py_ssize_t hint = PyObject_Size(obj);
  if (hint < 0) {
    fetch_error();  // discarded, unless it is a panic
    return;
  }
  try {
    out.reserve(static_cast<std::size_t>(hint));
  } catch (const std::length_error&) {
  } catch (const std::bad_alloc&) {
  }
}

// Locks a list against other threads for the duration of the intake, so
// that its items can be read in place; a no-op where the interpreter's lock
// already excludes them.
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

// The items of a list (locked) or tuple, each handed to `take` as a new
// strong reference. Items some places ahead are asked for first: a list
// whose str objects lie scattered over the heap would otherwise wait on
// memory for every one, both here (the reference count is written) and when
// its view is read.
template <class Take>
bool for_each_in_array(PyObject* const* items, std::size_t n, Take&& take) {
  constexpr std::size_t kAhead = HeldSequence::kPrefetchDistance;
  for (std::size_t i = 0; i < n; ++i) {
    if (i + kAhead < n) {
      // The object's head (whose reference count is written) and, for all
      // but short texts, the line of code points after it.
      const char* const item = reinterpret_cast<const char*>(items[i + kAhead]);
      __builtin_prefetch(item, 1);
      __builtin_prefetch(item + 64);
    }
    if (!take(Ref::borrow(items[i]))) return false;
  }
  return true;
}

// Iterates `obj`, handing each item's reference to `take`. Lists and tuples
// (exactly those types, whose iteration is their index order) are read in
// place, which spares the iterator's calls; every item is still taken as a
// strong reference.
template <class Take>
bool for_each_item(PyObject* obj, Take&& take) {
  if (PyList_CheckExact(obj)) {
    const ListLock lock(obj);
    const auto n = static_cast<std::size_t>(PyList_GET_SIZE(obj));
    return n == 0 || for_each_in_array(reinterpret_cast<PyListObject*>(obj)->ob_item, n, take);
  }
  if (PyTuple_CheckExact(obj)) {
    const auto n = static_cast<std::size_t>(PyTuple_GET_SIZE(obj));
    return n == 0 || for_each_in_array(reinterpret_cast<PyTupleObject*>(obj)->ob_item, n, take);
  }
  Ref iterator(PyObject_GetIter(obj));
  if (!iterator) return false;
  for (;;) {
    PyObject* raw = nullptr;
    const int status = PyIter_NextItem(iterator.get(), &raw);
    if (status < 0) return false;
    if (status == 0) return true;
    if (!take(Ref(raw))) return false;
  }
}

template <class View>
bool convert_held(PyObject* obj, HeldTexts<View>& out) {
  if (!check_sequence(obj)) return false;
  reserve_hint(obj, out);
  return for_each_item(obj, [&](Ref item) {
    View view;
    if (!view_of(item.get(), view)) return false;
    out.push(std::move(item), view);
    return true;
  });
}

}  // namespace

bool convert(PyObject* obj, HeldText& out) {
  Text view;
  if (!view_of(obj, view)) return false;
  out.owner = Ref::borrow(obj);
  out.view = view;
  return true;
}

bool convert(PyObject* obj, HeldSequence& out) {
  if (!check_sequence(obj)) return false;
  reserve_hint(obj, out);
  // The candidates' test for lone surrogates is put off to the scoring,
  // which reads their code points anyway (see raise_lone_surrogate). Should
  // the intake fail here, a candidate before the failure that holds one is
  // the error the caller sees, as if it had been found on the way.
  const bool taken = for_each_item(obj, [&](Ref item) {
    if (!PyUnicode_Check(item.get())) {
      raise_downcast(item.get(), "str");
      return false;
    }
    const Text view = unchecked_view(item.get());
    out.push(std::move(item), view);
    return true;
  });
  if (!taken) raise_lone_surrogate(out);
  return taken;
}

bool raise_lone_surrogate(const HeldSequence& candidates, std::size_t limit) {
  const std::size_t n = std::min(limit, candidates.size());
  for (std::size_t i = 0; i < n; ++i) {
    if (has_lone_surrogate(candidates.views()[i])) {
      Ref pending(PyErr_GetRaisedException());
      return raise_lone_surrogate(candidates.owner(i));
    }
  }
  return false;
}
bool convert(PyObject* obj, HeldUtf8Sequence& out) { return convert_held(obj, out); }

bool convert(PyObject* obj, OwnedSequence& out) {
  if (!check_sequence(obj)) return false;
  reserve_hint(obj, out);
  return for_each_item(obj, [&](Ref item) {
    std::string_view text;
    if (!view_of(item.get(), text)) return false;
    OwnedText copy;
    copy.size = text.size();
    if (copy.size > 0) {
      copy.data = std::make_unique_for_overwrite<char[]>(copy.size);
      std::memcpy(copy.data.get(), text.data(), copy.size);
    }
    out.texts.push_back(std::move(copy));
    return true;
  });
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
