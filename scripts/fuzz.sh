#!/usr/bin/env bash
# A fuzz run under ASan and UBSan, longer than the test command's: builds the
# sanitizer preset, runs one target from its seeds plus the corpus of earlier
# runs (build/fuzz/TARGET/corpus), and prints executions, edges and findings.
# Installs what is missing first.
#
#   scripts/fuzz.sh SECONDS [document|menu] [RUNS]
#     document  document files and document sets (the default)
#     menu      the distributor's menu table: side file and table grammar
#     RUNS      stop after this many executions, if that comes first
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
seconds=${1:?usage: scripts/fuzz.sh SECONDS [document|menu] [RUNS]}
case "${2:-document}" in
  document) target=fuzz_document ;;
  menu) target=fuzz_menu_table ;;
  *) echo "fuzz: unknown target '$2' (document or menu)" >&2; exit 2 ;;
esac
runs=${3:--1}
bash scripts/deps.sh || exit 1
mkdir -p build
if ! { cmake --preset native-asan && cmake --build --preset native-asan -j 2 --target "$target" fuzz_seeds; } >build/fuzz-build.log 2>&1; then
  tail -n 40 build/fuzz-build.log
  echo "fuzz: build FAILED" >&2
  exit 1
fi

work="$root/build/fuzz/$target"
mkdir -p "$work/corpus" "$work/findings"
log="$work/last-run.log"
before=$(find "$work/findings" -type f | wc -l)
# Each finding stops the run; its input is kept under findings/.
"$root/build/native-asan/fuzz/$target" -max_total_time="$seconds" -runs="$runs" -timeout=10 -rss_limit_mb=2048 \
  -print_final_stats=1 -artifact_prefix="$work/findings/" \
  "$work/corpus" "$root/build/native-asan/fuzz/seeds/$target" >"$log" 2>&1
status=$?
findings=$(( $(find "$work/findings" -type f | wc -l) - before ))
execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
edges=$(grep -oE '^#[0-9]+.* cov: [0-9]+' "$log" | tail -n 1 | sed -E 's/.* cov: //')
features=$(grep -oE '^#[0-9]+.* ft: [0-9]+' "$log" | tail -n 1 | sed -E 's/.* ft: //')
echo "fuzz $target: ${execs:-0} executions, ${edges:-0} edges, ${features:-0} features, corpus $(find "$work/corpus" -type f | wc -l) inputs, $findings findings (log: $log)"
if ((findings > 0 || status != 0)); then
  grep -m 5 -E 'ERROR|runtime error|deadly signal|SUMMARY' "$log"
  exit 1
fi
