#!/usr/bin/env bash
# Compiles every module/*.cpp and lookup/*.cpp once more as for the free-threaded interpreter
# (Py_GIL_DISABLED=1), against the headers of the .venv interpreter and with
# the flags of the real build, so that nothing the free-threaded build rejects
# (the limited API, direct reference-count fields, ...) gets in while the
# module is built and tested with a default interpreter. Objects are thrown
# away; any error or warning fails the check.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
tools/setup.sh

cxx=${CXX:-g++}
python=$root/.venv/bin/python
mapfile -t python_includes < <("$python" -c 'import sysconfig
for d in dict.fromkeys([sysconfig.get_path("include"), sysconfig.get_path("platinclude")]):
    print(d)')
flags=(-std=c++23 -ffp-contract=off -Wall -Wextra -Wpedantic -Werror -Wshadow -Wconversion -Wsign-conversion
  -O3 -DNDEBUG -fPIC -fvisibility=hidden -fvisibility-inlines-hidden
  -DPy_GIL_DISABLED=1)
for d in "${python_includes[@]}"; do flags+=(-I "$d"); done
flags+=(-I morvane-core/include -I module)

compiles() { printf '%s\n' "$1" | "$cxx" "${flags[@]}" -x c++ -fsyntax-only - 2>/dev/null; }

# The define must reach these headers: PyObject has an owning-thread field
# only in the free-threaded layout, which has no plain ob_refcnt.
if ! compiles '#include <Python.h>
static_assert(sizeof(static_cast<PyObject*>(nullptr)->ob_tid) != 0);'; then
  echo "check_free_threaded: these Python headers do not give the free-threaded layout" >&2
  exit 1
fi
if compiles '#include <Python.h>
Py_ssize_t count(PyObject* o) { return o->ob_refcnt; }'; then
  echo "check_free_threaded: reading ob_refcnt compiles, so this check would catch nothing" >&2
  exit 1
fi

shopt -s nullglob
sources=(module/*.cpp lookup/*.cpp)
[ "${#sources[@]}" -gt 0 ] || { echo "check_free_threaded: no module/*.cpp or lookup/*.cpp to compile" >&2; exit 1; }

failed=()
for src in "${sources[@]}"; do
  "$cxx" "${flags[@]}" -c "$src" -o /dev/null || failed+=("$src")
done
if [ "${#failed[@]}" -gt 0 ]; then
  echo "check_free_threaded: ${#failed[@]} of ${#sources[@]} sources fail with Py_GIL_DISABLED: ${failed[*]}" >&2
  exit 1
fi
echo "check_free_threaded: ${#sources[@]} module sources compile with Py_GIL_DISABLED=1 ($("$cxx" -dumpfullversion), ${python_includes[0]})"
