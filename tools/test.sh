#!/usr/bin/env bash
# Sets everything up and runs every test: the core's GoogleTest suites through
# ctest, the check of the committed Unicode tables, then the pytest suite
# against the module installed into .venv. Arguments go to pytest.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
tools/setup.sh

export PATH=$root/.venv/bin:$PATH
python=$root/.venv/bin/python
build=$root/build/tests
hooks=$build/tests/hooks/libmorvane_testhooks.so

step() { printf '\n== %s\n' "$*"; }

step "core tests ($build)"
cmake -S . -B "$build" -G Ninja --log-level=WARNING --no-warn-unused-cli \
  -DMORVANE_BUILD_TESTS=ON -DMORVANE_BUILD_MODULE=OFF -DPython_EXECUTABLE="$python"
cmake --build "$build"
ctest --test-dir "$build" --output-on-failure --no-tests=error --parallel "$(nproc)"

step "no fused multiply-add in the core"
# Similarities are defined operation by operation; a fused multiply-add in
# any kernel, at any level, would change their last bits.
if objdump -d "$build/morvane-core/libmorvane_core.a" | grep -qE '\bv?fn?m(add|sub)[0-9]{3}'; then
  echo "test: the core holds fused multiply-add instructions" >&2
  exit 1
fi

step "Unicode tables"
python tools/gen_lower_tables.py --check
python tools/gen_alnum_tables.py --check

step "module"
python -m pip install --disable-pip-version-check -q .

step "pytest"
[ -f "$hooks" ] || { echo "test: $hooks was not built" >&2; exit 1; }
MORVANE_TESTHOOKS=$hooks python -m pytest "${@:-tests}"

# The batches once more at every instruction-set level this processor runs
# (the run above used the best one): the results must not depend on it.
if [ $# -eq 0 ]; then
  levels=$(python -c 'import ctypes, sys
lib = ctypes.CDLL(sys.argv[1]); buf = ctypes.create_string_buffer(64)
lib.morvane_test_supported_levels(buf, 64); print(buf.value.decode())' "$hooks")
  for level in $levels; do
    step "pytest, batches at MORVANE_SIMD=$level"
    MORVANE_SIMD=$level MORVANE_TESTHOOKS=$hooks python -m pytest -q tests/test_batch.py tests/test_any_script.py \
      tests/test_edit_distance.py
  done
fi
