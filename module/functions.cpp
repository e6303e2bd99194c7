// The module's functions: one argument list, one conversion to core values
// and one core call each. The call frame does the rest.
#include "functions.hpp"

#include <optional>
#include <utility>

#include "candidates.hpp"
#include "frame.hpp"
#include "morvane/damerau_batch.hpp"
#include "morvane/damerau_bp.hpp"
#include "morvane/jaro_winkler.hpp"
#include "morvane/jaro_winkler_batch.hpp"
#include "morvane/levenshtein_batch.hpp"
#include "morvane/levenshtein_bp.hpp"
#include "morvane/simd.hpp"
#include "probes.hpp"
#include "result_lists.hpp"
#include "text_view.hpp"

namespace morvane::py {

namespace {

using Size = std::optional<std::size_t>;
using Flag = std::optional<bool>;
using Real = std::optional<double>;

// ValueError carrying the error's text form.
PyObject* raise_match_error(const MatchError& error) {
  const std::string text = error.to_string();
  Ref message(checked_result(PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()))));
  PyErr_SetObject(PyExc_ValueError, message.get());
  return nullptr;
}

PyObject* to_python(const Expected<std::size_t>& r) {
  if (!r) return raise_match_error(r.error());
  return checked_result(PyLong_FromUnsignedLongLong(*r));
}

PyObject* to_python(const Expected<double>& r) {
  if (!r) return raise_match_error(r.error());
  return checked_result(PyFloat_FromDouble(*r));
}

PyObject* to_python(const BulkVector<std::size_t>& distances) { return build_list(distances); }

PyObject* to_python(const Expected<BulkVector<double>>& r) {
  if (!r) return raise_match_error(r.error());
  return build_list(*r);
}

// A batch's `compute` (detached when large), then the candidates released
// before the result list is built, so that the list can reuse their memory.
// `compute` takes the place where the core stores the index of the first
// candidate holding a lone surrogate; such a candidate's UnicodeEncodeError
// is the call's error, before any error of the computation.
template <class Compute>
PyObject* batch_result(HeldSequence& candidates, Compute&& compute) {
  std::size_t lone_surrogate = static_cast<std::size_t>(-1);
  const auto results = run_batch(candidates.size(), [&] { return compute(&lone_surrogate); });
  if (lone_surrogate != static_cast<std::size_t>(-1)) {
    raise_lone_surrogate(candidates.owner(lone_surrogate));
    add_processing_note("candidates");
    return nullptr;
  }
  candidates.release();
  return to_python(results);
}

PyObject* levenshtein_bp_impl(BorrowedText& str_1, BorrowedText& str_2, Size& max_len, Flag& case_insensitive, Size& score_cutoff) {
  return to_python(levenshtein_bp(str_1.view, str_2.view, max_len, case_insensitive, score_cutoff, simd_level()));
}

PyObject* damerau_bp_impl(BorrowedText& str_1, BorrowedText& str_2, Size& max_len, Flag& case_insensitive, Size& score_cutoff) {
  return to_python(damerau_bp(str_1.view, str_2.view, max_len, case_insensitive, score_cutoff, simd_level()));
}

PyObject* jaro_winkler_similarity_impl(BorrowedText& str_1, BorrowedText& str_2, Real& p, Size& max_len, Flag& case_insensitive,
                                       Real& score_cutoff) {
  return to_python(jaro_winkler_similarity(str_1.view, str_2.view, p, max_len, case_insensitive, score_cutoff));
}

PyObject* levenshtein_batch_impl(HeldText& query, HeldSequence& candidates, Flag& case_insensitive) {
  return batch_result(candidates, [&](std::size_t* lone_surrogate) {
    return levenshtein_batch(query.view, candidates.views(), case_insensitive, simd_level(), lone_surrogate);
  });
}

