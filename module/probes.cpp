#include "probes.hpp"

#include <cstring>
#include <memory>
#include <vector>

#include "intake.hpp"

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

}  // namespace morvane::py
