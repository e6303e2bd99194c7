// morvane_lookup._engine: the native side of the lookup companion. Prepared
// reference sets (Texts), matrices, best matches and joins over them. Every
// computation runs with the interpreter released and touches no Python
// object; the Python side splits work over threads and maps positions back.
#include <cmath>
#include <cstring>
#include <exception>
#include <new>
#include <string_view>
#include <vector>

#include "morvane/bulk_vector.hpp"
#include "morvane/default_process.hpp"
#include "morvane/lookup.hpp"
#include "morvane/reference_set.hpp"
#include "morvane/simd.hpp"
#include "intake.hpp"
#include "python.hpp"
#include "ref.hpp"
#include "text_view.hpp"

namespace morvane::lookup {
namespace {

using py::Ref;

// Runs `compute` with the interpreter released. An exception out of it is
// turned into the interpreter's error once the interpreter is held again:
// nothing unwinds through the interpreter.
template <class F>
bool detached(F&& compute) {
  bool out_of_memory = false;
  const char* failure = nullptr;
  Py_BEGIN_ALLOW_THREADS
  try {
    compute();
  } catch (const std::bad_alloc&) {
    out_of_memory = true;
  } catch (const std::exception& e) {
    failure = e.what();
  } catch (...) {
    failure = "unknown error";
  }
  Py_END_ALLOW_THREADS
  if (out_of_memory) {
    PyErr_NoMemory();
    return false;
  }
  if (failure != nullptr) {
    PyErr_SetString(PyExc_RuntimeError, failure);
    return false;
  }
  return true;
}

// Calls `f` and turns a C++ exception into the interpreter's error, for code
// that runs holding the interpreter.
template <class F>
PyObject* guarded(F&& f) noexcept {
  try {
    return f();
  } catch (const std::bad_alloc&) {
    return PyErr_NoMemory();
  } catch (const std::exception& e) {
    PyErr_SetString(PyExc_RuntimeError, e.what());
  } catch (...) {
    PyErr_SetString(PyExc_RuntimeError, "unknown error");
  }
  return nullptr;
}

// ---------------------------------------------------------------------------
// Texts: one prepared reference set. Immutable once made, so any number of
// threads may read it at once.

// Strong references, released together.
struct Held {
  BulkVector<PyObject*> refs;
  Held() = default;
  Held(const Held&) = delete;
  Held& operator=(const Held&) = delete;
  ~Held() {
    for (PyObject* o : refs) Py_DECREF(o);
  }
};

struct TextsObject {
  PyObject_HEAD
  ReferenceSet* set;
  Held* keep;  // the strs a borrowing set reads, or null
};

PyTypeObject* g_texts_type = nullptr;

void texts_dealloc(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  delete reinterpret_cast<TextsObject*>(self)->set;
  delete reinterpret_cast<TextsObject*>(self)->keep;
  type->tp_free(self);
  Py_DECREF(type);
}

const ReferenceSet& set_of(PyObject* texts) { return *reinterpret_cast<TextsObject*>(texts)->set; }

Py_ssize_t texts_len(PyObject* self) { return static_cast<Py_ssize_t>(set_of(self).size()); }

PyObject* texts_memory(PyObject* self, void*) { return PyLong_FromSize_t(set_of(self).memory()); }
PyObject* texts_lowered(PyObject* self, void*) { return PyBool_FromLong(set_of(self).lowered()); }
PyObject* texts_longest(PyObject* self, void*) { return PyLong_FromSize_t(set_of(self).longest()); }
PyObject* texts_longest_unlowered(PyObject* self, void*) {
  const ReferenceSet& set = set_of(self);
  std::size_t most = 0;
  for (std::size_t i = 0; i < set.size(); ++i) most = std::max(most, set.unlowered_length(i));
  return PyLong_FromSize_t(most);
}

PyGetSetDef g_texts_getset[] = {
    {"memory", texts_memory, nullptr, "Bytes of native memory held.", nullptr},
    {"lowered", texts_lowered, nullptr, "Whether the texts are stored lowered.", nullptr},
    {"longest", texts_longest, nullptr, "Code points of the longest stored text.", nullptr},
    {"longest_unlowered", texts_longest_unlowered, nullptr, "Code points of the longest text before lowering.",
     nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot g_texts_slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(texts_dealloc)},
    {Py_sq_length, reinterpret_cast<void*>(texts_len)},
    {Py_tp_getset, g_texts_getset},
    {Py_tp_doc, const_cast<char*>("Texts copied into native storage, made by prepare().")},
    {0, nullptr},
};

PyType_Spec g_texts_spec = {"morvane_lookup._engine.Texts", sizeof(TextsObject), 0,
                            Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION | Py_TPFLAGS_IMMUTABLETYPE,
                            g_texts_slots};

bool is_texts(PyObject* o) { return Py_IS_TYPE(o, g_texts_type); }

// prepare(items, lower, missing, borrow, process) -> Texts, or the position of the first item
// that is neither a str nor missing. `items` is a list; an item is missing
// when it is None, a float NaN or one of the objects in the tuple `missing`,
// and is left out (its position is never matched). A lone surrogate raises
// the interpreter's UnicodeEncodeError. With `borrow`, texts that need no
// lowering are read in place for as long as the Texts lives (for one call's
// use: a set kept longer holds its strs). With `process`, the texts are
// taken through default_process (which lowers) as they are copied.
PyObject* prepare(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
  if (nargs != 5 || !PyList_CheckExact(args[0]) || !PyTuple_Check(args[2])) {
    PyErr_SetString(PyExc_TypeError, "prepare(items: list, lower: bool, missing: tuple, borrow: bool, process: bool)");
    return nullptr;
  }
  const int process = PyObject_IsTrue(args[4]);
  if (process < 0) return nullptr;
  const int lower = PyObject_IsTrue(args[1]);
  if (lower < 0) return nullptr;
  const int borrow = PyObject_IsTrue(args[3]);
  if (borrow < 0) return nullptr;
  return guarded([&]() -> PyObject* {
    // One pass over the items: a list is read in place under its lock, so
    // only strong references are taken and fixed fields read there (the
    // rule at ListLock); everything else comes after.
    PyObject* const missing = args[2];
    auto held = std::make_unique<Held>();
    BulkVector<Text> views;
    BulkVector<std::uint64_t> positions;
    const std::size_t hint = PyList_GET_SIZE(args[0]) > 0 ? static_cast<std::size_t>(PyList_GET_SIZE(args[0])) : 0;
    held->refs.reserve(hint);
    views.reserve(hint);
    positions.reserve(hint);
    std::size_t at = 0;
    Py_ssize_t bad = -1;
    auto stage = [&](Ref item) {
      PyObject* const o = item.release();
      held->refs.push_back(o);
      const std::size_t i = at++;
      if (PyUnicode_Check(o)) {
        views.push_back(py::unchecked_view(o));
        positions.push_back(i);
        return true;
      }
      bool skip = o == Py_None || (PyFloat_Check(o) && std::isnan(PyFloat_AS_DOUBLE(o)));
      for (Py_ssize_t m = 0; !skip && m < PyTuple_GET_SIZE(missing); ++m) skip = o == PyTuple_GET_ITEM(missing, m);
      if (!skip) bad = static_cast<Py_ssize_t>(i);
      return skip;
    };
    if (!py::for_each_item(args[0], stage, [] { return true; })) {
      if (PyErr_Occurred()) return nullptr;
    }
    if (bad >= 0) return PyLong_FromSsize_t(bad);
    auto set = std::make_unique<ReferenceSet>();
    std::size_t lone = static_cast<std::size_t>(-1);
    if (!detached([&] { *set = ReferenceSet::build(views, positions, lower != 0, &lone, borrow != 0, process != 0); }))
      return nullptr;
    if (lone != static_cast<std::size_t>(-1)) {
      py::raise_lone_surrogate(held->refs[static_cast<std::size_t>(positions[lone])]);
      return nullptr;
    }
    auto* texts = PyObject_New(TextsObject, g_texts_type);
    if (texts == nullptr) return nullptr;
    texts->set = set.release();
    texts->keep = borrow && !lower && !process ? held.release() : nullptr;
    return reinterpret_cast<PyObject*>(texts);
  });
}

// ---------------------------------------------------------------------------
// Arguments shared by the scoring functions: measure (0 levenshtein, 1
// damerau, 2 jaro_winkler), cut-off (None or a number), normalized, p,
// level.

bool read_scoring(PyObject* const* args, Scoring& out) {
  const long measure = PyLong_AsLong(args[0]);
  if (measure == -1 && PyErr_Occurred()) return false;
  if (measure < 0 || measure > 2) {
    PyErr_SetString(PyExc_ValueError, "unknown measure");
    return false;
  }
  out.measure = static_cast<Measure>(measure);
  const int normalized = PyObject_IsTrue(args[2]);
  if (normalized < 0) return false;
  out.normalized = normalized != 0;
  out.p = PyFloat_AsDouble(args[3]);
  if (out.p == -1.0 && PyErr_Occurred()) return false;
  const long level = PyLong_AsLong(args[4]);
  if (level == -1 && PyErr_Occurred()) return false;
  if (level < 0 || level > 2 || !supported(static_cast<SimdLevel>(level))) {
    PyErr_SetString(PyExc_ValueError, "instruction-set level not supported here");
    return false;
  }
  out.level = static_cast<SimdLevel>(level);
  if (args[1] != Py_None) {
    const double cutoff = PyFloat_AsDouble(args[1]);
    if (cutoff == -1.0 && PyErr_Occurred()) return false;
    if (!is_distance(out.measure)) {
      out.min_similarity = cutoff;
    } else if (out.normalized) {
      out.max_normalized = cutoff;
    } else {
      if (!(cutoff >= 0)) {
        PyErr_SetString(PyExc_ValueError, "a distance cut-off must be at least 0");
        return false;
      }
      out.max_distance = static_cast<std::size_t>(cutoff);
    }
  }
  return true;
}

bool read_size(PyObject* o, std::size_t& out) {
  out = PyLong_AsSize_t(o);
  return !(out == static_cast<std::size_t>(-1) && PyErr_Occurred());
}

// The query's stored form: lowered when the set is.
struct PreparedQuery {
  std::optional<LowerText> lowered;
  Query query;
};

bool prepare_query(PyObject* str, bool lower, PreparedQuery& out) {
  if (!PyUnicode_Check(str)) {
    PyErr_Format(PyExc_TypeError, "query must be a str, not %s", Py_TYPE(str)->tp_name);
    return false;
  }
  Text view;
  if (!py::native_view(str, view)) return false;
  out.query = {view, view.size()};
  if (lower) out.query.text = out.lowered.emplace(view).text();
  return true;
}

PyObject* score_value(const Scoring& scoring, double v) {
  if (is_distance(scoring.measure) && !scoring.normalized) return PyLong_FromDouble(v);
  return PyFloat_FromDouble(v);
}

// score_matrix(queries, choices, out, element, begin, end, no_match,
//              measure, cutoff, normalized, p, level)
// Rows for the queries [begin, end) in set order, into `out`, a writable
// C-contiguous buffer of rows of the width of `choices`' positions.
PyObject* score_matrix_fn(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
  if (nargs != 12 || !is_texts(args[0]) || !is_texts(args[1])) {
    PyErr_SetString(PyExc_TypeError, "score_matrix: bad arguments");
    return nullptr;
  }
  Scoring scoring;
  std::size_t element = 0, begin = 0, end = 0;
  if (!read_scoring(args + 7, scoring) || !read_size(args[3], element) || !read_size(args[4], begin) ||
      !read_size(args[5], end))
    return nullptr;
  const double no_match = PyFloat_AsDouble(args[6]);
  if (no_match == -1.0 && PyErr_Occurred()) return nullptr;
  const ReferenceSet& queries = set_of(args[0]);
  const ReferenceSet& choices = set_of(args[1]);
  if (element > static_cast<std::size_t>(Element::f64) || begin > end || end > queries.size()) {
    PyErr_SetString(PyExc_ValueError, "score_matrix: bad element type or row range");
    return nullptr;
  }
  Py_buffer view;
  if (PyObject_GetBuffer(args[2], &view, PyBUF_WRITABLE | PyBUF_C_CONTIGUOUS | PyBUF_ND) < 0) return nullptr;
  struct Release {
    Py_buffer* v;
    ~Release() { PyBuffer_Release(v); }
  } release{&view};
  if (view.ndim != 2) {
    PyErr_SetString(PyExc_ValueError, "score_matrix: the output must have two dimensions");
    return nullptr;
  }
  static constexpr std::size_t kSizes[] = {1, 2, 4, 8, 1, 2, 4, 8, 4, 8};
  const auto rows = static_cast<std::size_t>(view.shape[0]), cols = static_cast<std::size_t>(view.shape[1]);
  const bool fits = static_cast<std::size_t>(view.itemsize) == kSizes[element] &&
                    (queries.size() == 0 || queries.position(queries.by_position().back()) < rows) &&
                    (choices.size() == 0 || choices.position(choices.by_position().back()) < cols);
  if (!fits) {
    PyErr_SetString(PyExc_ValueError, "score_matrix: the output does not fit the sets");
    return nullptr;
  }
  const MatrixOut out{view.buf, static_cast<Element>(element), cols, no_match};
  if (!detached([&] { score_matrix(scoring, queries, begin, end, choices, out); })) return nullptr;
  Py_RETURN_NONE;
}

// best(query, choices, limit, begin, end, measure, cutoff, normalized, p,
//      level) -> [(score, position)], best first.
PyObject* best_fn(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
  if (nargs != 10 || !is_texts(args[1])) {
    PyErr_SetString(PyExc_TypeError, "best: bad arguments");
    return nullptr;
  }
  const ReferenceSet& set = set_of(args[1]);
  Scoring scoring;
  std::size_t limit = 0, begin = 0, end = 0;
  if (!read_scoring(args + 5, scoring) || !read_size(args[2], limit) || !read_size(args[3], begin) ||
      !read_size(args[4], end))
    return nullptr;
  return guarded([&]() -> PyObject* {
    PreparedQuery q;
    if (!prepare_query(args[0], set.lowered(), q)) return nullptr;
    end = std::min(end, set.size());
    std::vector<Match> found;
    if (!detached([&] { found = best_matches(scoring, q.query, set, limit, std::min(begin, end), end); }))
      return nullptr;
    Ref list(PyList_New(static_cast<Py_ssize_t>(found.size())));
    if (!list) return nullptr;
    for (std::size_t i = 0; i < found.size(); ++i) {
      PyObject* item = Py_BuildValue("(NK)", score_value(scoring, found[i].score),
                                     static_cast<unsigned long long>(found[i].position));
      if (item == nullptr) return nullptr;
      PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item);
    }
    return list.release();
  });
}

// ---------------------------------------------------------------------------
// Joins: a JoinIndex over the right side, holding both sets alive, run over
// ranges of the left side's items in order of position.

struct JoinObject {
  PyObject_HEAD
  JoinIndex* index;
  PyObject* left;
  PyObject* right;
  bool self;
};

PyTypeObject* g_join_type = nullptr;

void join_dealloc(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  auto* j = reinterpret_cast<JoinObject*>(self);
  delete j->index;
  Py_XDECREF(j->left);
  Py_XDECREF(j->right);
  type->tp_free(self);
  Py_DECREF(type);
}

Ref bytes_of(const void* data, std::size_t bytes) {
  return Ref(PyBytes_FromStringAndSize(static_cast<const char*>(data), static_cast<Py_ssize_t>(bytes)));
}

// run(begin, end) -> (left positions, right positions, scores) as bytes of
// int64, int64 and float64, sorted by left then right position.
PyObject* join_run(PyObject* self, PyObject* const* args, Py_ssize_t nargs) {
  auto* j = reinterpret_cast<JoinObject*>(self);
  std::size_t begin = 0, end = 0;
  if (nargs != 2 || !read_size(args[0], begin) || !read_size(args[1], end)) {
    if (!PyErr_Occurred()) PyErr_SetString(PyExc_TypeError, "run(begin, end)");
    return nullptr;
  }
  const ReferenceSet& left = set_of(j->left);
  end = std::min(end, left.size());
  begin = std::min(begin, end);
  return guarded([&]() -> PyObject* {
    std::vector<JoinPair> pairs;
    std::vector<std::int64_t> l, r;
    std::vector<double> s;
    if (!detached([&] {
          j->index->join(left, begin, end, j->self, pairs);
          l.resize(pairs.size());
          r.resize(pairs.size());
          s.resize(pairs.size());
          for (std::size_t i = 0; i < pairs.size(); ++i) {
            l[i] = static_cast<std::int64_t>(pairs[i].left);
            r[i] = static_cast<std::int64_t>(pairs[i].right);
            s[i] = pairs[i].score;
          }
        }))
      return nullptr;
    Ref a = bytes_of(l.data(), l.size() * 8), b = bytes_of(r.data(), r.size() * 8), c = bytes_of(s.data(), s.size() * 8);
    if (!a || !b || !c) return nullptr;
    return PyTuple_Pack(3, a.get(), b.get(), c.get());
  });
}

PyMethodDef g_join_methods[] = {
    {"run", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(join_run)), METH_FASTCALL,
     "run(begin, end): the pairs of the left items [begin, end) in order of position."},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot g_join_slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(join_dealloc)},
    {Py_tp_methods, g_join_methods},
    {Py_tp_doc, const_cast<char*>("A join's index over its right side, made by join_index().")},
    {0, nullptr},
};