PyObject* damerau_batch_impl(HeldText& query, HeldSequence& candidates, Flag& case_insensitive) {
  return batch_result(candidates, [&](std::size_t* lone_surrogate) {
    return damerau_batch(query.view, candidates.views(), case_insensitive, simd_level(), lone_surrogate);
  });
}

PyObject* jaro_winkler_batch_impl(HeldText& query, HeldSequence& candidates, Real& p, Flag& case_insensitive) {
  return batch_result(candidates, [&](std::size_t* lone_surrogate) {
    return jaro_winkler_batch(query.view, candidates.views(), p, case_insensitive, simd_level(), lone_surrogate);
  });
}

PyObject* ingest_owned_impl(OwnedSequence& candidates) {
  return checked_result(PyLong_FromUnsignedLongLong(candidates.texts.size()));
}

PyObject* ingest_borrow_impl(HeldUtf8Sequence& candidates) {
  return checked_result(PyLong_FromUnsignedLongLong(candidates.size()));
}

PyObject* ingest_borrow_and_deref_impl(HeldUtf8Sequence& candidates) {
  std::size_t total = 0;
  for (const std::string_view view : candidates.views()) total += view.size();
  return checked_result(PyLong_FromUnsignedLongLong(total));
}

constexpr ArgumentSpec kLevenshteinBp{
    "levenshtein_bp", {"str_1", "str_2", "max_len", "case_insensitive", "score_cutoff"}, 5, 2};
constexpr ArgumentSpec kDamerauBp{
    "damerau_bp", {"str_1", "str_2", "max_len", "case_insensitive", "score_cutoff"}, 5, 2};
constexpr ArgumentSpec kJaroWinklerSimilarity{
    "jaro_winkler_similarity", {"str_1", "str_2", "p", "max_len", "case_insensitive", "score_cutoff"}, 6, 2};
constexpr ArgumentSpec kLevenshteinBatch{"levenshtein_batch", {"query", "candidates", "case_insensitive"}, 3, 2};
constexpr ArgumentSpec kDamerauBatch{"damerau_batch", {"query", "candidates", "case_insensitive"}, 3, 2};
constexpr ArgumentSpec kJaroWinklerBatch{
    "jaro_winkler_batch", {"query", "candidates", "p", "case_insensitive"}, 4, 2};
constexpr ArgumentSpec kIngestOwned{"_ingest_owned", {"candidates"}, 1, 1};
constexpr ArgumentSpec kIngestBorrow{"_ingest_borrow", {"candidates"}, 1, 1};
constexpr ArgumentSpec kIngestBorrowAndDeref{"_ingest_borrow_and_deref", {"candidates"}, 1, 1};

template <const ArgumentSpec& Arguments, auto Impl>
PyMethodDef method() {
  // The cast through void(*)() is the documented way to store a fastcall
  // entry point in ml_meth.
  return {Arguments.function_name,
          reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&Function<Arguments, Impl>::call)),
          METH_FASTCALL | METH_KEYWORDS | METH_STATIC, kTextSignature<Arguments>.data()};
}

}  // namespace

// Table order; the exec slot adds them in another order.
PyMethodDef g_methods[kFunctionCount] = {
    method<kDamerauBp, damerau_bp_impl>(),
    method<kIngestOwned, ingest_owned_impl>(),
    method<kDamerauBatch, damerau_batch_impl>(),
    method<kIngestBorrow, ingest_borrow_impl>(),
    method<kLevenshteinBp, levenshtein_bp_impl>(),
    method<kLevenshteinBatch, levenshtein_batch_impl>(),
    method<kJaroWinklerBatch, jaro_winkler_batch_impl>(),
    method<kJaroWinklerSimilarity, jaro_winkler_similarity_impl>(),
    method<kIngestBorrowAndDeref, ingest_borrow_and_deref_impl>(),
};

// Indexes into g_methods in the order the exec slot adds the functions.
const std::size_t g_exec_order[kFunctionCount] = {4, 0, 7, 5, 2, 6, 1, 3, 8};

}  // namespace morvane::py
