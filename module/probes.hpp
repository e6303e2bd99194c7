// The candidate intake probes (_ingest_borrow, _ingest_borrow_and_deref,
// _ingest_owned): the two other ways of taking candidates in that the
// benchmarks compare with the batches' own, UTF-8 views of held strs and
// copies.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

#include "candidates.hpp"
#include "morvane/bulk_vector.hpp"
#include "python.hpp"

namespace morvane::py {

// Candidates held by reference with the UTF-8 bytes the interpreter caches
// in each str.
using HeldUtf8Sequence = HeldTexts<std::string_view>;

// One candidate copied out of its str; no reference is kept.
struct OwnedText {
  std::unique_ptr<char[]> data;
  std::size_t size = 0;
};

struct OwnedSequence {
  BulkVector<OwnedText> texts;
  void reserve(std::size_t n) { texts.reserve(n); }
};

bool convert(PyObject* obj, HeldUtf8Sequence& out);
bool convert(PyObject* obj, OwnedSequence& out);

}  // namespace morvane::py