PyType_Spec g_join_spec = {"morvane_lookup._engine.JoinIndex", sizeof(JoinObject), 0,
                           Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION | Py_TPFLAGS_IMMUTABLETYPE,
                           g_join_slots};

// join_index(left, right, self, measure, cutoff, normalized, p, level)
PyObject* join_index(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
  if (nargs != 8 || !is_texts(args[0]) || !is_texts(args[1])) {
    PyErr_SetString(PyExc_TypeError, "join_index: bad arguments");
    return nullptr;
  }
  Scoring scoring;
  if (!read_scoring(args + 3, scoring)) return nullptr;
  const int self = PyObject_IsTrue(args[2]);
  if (self < 0) return nullptr;
  return guarded([&]() -> PyObject* {
    JoinIndex* index = nullptr;
    if (!detached([&] { index = new JoinIndex(scoring, set_of(args[1]), set_of(args[0])); })) return nullptr;
    auto* j = PyObject_New(JoinObject, g_join_type);
    if (j == nullptr) {
      delete index;
      return nullptr;
    }
    j->index = index;
    j->left = Py_NewRef(args[0]);
    j->right = Py_NewRef(args[1]);
    j->self = self != 0;
    return reinterpret_cast<PyObject*>(j);
  });
}

// ---------------------------------------------------------------------------
// default_process: lowercased, runs of non-alphanumeric code points to one
// space, trimmed.

