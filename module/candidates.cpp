#include "candidates.hpp"

#include "intake.hpp"
#include "runtime.hpp"
#include "text_view.hpp"

namespace morvane::py {

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

}  // namespace morvane::py
