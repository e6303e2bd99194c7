#pragma once

#include <cstddef>

#include "python.hpp"

namespace morvane::py {

constexpr std::size_t kFunctionCount = 9;

// The function records in table order, and the order the module adds them in.
extern PyMethodDef g_methods[kFunctionCount];
extern const std::size_t g_exec_order[kFunctionCount];

}  // namespace morvane::py
