#!/usr/bin/env bash
# Checks the type stubs (python/morvane/__init__.pyi) against the module:
#   1. mypy's stubtest: every name, signature, parameter kind and default of
#      the stub matches the built module;
#   2. mypy --strict over tests/typing/user_script.py, correct use of the
#      API: it must report nothing;
#   3. mypy --strict over tests/typing/planted_mistakes.py: each line marked
#      "# E: <codes>" must get exactly those error codes, and no other line
#      any error, so a stub that lets a mistake through fails, and so does a
#      marker that is removed while its mistake stays.
# By default the module is built with CMake into build/typing and the stubs
# are read from python/. With --python PY, PY's installed morvane (a wheel,
# stubs and py.typed included) is checked instead; PY must have mypy.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

python=
while [ $# -gt 0 ]; do
  case $1 in
    --python) python=$2; shift 2 ;;
    *) echo "check_typing: unknown argument $1" >&2; exit 2 ;;
  esac
done

say() { printf 'check_typing: %s\n' "$*"; }
die() { printf 'check_typing: error: %s\n' "$*" >&2; exit 1; }

if [ -z "$python" ]; then
  tools/setup.sh
  export PATH=$root/.venv/bin:$PATH
  python=$root/.venv/bin/python
  build=$root/build/typing
  cmake -S . -B "$build" -G Ninja --log-level=WARNING -DMORVANE_BUILD_MODULE=ON -DPython_EXECUTABLE="$python"
  cmake --build "$build" --target morvane morvane_lookup_engine morvane_lookup_python
  # The build tree holds the package morvane (its __init__ is the module);
  # the stubs come from the source folder, which mypy searches first.
  export PYTHONPATH=$build/module:$build/lookup MYPYPATH=$root/python
  cache=$build/mypy-cache
else
  # An installed package is checked as installed: nothing of the source
  # tree may stand in for it.
  unset PYTHONPATH MYPYPATH
  cache=$(mktemp -d)
  trap 'rm -rf "$cache"' EXIT
fi

mypy=("$python" -m mypy --strict --cache-dir "$cache" --no-error-summary --show-error-codes --hide-error-context
  --no-pretty --no-color-output)

where=$("$python" -c 'import morvane; print(morvane.__file__)')
say "module $where"

say "stubtest"
# No allowlist: the stub states every runtime name and signature exactly.
# What it cannot state (a str passed as candidates is a Sequence[str] to a
# type checker but a TypeError at run time; max_len takes any __index__
# object, case_insensitive a NumPy boolean) is in its docstrings.
"$python" -m mypy.stubtest morvane morvane_lookup._engine

say "mypy --strict tests/typing/user_script.py"
"${mypy[@]}" tests/typing/user_script.py || die "mypy reports errors on correct use of the API (above)"

say "mypy --strict tests/typing/planted_mistakes.py"
status=0
report=$("${mypy[@]}" tests/typing/planted_mistakes.py) || status=$?
[ "$status" -le 1 ] || { printf '%s\n' "$report" >&2; die "mypy failed to run (status $status)"; }
report_file=$(mktemp)
printf '%s\n' "$report" >"$report_file"
"$python" - tests/typing/planted_mistakes.py "$report_file" <<'EOF'
import re, sys

path = sys.argv[1]
expected = {}
with open(path, encoding="utf-8") as f:
    for number, line in enumerate(f, 1):
        m = re.search(r"#\s*E:\s*([\w\-, ]+)$", line.rstrip())
        if m:
            expected[number] = {code.strip() for code in m.group(1).split(",") if code.strip()}

reported = {}
with open(sys.argv[2], encoding="utf-8") as f:
    output = f.read()
for line in output.splitlines():
    m = re.match(r"(.+?):(\d+): error: (.*?)\s+\[([\w\-]+)\]$", line)
    if m and m.group(1).endswith(path):
        reported.setdefault(int(m.group(2)), set()).add(m.group(4))
        print(f"  line {m.group(2)}: [{m.group(4)}] {m.group(3)}")
    elif line.strip() and ": note:" not in line:
        sys.exit(f"check_typing: unexpected mypy output: {line}")

failures = []
for number in sorted(expected.keys() | reported.keys()):
    want, got = expected.get(number, set()), reported.get(number, set())
    if want != got:
        failures.append(f"line {number}: expected {sorted(want) or 'no error'}, mypy reported {sorted(got) or 'none'}")
if not expected:
    failures.append("no '# E:' markers: nothing is checked")
if failures:
    sys.exit("check_typing: the planted mistakes are not reported as marked:\n  " + "\n  ".join(failures))
print(f"check_typing: all {len(expected)} planted mistakes reported, nothing else")
EOF
rm -f "$report_file"
say "passed"
