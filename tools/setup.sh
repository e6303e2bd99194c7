#!/usr/bin/env bash
# Prepares this machine and the project virtual environment .venv:
#   - CPython 3.14 with headers and venv: python3.14t when it is on PATH, else
#     python3.14, else Debian's python3.14 from the forky suite, pinned low so
#     that nothing else on the machine moves to forky;
#   - the Debian packages of the C++ build (g++, make, GoogleTest, Google
#     Benchmark);
#   - .venv, made with that interpreter, holding requirements-dev.txt.
# Every step checks before it acts, so a second run changes nothing and prints
# nothing. Runs as root, or through sudo when it is there.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
venv=$root/.venv
requirements=$root/requirements-dev.txt
stamp=$venv/.morvane-setup

build_packages=(ca-certificates build-essential g++ make libgtest-dev libbenchmark-dev)
# python3-pip-whl and python3-setuptools-whl are named so that forky's are
# taken: python3.14-venv accepts bookworm's, whose pip 23 cannot run on 3.14.
forky_python_packages=(python3.14 python3.14-dev python3.14-venv python3-pip-whl python3-setuptools-whl)
# The fuzzers' compiler with its sanitizer and libFuzzer runtimes
# (tools/fuzz.sh): clang-19 is the oldest of bookworm's clangs whose C++23
# mode takes libstdc++ 12's std::expected.
fuzz_packages=(clang-19 libclang-rt-19-dev)

# Release files of a mirror snapshot can be past their Valid-Until date.
apt_options=(-o Acquire::Check-Valid-Until=false -o Dpkg::Use-Pty=0)

say() { printf 'setup: %s\n' "$*"; }
die() { printf 'setup: error: %s\n' "$*" >&2; exit 1; }

as_root() {
  if [ "$(id -u)" -eq 0 ]; then
    "$@"
  elif command -v sudo >/dev/null 2>&1; then
    sudo "$@"
  else
    die "root is needed for: $*"
  fi
}

# Runs a command with its output in a log that is shown only when it fails.
logged() {
  local log status=0
  log=$(mktemp)
  "$@" >"$log" 2>&1 || status=$?
  if [ "$status" -ne 0 ]; then
    tail -n 60 "$log" >&2
    rm -f "$log"
    return "$status"
  fi
  rm -f "$log"
}

installed() {
  [ "$(dpkg-query -W -f='${db:Status-Abbrev}' "$1" 2>/dev/null)" = "ii " ]
}

missing_packages() {
  local p
  for p in "$@"; do installed "$p" || printf '%s\n' "$p"; done
}

apt_updated=0
apt_update() {
  [ "$apt_updated" -eq 1 ] && return 0
  say "apt-get update"
  logged as_root apt-get "${apt_options[@]}" update
  apt_updated=1
}

apt_install() {
  say "apt-get install $*"
  logged as_root env DEBIAN_FRONTEND=noninteractive apt-get "${apt_options[@]}" \
    install -y --no-install-recommends "$@"
}

# Writes a root-owned file when its content differs.
put_file() {
  local path=$1 content=$2
  if [ "$(cat "$path" 2>/dev/null)" != "$content" ]; then
    say "writing $path"
    printf '%s\n' "$content" | as_root tee "$path" >/dev/null
  fi
}

add_forky_source() {
  put_file /etc/apt/sources.list.d/forky.sources "Types: deb
URIs: http://deb.debian.org/debian
Suites: forky
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg"
  # Priority 100: forky is never chosen by itself, only with -t forky.
  put_file /etc/apt/preferences.d/forky-pin "Package: *
Pin: release n=forky
Pin-Priority: 100"
}

# Prints the base interpreter (outside any venv) of a 3.14 on PATH.
find_python() {
  local name path
  for name in python3.14t python3.14; do
    path=$(command -v "$name" 2>/dev/null) || continue
    "$path" -c 'import sys
assert sys.version_info[:2] == (3, 14)
print(sys._base_executable)' 2>/dev/null && return 0
  done
  return 1
}

from_debian() { dpkg -S "$1" >/dev/null 2>&1; }

has_headers() {
  "$1" -c 'import os, sys, sysconfig
sys.exit(not os.path.exists(os.path.join(sysconfig.get_path("include"), "Python.h")))'
}