PyObject* processed_str(PyObject* str, std::vector<std::uint32_t>& buffer, std::vector<std::uint8_t>& narrow) {
  Text view;
  if (!py::native_view(str, view)) return nullptr;
  const char32_t top = default_process(view, buffer);
  if (top < 0x100) {
    narrow.assign(buffer.begin(), buffer.end());
    return PyUnicode_FromKindAndData(PyUnicode_1BYTE_KIND, narrow.data(), static_cast<Py_ssize_t>(narrow.size()));
  }
  return PyUnicode_FromKindAndData(PyUnicode_4BYTE_KIND, buffer.data(), static_cast<Py_ssize_t>(buffer.size()));
}

PyObject* default_process_fn(PyObject*, PyObject* text) {
  if (!PyUnicode_Check(text)) {
    PyErr_Format(PyExc_TypeError, "default_process() takes a str, not %s", Py_TYPE(text)->tp_name);
    return nullptr;
  }
  return guarded([&]() -> PyObject* {
    std::vector<std::uint32_t> buffer;
    std::vector<std::uint8_t> narrow;
    return processed_str(text, buffer, narrow);
  });
}

// default_process_list(items: list, missing: tuple) -> a new list with
// every str processed and missing values as they were, or the position of
// the first item that is neither.
PyObject* default_process_list(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
  if (nargs != 2 || !PyList_CheckExact(args[0]) || !PyTuple_Check(args[1])) {
    PyErr_SetString(PyExc_TypeError, "default_process_list(items: list, missing: tuple)");
    return nullptr;
  }
  return guarded([&]() -> PyObject* {
    // A private copy: processing makes objects, which must not happen
    // under the caller's list's lock.
    Ref items(PyList_GetSlice(args[0], 0, PY_SSIZE_T_MAX));
    if (!items) return nullptr;
    const Py_ssize_t n = PyList_GET_SIZE(items.get());
    std::vector<std::uint32_t> buffer;
    std::vector<std::uint8_t> narrow;
    for (Py_ssize_t i = 0; i < n; ++i) {
      PyObject* const item = PyList_GET_ITEM(items.get(), i);
      if (PyUnicode_Check(item)) {
        PyObject* done = processed_str(item, buffer, narrow);
        if (done == nullptr) return nullptr;
        PyList_SET_ITEM(items.get(), i, done);
        Py_DECREF(item);
        continue;
      }
      bool skip = item == Py_None || (PyFloat_Check(item) && std::isnan(PyFloat_AS_DOUBLE(item)));
      for (Py_ssize_t m = 0; !skip && m < PyTuple_GET_SIZE(args[1]); ++m) skip = item == PyTuple_GET_ITEM(args[1], m);
      if (!skip) return PyLong_FromSsize_t(i);
    }
    return items.release();
  });
}

