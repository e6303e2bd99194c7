// The lists a batch returns, built from the core's results.
#pragma once

#include <cstddef>

#include "morvane/bulk_vector.hpp"
#include "python.hpp"

namespace morvane::py {

// A new list of ints or floats, one per value; throws as checked_result does
// when the interpreter cannot make one.
PyObject* build_list(const BulkVector<std::size_t>& values);
PyObject* build_list(const BulkVector<double>& values);

}  // namespace morvane::py
