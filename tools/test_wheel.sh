#!/usr/bin/env bash
# Builds the release wheel (tools/build_wheels.sh), installs it into a fresh
# virtual environment (build/wheel-venv) and runs, there, the pytest suite
# and the typing checks against the installed package, as a user would get
# it. The tests run from a copy outside the repository, so nothing of the
# source tree can be imported in place of the wheel. Arguments go to pytest.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

say() { printf 'test_wheel: %s\n' "$*"; }
die() { printf 'test_wheel: error: %s\n' "$*" >&2; exit 1; }

log=$(mktemp)
tools/build_wheels.sh | tee "$log"
wheel=$(sed -n 's/^wheel: \(.*cp314-cp314-.*\.whl\)$/\1/p' "$log" | head -n 1)
rm -f "$log"
[ -f "$wheel" ] || die "build_wheels.sh named no cp314 wheel"

python=$(.venv/bin/python -c 'import sys; print(sys._base_executable)')
venv=$root/build/wheel-venv
rm -rf "$venv"
say "fresh venv $venv ($("$python" -V 2>&1))"
"$python" -m venv "$venv"
pip=("$venv/bin/python" -m pip --disable-pip-version-check -q)
# The test dependencies and mypy (for the stubs), and the wheel with its
# extras, all at the pins of the project venv (a constraint names no extra).
requirements=$(mktemp)
constraints=$(mktemp)
grep -E '^(pytest|hypothesis|numpy|mypy)==' requirements-dev.txt >"$requirements"
sed -E 's/\[[^]]*\]//; s/[[:space:]]*#.*$//' requirements-dev.txt | grep -E '==' >"$constraints"
extras=$("$python" -c 'import sys, tomllib
print(",".join(tomllib.load(open(sys.argv[1], "rb"))["project"].get("optional-dependencies", {})))' pyproject.toml)
"${pip[@]}" install -c "$constraints" -r "$requirements" "$wheel${extras:+[$extras]}"
rm -f "$requirements" "$constraints"

copy=$(mktemp -d)
trap 'rm -rf "$copy"' EXIT
cp -r tests "$copy/tests"
# tests/test_readme.py runs the README's examples against the wheel.
cp README.md "$copy/README.md"
rm -rf "$copy/tests/__pycache__" "$copy/tests/.pytest_cache"
cd "$copy"

site=$("$venv/bin/python" -c 'import sysconfig; print(sysconfig.get_path("platlib"))')
where=$("$venv/bin/python" -c 'import morvane; print(morvane.__file__)')
case $where in
  "$site"/morvane/__init__.*.so) say "morvane is $where" ;;
  *) die "morvane was imported from $where, not from the installed wheel in $site" ;;
esac

# The hooks library is a separate build of the core (tools/test.sh makes
# it); without it the tests that need it skip.
hooks=$root/build/tests/tests/hooks/libmorvane_testhooks.so
if [ -f "$hooks" ]; then
  export MORVANE_TESTHOOKS=$hooks
else
  say "no $hooks: the tests that need the core hooks skip"
fi

say "pytest against the installed wheel"
"$venv/bin/python" -m pytest -p no:cacheprovider -q "${@:-tests}"

cd "$root"
say "typing checks against the installed wheel"
tools/check_typing.sh --python "$venv/bin/python"
