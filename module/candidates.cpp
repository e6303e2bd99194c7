#include "candidates.hpp"

#include <bit>
#include <cstdint>
#include <cstring>
#include <new>
#include <stdexcept>

#include "morvane/error.hpp"
#include "runtime.hpp"

namespace morvane::py {

void HeldSequence::release() noexcept {
  for (PyObject* owner : owners_) Py_DECREF(owner);
  BulkVector<PyObject*>().swap(owners_);
  BulkVector<std::string_view>().swap(views_);
}

void HeldSequence::reserve(std::size_t n) {
  // All or nothing: a failure leaves no half-made reservation behind.
  BulkVector<PyObject*> owners;
  BulkVector<std::string_view> views;
  owners.reserve(n);
  views.reserve(n);
  owners_.swap(owners);
  views_.swap(views);
}

void HeldSequence::push(Ref item, std::string_view view) {
  owners_.push_back(item.get());
  item.release();
  views_.push_back(view);
}

namespace {

// Strong reference and UTF-8 bytes of a str, or false with an error set.
bool take_text(Ref item, HeldText& out) {
  if (!PyUnicode_Check(item.get())) {
    raise_downcast(item.get(), "str");
    return false;
  }
  const char* data;
  Py_ssize_t size = 0;
  if (PyUnicode_IS_COMPACT_ASCII(item.get())) {
    // The UTF-8 form of an ASCII str is its own character data.
    data = static_cast<const char*>(PyUnicode_DATA(item.get()));
    size = PyUnicode_GET_LENGTH(item.get());
  } else {
    data = PyUnicode_AsUTF8AndSize(item.get(), &size);
    if (data == nullptr) return false;
  }
  out.owner = std::move(item);
  out.view = std::string_view(data, static_cast<std::size_t>(size));
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

// Iterates `obj`, handing each item's reference to `take`. Lists and tuples
// (exactly those types, whose iteration is their index order) are read by
// index, which spares the iterator's calls; every item is still taken as a
// strong reference, and a list that another thread shrinks meanwhile simply
// ends earlier, as its iterator would.
template <class Take>
bool for_each_item(PyObject* obj, Take&& take) {
  if (PyList_CheckExact(obj)) {
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(obj); ++i) {
      PyObject* item = PyList_GetItemRef(obj, i);
      if (item == nullptr) {
        PyErr_Clear();
        return true;
      }
      if (!take(Ref(item))) return false;
    }
    return true;
  }
  if (PyTuple_CheckExact(obj)) {
    for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(obj); ++i) {
      if (!take(Ref::borrow(PyTuple_GET_ITEM(obj, i)))) return false;
    }
    return true;
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

}  // namespace

bool convert(PyObject* obj, HeldText& out) { return take_text(Ref::borrow(obj), out); }

bool convert(PyObject* obj, HeldSequence& out) {
  if (!check_sequence(obj)) return false;
  reserve_hint(obj, out);
  return for_each_item(obj, [&](Ref item) {
    HeldText text;
    if (!take_text(std::move(item), text)) return false;
    out.push(std::move(text.owner), text.view);
    return true;
  });
}

bool convert(PyObject* obj, OwnedSequence& out) {
  if (!check_sequence(obj)) return false;
  reserve_hint(obj, out);
  return for_each_item(obj, [&](Ref item) {
    HeldText text;
    if (!take_text(std::move(item), text)) return false;
    OwnedText copy;
    copy.size = text.view.size();
    if (copy.size > 0) {
      copy.data = std::make_unique_for_overwrite<char[]>(copy.size);
      std::memcpy(copy.data.get(), text.view.data(), copy.size);
    }
    out.texts.push_back(std::move(copy));
    return true;
  });
}

PyObject* build_list(const BulkVector<std::size_t>& values) {
  Ref list(checked_result(PyList_New(static_cast<Py_ssize_t>(values.size()))));
  for (std::size_t i = 0; i < values.size(); ++i) {
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), checked_result(PyLong_FromUnsignedLongLong(values[i])));
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
