#!/usr/bin/env bash
# Every test of the project: the portable core natively (gcc, then clang with
# ASan/UBSan and a short fuzz run), and the Windows module cross-built for
# 32 and 64 bits with its in-process and end-to-end tests under Wine.
# Installs what is missing first. Shows each test as it ends; ends with
# "N passed, N failed", counting test cases (a Windows test program runs many),
# not the fixtures that set them up. Where the kernel executes no 32-bit code,
# the 32-bit Windows programs are built but not run, and named as such:
# neither passed nor failed (the only tests that are not run).
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/deps.sh || { echo "0 passed, 1 failed"; exit 1; }
# One display for every Windows test of the run, stopped at its end.
. scripts/wine-env.sh
pfc_ensure_display || { echo "0 passed, 1 failed"; exit 1; }

total_pass=0
total_fail=0
total_not_run=0
jobs=$(nproc)

# Each Windows tree's package takes the other bitness's parts from the other
# preset's tree (brought up to date there by the build that needs them), so
# each module is built once in a run; both trees are configured before either
# is built.
configure_args() { # preset
  case "$1" in
    win32) echo "-DPFC_COMPANION_TREE=$root/build/win64" ;;
    win64) echo "-DPFC_COMPANION_TREE=$root/build/win32" ;;
  esac
}

run_suite() { # preset [ctest args...]
  local preset=$1; shift
  echo "=== $preset: configure and build"
  if ! cmake --preset "$preset" $(configure_args "$preset") >"build/$preset.log" 2>&1 || ! cmake --build --preset "$preset" -j "$jobs" >>"build/$preset.log" 2>&1; then
    # The compiler's errors first: the other tree's build output may end the log.
    grep -E -A3 '^FAILED: |error:' "build/$preset.log" | head -n 60
    echo "--- the log's end:"
    tail -n 15 "build/$preset.log"
    echo "=== $preset: build FAILED (build/$preset.log)"
    total_fail=$((total_fail + 1))
    return
  fi
  echo "=== $preset: tests"
  # Each test's line as it ends; the whole output stays in the log.
  local junit="build/$preset.junit.xml" counts
  rm -f "$junit"
  rm -rf "build/$preset/test-results"
  ctest --test-dir "build/$preset" -V --output-junit "$root/$junit" "$@" 2>&1 |
    python3 scripts/test_report.py stream "build/$preset.ctest.log"
  if ! counts=$(python3 scripts/test_report.py count "build/$preset" "$root/$junit") || [ ! -f "$junit" ]; then
    echo "=== $preset: the run could not be counted (build/$preset.ctest.log)"
    total_fail=$((total_fail + 1))
    return
  fi
  echo "=== $preset: $(echo "$counts" | sed '$d')"
  local pass fail not_run
  read -r pass fail not_run < <(echo "$counts" | tail -n 1)
  total_pass=$((total_pass + pass))
  total_fail=$((total_fail + fail))
  total_not_run=$((total_not_run + not_run))
}

mkdir -p build
if ! pfc_runs_32bit; then
  echo "=== this machine cannot execute 32-bit programs ($PFC_32BIT_REFUSAL): the win32 tree is built, its test programs are NOT RUN"
fi
run_suite native
run_suite native-asan
cmake --preset win64 $(configure_args win64) >build/win64.log 2>&1
run_suite win32
run_suite win64
if ((total_not_run)); then
  echo "NOT RUN on this machine: $total_not_run test programs (32-bit Windows programs cannot start here; README, Known limits)"
fi
echo "${total_pass} passed, ${total_fail} failed"
[ "$total_fail" -eq 0 ]
