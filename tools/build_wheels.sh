#!/usr/bin/env bash
# Builds the release artefacts into build/dist (or --out DIR):
#   - the sdist, from this tree;
#   - from that sdist (so that a source build needs nothing the sdist lacks),
#     a cp314 wheel with the .venv interpreter and, when python3.14t is on
#     PATH, a cp314t wheel with it;
#   - each wheel repaired by auditwheel to a manylinux tag no newer than
#     manylinux_2_28, then checked: the glibc symbol versions its module
#     needs (none above 2.28), its tag, and its contents.
# Prints the paths of the repaired wheels last, one a line, after "wheel: ".
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
out=$root/build/dist
while [ $# -gt 0 ]; do
  case $1 in
    --out) out=$(realpath -m "$2"); shift 2 ;;
    *) echo "build_wheels: unknown argument $1" >&2; exit 2 ;;
  esac
done

tools/setup.sh
export PATH=$root/.venv/bin:$PATH
python=$root/.venv/bin/python
# The oldest glibc a wheel may need; manylinux_2_28 is the newest tag PyPI
# users on current long-term distributions can all install.
glibc_floor=2.28
policy=manylinux_2_28_x86_64

say() { printf 'build_wheels: %s\n' "$*"; }
die() { printf 'build_wheels: error: %s\n' "$*" >&2; exit 1; }

work=$root/build/wheel
rm -rf "$out" "$work"
mkdir -p "$out/raw" "$work"

# --- sdist -----------------------------------------------------------------

say "sdist"
"$python" -m build --sdist --no-isolation --outdir "$out" . >"$work/sdist.log" 2>&1 ||
  { tail -n 40 "$work/sdist.log" >&2; die "the sdist did not build"; }
sdist=$(ls "$out"/morvane-*.tar.gz)

# The sdist holds the sources a build needs and nothing of a local tree.
listing=$(tar -tzf "$sdist" | sed 's|^[^/]*/||')
for need in pyproject.toml CMakeLists.txt LICENSE README.md module/CMakeLists.txt module/exports.map \
  lookup/CMakeLists.txt lookup/exports.map lookup/engine.cpp python/morvane_lookup/__init__.py \
  morvane-core/CMakeLists.txt python/morvane/__init__.pyi python/morvane/py.typed; do
  grep -qxF "$need" <<<"$listing" || die "the sdist lacks $need"
done
if grep -qE '^(build|\.venv|\.git)/|__pycache__|\.so$' <<<"$listing"; then
  die "the sdist holds build output or local files: $(grep -E '^(build|\.venv|\.git)/|__pycache__|\.so$' <<<"$listing" | head -n 5 | tr '\n' ' ')"
fi

# --- wheels ----------------------------------------------------------------

# A wheel built by `interpreter` from the extracted sdist, in a build
# directory of its own (the sdist's copy is thrown away afterwards).
build_wheel() {
  local interpreter=$1 name=$2 src=$work/src-$2
  mkdir -p "$src"
  tar -xzf "$sdist" -C "$src" --strip-components=1
  say "wheel for $("$interpreter" -c 'import sys; print(sys.implementation.cache_tag, sys.abiflags or "")')"
  "$interpreter" -m build --wheel --no-isolation --outdir "$out/raw" -C build-dir=build/wheel "$src" \
    >"$work/wheel-$name.log" 2>&1 || { tail -n 60 "$work/wheel-$name.log" >&2; die "the $name wheel did not build"; }
}

build_wheel "$python" cp314

# The free-threaded build has its own ABI (cp314t) and needs its own
# interpreter with the build requirements.
if ft=$(command -v python3.14t 2>/dev/null); then
  ft_venv=$work/venv-cp314t
  "$ft" -m venv "$ft_venv"
  grep -E '^(scikit-build-core|cmake|ninja|build)==' requirements-dev.txt >"$work/ft-requirements.txt"
  "$ft_venv/bin/python" -m pip install --disable-pip-version-check -q -r "$work/ft-requirements.txt"
  PATH=$ft_venv/bin:$PATH build_wheel "$ft_venv/bin/python" cp314t