# True when the pip wheel that venv will use runs on this interpreter.
pip_wheel_works() {
  local wheel
  wheel=$(ls /usr/share/python-wheels/pip-*.whl 2>/dev/null | sort -V | tail -n 1) || true
  [ -n "$wheel" ] && PYTHONPATH=$wheel "$1" -m pip --version >/dev/null 2>&1
}

# --- Debian packages -------------------------------------------------------

python=$(find_python) || python=
need_build=$(missing_packages "${build_packages[@]}")
need_fuzz=$(missing_packages "${fuzz_packages[@]}")
need_python=0
if [ -z "$python" ]; then
  need_python=1
elif from_debian "$python"; then
  if [ -n "$(missing_packages "${forky_python_packages[@]}")" ] ||
     { [ ! -x "$venv/bin/python" ] && ! pip_wheel_works "$python"; }; then
    need_python=1
  fi
fi

if [ -n "$need_build" ] || [ -n "$need_fuzz" ] || [ "$need_python" -eq 1 ]; then
  [ "$need_python" -eq 1 ] && add_forky_source
  apt_update
  # Bookworm's build packages go in first: once forky's libc6 is there,
  # bookworm's libc6-dev (which wants its own libc6) and dpkg-dev (which
  # forky's libc6-dev breaks) cannot be installed, and forky's must be taken.
  if [ -n "$need_build" ]; then
    release=()
    libc=$(dpkg-query -W -f='${Version}' libc6)
    stable_libc=$(apt-cache madison libc6 | awk -F' [|] ' '$3 ~ / bookworm/ {print $2}' | sort -V | tail -n 1)
    if [ -n "$stable_libc" ] && dpkg --compare-versions "$libc" gt "$stable_libc"; then
      say "libc6 $libc is newer than bookworm's, so the build packages come from forky"
      release=(-t forky)
    fi
    # shellcheck disable=SC2086 # one package a line
    apt_install "${release[@]}" $need_build
  fi
  if [ "$need_python" -eq 1 ]; then
    # --force-overwrite: forky's openssl-provider-legacy ships a file that
    # bookworm's libssl3 also ships, and libssl3 stays installed.
    apt_install -t forky -o Dpkg::Options::=--force-overwrite "${forky_python_packages[@]}"
    python=$(find_python) || die "python3.14 is still not on PATH after installing it"
  fi
  if [ -n "$need_fuzz" ]; then
    # libclang-rt's 32-bit runtimes want the libc6-i386 of the installed
    # libc6: forky's once libc6 is forky's. The rest comes from bookworm.
    i386=()
    libc=$(dpkg-query -W -f='${Version}' libc6)
    stable_libc=$(apt-cache madison libc6 | awk -F' [|] ' '$3 ~ / bookworm/ {print $2}' | sort -V | tail -n 1)
    if ! installed libc6-i386 && [ -n "$stable_libc" ] && dpkg --compare-versions "$libc" gt "$stable_libc"; then
      i386=(libc6-i386/forky)
    fi
    # shellcheck disable=SC2086 # one package a line
    apt_install $need_fuzz "${i386[@]}"
  fi
fi

has_headers "$python" || die "$python has no C headers (Python.h); install its development files"

# --- virtual environment ---------------------------------------------------

want="python=$python
requirements=$(sha256sum <"$requirements" | cut -d' ' -f1)"
[ -f "$stamp" ] && [ "$(cat "$stamp")" = "$want" ] && [ -x "$venv/bin/python" ] && exit 0

base=$("$venv/bin/python" -c 'import sys; print(sys._base_executable)' 2>/dev/null) || base=
if [ "$base" != "$python" ]; then
  rm -rf "$venv"
  say "creating .venv with $python"
  logged "$python" -m venv "$venv"
fi
rm -f "$stamp"

pip=("$venv/bin/python" -m pip --disable-pip-version-check)
say "installing requirements-dev.txt into .venv"
required=$(mktemp)
grep -v -E '#[[:space:]]*optional' "$requirements" >"$required"
logged "${pip[@]}" install -r "$required" || { rm -f "$required"; exit 1; }
rm -f "$required"

failed=()
for peer in $(sed -n -E 's/^([^#[:space:]]+).*#[[:space:]]*optional.*/\1/p' "$requirements"); do
  "${pip[@]}" install -q "$peer" >/dev/null 2>&1 || failed+=("$peer")
done
if [ "${#failed[@]}" -gt 0 ]; then
  say "peer libraries that did not install for $("$python" -V 2>&1): ${failed[*]}"
fi

printf '%s\n' "$want" >"$stamp"
say "done"
