#!/usr/bin/env bash
# Builds the libFuzzer fuzzers (fuzz/, Clang with AddressSanitizer and
# UndefinedBehaviorSanitizer) into build/fuzz and runs each for the given
# number of seconds (default 60), one after the other, from a copy of its
# committed seed corpus: what a run finds stays out of the repository. Fails
# when any fuzzer finds a mismatch, a crash, a leak or a timeout; the input
# that did it is kept in build/fuzz/artifacts. Prints, per fuzzer, the
# executions per second and the total.
#
#   tools/fuzz.sh [--jobs N] [seconds-per-fuzzer] [fuzzer...]
#
# --jobs N runs N fuzzers at once (default 1: the machines have two cores,
# shared). Naming fuzzers (levenshtein_fuzzer, ...) runs only those.
# The fuzzers run every kernel at every instruction-set level this processor
# runs; MORVANE_SIMD changes only the level of the core's calls that are not
# given one.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

jobs=1
seconds=60
fuzzers=()
while [ "$#" -gt 0 ]; do
  case $1 in
    --jobs) jobs=$2; shift 2 ;;
    --jobs=*) jobs=${1#--jobs=}; shift ;;
    -h|--help) sed -n '2,16p' "$0"; exit 0 ;;
    [0-9]*) seconds=$1; shift ;;
    *) fuzzers+=("$1"); shift ;;
  esac
done
[ "${#fuzzers[@]}" -gt 0 ] || fuzzers=(levenshtein_fuzzer damerau_fuzzer jaro_winkler_fuzzer batch_fuzzer lookup_fuzzer)

tools/setup.sh
export PATH=$root/.venv/bin:$PATH
build=$root/build/fuzz
# The version tools/setup.sh installs; see DEVELOPERS.md for why this one.
cxx=${MORVANE_FUZZ_CXX:-clang++-19}

cmake -S . -B "$build" -G Ninja --log-level=WARNING --no-warn-unused-cli -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER="$cxx" -DMORVANE_BUILD_FUZZERS=ON -DMORVANE_BUILD_MODULE=OFF
cmake --build "$build" -j 2 --target "${fuzzers[@]}"

export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$build/artifacts"

# Runs one fuzzer; its log is $work/<fuzzer>.log, its status $work/<fuzzer>.status.
run_one() {
  local fuzzer=$1 corpus=$work/$1.corpus status=0
  cp -r "fuzz/corpus/$fuzzer" "$corpus"
  # -max_len: inputs of a few KB already reach texts of thousands of code
  # points through runs and repeats (fuzz/fuzz_input.hpp).
  "$build/fuzz/$fuzzer" -max_total_time="$seconds" -max_len=4096 -timeout=60 \
    -print_final_stats=1 -artifact_prefix="$build/artifacts/$fuzzer-" "$corpus" >"$work/$fuzzer.log" 2>&1 || status=$?
  echo "$status" >"$work/$fuzzer.status"
}

running=0
for fuzzer in "${fuzzers[@]}"; do
  printf 'fuzz: running %s for %ss\n' "$fuzzer" "$seconds"
  run_one "$fuzzer" &
  running=$((running + 1))
  if [ "$running" -ge "$jobs" ]; then
    wait -n || true
    running=$((running - 1))
  fi
done
wait

failed=()
printf '\n%-22s %12s %16s  %s\n' fuzzer exec/s executions result
for fuzzer in "${fuzzers[@]}"; do
  log=$work/$fuzzer.log
  status=$(cat "$work/$fuzzer.status")
  rate=$(sed -n 's/^stat::average_exec_per_sec:[[:space:]]*//p' "$log" | tail -n 1)
  total=$(sed -n 's/^stat::number_of_executed_units:[[:space:]]*//p' "$log" | tail -n 1)
  result=ok
  if [ "$status" -ne 0 ]; then
    result="FAILED (exit $status)"
    failed+=("$fuzzer")
  fi
  printf '%-22s %12s %16s  %s\n' "$fuzzer" "${rate:-?}" "${total:-?}" "$result"
done

for fuzzer in "${failed[@]}"; do
  printf '\n== %s: last lines of its log\n' "$fuzzer" >&2
  tail -n 60 "$work/$fuzzer.log" >&2
done
if [ "${#failed[@]}" -gt 0 ]; then
  printf '\nfuzz: failed: %s (inputs in %s)\n' "${failed[*]}" "$build/artifacts" >&2
  exit 1
fi
