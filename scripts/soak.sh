#!/usr/bin/env bash
# Runs the Windows in-process and end-to-end tests N times on both
# architectures (the two build trees side by side, each in its own prefix
# and on its own display) and prints every failure by run, architecture and test. Builds first;
# installs what is missing first. Logs: build/soak/PRESET-RUN.log.
#
#   scripts/soak.sh N
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
runs=${1:?usage: scripts/soak.sh N}
presets=(win32 win64)
bash scripts/deps.sh || exit 1
. scripts/wine-env.sh
if ! pfc_runs_32bit; then
  # A run of nothing but skipped tests would read as passed.
  echo "win32: NOT RUN on this machine: the kernel cannot execute 32-bit programs ($PFC_32BIT_REFUSAL); only win64 is soaked"
  presets=(win64)
fi
mkdir -p build/soak
# One display per architecture: on a shared one, the X focus that one tree's
# windows take deactivates the other's, and Wine closes an open menu then,
# as Windows does when its program loses the foreground. CI runs the trees
# one after the other on one display.
declare -A display_of
xvfb_pids=()
stop_displays() {
  local preset
  for preset in "${presets[@]}"; do
    WINEPREFIX="$root/build/$preset/wineprefix" timeout 30 wineserver -w 2>/dev/null ||
      WINEPREFIX="$root/build/$preset/wineprefix" pfc_end_prefix
  done
  [ ${#xvfb_pids[@]} -eq 0 ] || kill "${xvfb_pids[@]}" 2>/dev/null
}
trap stop_displays EXIT
for preset in "${presets[@]}"; do
  pfc_start_xvfb || exit 1
  xvfb_pids+=("$PFC_NEW_XVFB_PID")
  display_of[$preset]=$PFC_NEW_DISPLAY
done
for preset in "${presets[@]}"; do
  if ! { cmake --preset "$preset" && cmake --build --preset "$preset" -j 2; } >"build/soak/$preset-build.log" 2>&1; then
    tail -n 40 "build/soak/$preset-build.log"
    echo "soak: $preset build FAILED"
    exit 1
  fi
done

# The failed tests of one run: gtest's names, or ctest's for a test that
# ended without a gtest verdict (a time-out, a crash).
failures_of() { # log
  local names
  names=$(grep -oE '^\[  FAILED  \] [A-Za-z0-9_]+\.[A-Za-z0-9_/]+' "$1" | sed 's/^\[  FAILED  \] //' | sort -u)
  [ -n "$names" ] || names=$(sed -n 's/^ *[0-9]* - \([A-Za-z0-9_]*\) (.*/\1/p' "$1" | sort -u)
  echo $names
}

failed_runs=0
report=()
start=$(date +%s)
for ((i = 1; i <= runs; i++)); do
  pids=()
  for preset in "${presets[@]}"; do
    DISPLAY=${display_of[$preset]} ctest --test-dir "build/$preset" -R '^(win_unit_tests|suite_setup|e2e_tests|installer_tests|e2e_cleanup)$' --output-on-failure \
      >"build/soak/$preset-$i.log" 2>&1 &
    pids+=($!)
  done
  wait "${pids[@]}"
  for preset in "${presets[@]}"; do
    log="build/soak/$preset-$i.log"
    if grep -qE '100% tests passed' "$log"; then
      echo "run $i/$runs $preset: passed"
    else
      failed_runs=$((failed_runs + 1))
      line="run $i/$runs $preset: FAILED: $(failures_of "$log")"
      report+=("$line")
      echo "$line"
    fi
  done
done
echo "soak: $runs runs on ${presets[*]} in $(( $(date +%s) - start ))s, $failed_runs failed"
for line in "${report[@]}"; do echo "  $line"; done
[ "$failed_runs" -eq 0 ]