else
  say "no python3.14t on PATH: no cp314t wheel"
fi

# --- repair and check --------------------------------------------------------

# Highest version of each symbol-version family (GLIBC, GLIBCXX, CXXABI,
# GCC) that the shared objects under a directory need.
highest() {
  local family=$1 dir=$2
  find "$dir" -name '*.so' -print0 | xargs -0 objdump -T |
    { grep -oE "\(${family}_[0-9.]+\)" || true; } | tr -d '()' | sed "s/^${family}_//" | sort -uV | tail -n 1
}

repaired=()
for raw in "$out"/raw/*.whl; do
  say "auditwheel repair $(basename "$raw")"
  auditwheel repair --plat "$policy" -w "$out" "$raw" >"$work/repair.log" 2>&1 ||
    { cat "$work/repair.log" >&2; die "auditwheel refused $(basename "$raw") for $policy"; }
  wheel=$(sed -n 's/.*Fixed-up wheel written to \(.*\.whl\).*/\1/p' "$work/repair.log" | tail -n 1)
  [ -f "$wheel" ] || { cat "$work/repair.log" >&2; die "auditwheel wrote no wheel for $(basename "$raw")"; }
  repaired+=("$wheel")

  auditwheel show "$wheel"
  case $(basename "$wheel") in
    *manylinux_2_[0-9]_x86_64* | *manylinux_2_1[0-9]_x86_64* | *manylinux_2_2[0-8]_x86_64*) ;;
    *) die "$(basename "$wheel") has no manylinux tag of glibc $glibc_floor or older" ;;
  esac

  unpacked=$work/unpacked-$(basename "$wheel" .whl)
  mkdir -p "$unpacked"
  "$python" -m zipfile -e "$wheel" "$unpacked"
  files=$(cd "$unpacked" && find . -type f | sed 's|^\./||' | sort)
  grep -qE '^morvane/__init__\.cpython-314t?-x86_64-linux-gnu\.so$' <<<"$files" || die "no morvane/__init__ module in $wheel"
  grep -qE '^morvane_lookup/_engine\.cpython-314t?-x86_64-linux-gnu\.so$' <<<"$files" ||
    die "no morvane_lookup/_engine module in $wheel"
  for need in morvane/__init__.pyi morvane/py.typed morvane_lookup/__init__.py morvane_lookup/_engine.pyi; do
    grep -qxF "$need" <<<"$files" || die "$wheel lacks $need"
  done
  grep -qE '^morvane-[^/]*\.dist-info/licenses/LICENSE$' <<<"$files" || die "$wheel lacks the LICENSE"
  # auditwheel copies in any library from outside the policy; the module
  # must need none.
  ! grep -q '\.libs/' <<<"$files" || die "$wheel had libraries grafted in: $(grep '\.libs/' <<<"$files" | tr '\n' ' ')"

  glibc=$(highest GLIBC "$unpacked")
  glibcxx=$(highest GLIBCXX "$unpacked")
  cxxabi=$(highest CXXABI "$unpacked")
  gcc=$(highest GCC "$unpacked")
  say "$(basename "$wheel") needs at most: GLIBC ${glibc:-none}, GLIBCXX ${glibcxx:-none}, CXXABI ${cxxabi:-none}, GCC (libgcc_s) ${gcc:-none}"
  if [ -n "$glibc" ] && [ "$(printf '%s\n%s\n' "$glibc" "$glibc_floor" | sort -V | tail -n 1)" != "$glibc_floor" ]; then
    objdump -T "$unpacked"/morvane/*.so "$unpacked"/morvane_lookup/*.so | grep -E "GLIBC_$glibc" >&2
    die "$(basename "$wheel") needs GLIBC_$glibc, newer than $glibc_floor"
  fi
done

for wheel in "${repaired[@]}"; do echo "wheel: $wheel"; done
echo "sdist: $sdist"