// simd_level() -> the level batches use in this process (0 scalar, 1 avx2,
// 2 avx512); supported_levels() -> those this processor runs.
PyObject* simd_level_fn(PyObject*, PyObject*) { return PyLong_FromLong(static_cast<long>(simd_level())); }
PyObject* supported_levels_fn(PyObject*, PyObject*) {
  const auto levels = supported_levels();
  Ref out(PyTuple_New(static_cast<Py_ssize_t>(levels.size())));
  if (!out) return nullptr;
  for (std::size_t i = 0; i < levels.size(); ++i) {
    PyObject* v = PyLong_FromLong(static_cast<long>(levels[i]));
    if (v == nullptr) return nullptr;
    PyTuple_SET_ITEM(out.get(), static_cast<Py_ssize_t>(i), v);
  }
  return out.release();
}

template <class F>
PyCFunction fast(F f) {
  return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(f));
}

PyMethodDef g_methods[] = {
    {"prepare", fast(prepare), METH_FASTCALL, "prepare(items, lower, missing, borrow, process) -> Texts or a bad item's position"},
    {"score_matrix", fast(score_matrix_fn), METH_FASTCALL, "Rows of a score matrix into a buffer."},
    {"best", fast(best_fn), METH_FASTCALL, "The best items of a set for one query."},
    {"join_index", fast(join_index), METH_FASTCALL, "The index a join probes."},
    {"simd_level", simd_level_fn, METH_NOARGS, "The instruction-set level of this process."},
    {"default_process", default_process_fn, METH_O,
     "default_process(text, /)\n--\n\nThe text lowercased (str.lower()), every run of characters that are not "
     "alphanumeric (str.isalnum()) turned into one space, and trimmed."},
    {"default_process_list", fast(default_process_list), METH_FASTCALL,
     "default_process over a list's strs; missing values kept, or a bad item's position."},
    {"supported_levels", supported_levels_fn, METH_NOARGS, "The levels this processor runs."},
    {nullptr, nullptr, 0, nullptr},
};

