#include "result_lists.hpp"

#include <bit>
#include <cstdint>

#include "ref.hpp"
#include "runtime.hpp"

namespace morvane::py {

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