int exec_module(PyObject* module) noexcept {
  if (PyInterpreterState_Get() != PyInterpreterState_Main()) {
    PyErr_SetString(PyExc_ImportError, "module morvane_lookup._engine does not support loading in subinterpreters");
    return -1;
  }
  if (g_texts_type == nullptr) {
    g_texts_type = reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&g_texts_spec));
    if (g_texts_type == nullptr) return -1;
  }
  if (g_join_type == nullptr) {
    g_join_type = reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&g_join_spec));
    if (g_join_type == nullptr) return -1;
  }
  if (PyModule_AddObjectRef(module, "Texts", reinterpret_cast<PyObject*>(g_texts_type)) < 0) return -1;
  if (PyModule_AddObjectRef(module, "JoinIndex", reinterpret_cast<PyObject*>(g_join_type)) < 0) return -1;
  return 0;
}

PyModuleDef_Slot g_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(&exec_module)},
    {Py_mod_gil, Py_MOD_GIL_NOT_USED},
    {Py_mod_multiple_interpreters, Py_MOD_MULTIPLE_INTERPRETERS_NOT_SUPPORTED},
    {0, nullptr},
};

PyModuleDef g_module = {PyModuleDef_HEAD_INIT, "morvane_lookup._engine",
                        "Native side of morvane_lookup: prepared sets, matrices, best matches, joins.",
                        0, g_methods, g_slots, nullptr, nullptr, nullptr};

}  // namespace
}  // namespace morvane::lookup

PyMODINIT_FUNC PyInit__engine() { return PyModuleDef_Init(&morvane::lookup::g_module); }
