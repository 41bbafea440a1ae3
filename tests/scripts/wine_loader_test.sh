#!/usr/bin/env bash
# The Wine loader chosen for a program (scripts/wine-env.sh, wine-run.sh), and
# how scripts/test_report.py counts what a machine cannot run. Stand-in
# loaders print their own name; a refused one is a file the kernel cannot
# execute, as a 32-bit loader is where ia32 emulation is off.
#
#   wine_loader_test.sh CASE     CASE: choice, refused, report, early-end
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
case_name=${1:?case}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail=0
expect() { # what condition...
  local what=$1; shift
  if ! "$@"; then echo "FAILED: $what" >&2; fail=1; fi
}
not() { ! "$@"; }

pe() { # file machine-bytes: an MZ header whose PE header names the machine
  { printf 'MZ'; head -c 58 /dev/zero; printf '\x40\x00\x00\x00'; printf "PE\\0\\0$2"; head -c 64 /dev/zero; } >"$1"
}
loader() { # file name: a stand-in that answers its name
  printf '#!/bin/sh\necho %s "$@"\n' "$2" >"$1"
  chmod +x "$1"
}
refused_loader() { # file: an ELF for a machine no kernel runs
  { printf '\x7fELF\x01\x01\x01'; head -c 11 /dev/zero; printf '\xef\xbe'; head -c 44 /dev/zero; } >"$1"
  chmod +x "$1"
}

mkdir -p "$work/prefix/drive_c/App" "$work/prefix/dosdevices"
ln -s ../drive_c "$work/prefix/dosdevices/c:"
pe "$work/x86.exe" '\x4c\x01'
pe "$work/x64.exe" '\x64\x86'
pe "$work/prefix/drive_c/App/x86.exe" '\x4c\x01'
pe "$work/arm.exe" '\xc4\x01'
echo "not a program" >"$work/text.exe"
loader "$work/wine32" wine32
loader "$work/wine64" wine64
refused_loader "$work/refused"
export WINEPREFIX="$work/prefix" PFC_WINE64_LOADER="$work/wine64"
unset PFC_RUNS_32BIT PFC_32BIT_REFUSAL

case "$case_name" in
  choice)
    export PFC_WINE32_LOADER="$work/wine32"
    . "$root/scripts/wine-env.sh"
    # program | loader that runs it
    while IFS='|' read -r program want; do
      got=$(pfc_wine "$program" --flag)
      expect "$program runs with $want" [ "$got" = "$want $program --flag" ]
    done <<EOF
$work/x86.exe|wine32
$work/x64.exe|wine64
C:\\App\\x86.exe|wine32
$work/arm.exe|wine64
$work/text.exe|wine64
reg|wine64
EOF
    ;;
  refused)
    export PFC_WINE32_LOADER="$work/refused"
    . "$root/scripts/wine-env.sh"
    expect "the refusal is found by trying" not pfc_runs_32bit
    out=$(pfc_wine "$work/x86.exe" 2>&1); rc=$?
    expect "a 32-bit program answers PFC_NOT_RUN_HERE" [ "$rc" -eq "$PFC_NOT_RUN_HERE" ]
    expect "and says why" grep -q "^win32: NOT RUN on this machine: x86.exe: the kernel cannot execute 32-bit programs" <<<"$out"
    expect "a 64-bit program still runs" [ "$(pfc_wine "$work/x64.exe")" = "wine64 $work/x64.exe" ]
    # wine-run.sh answers before it starts a display or a prefix.
    out=$(env -u DISPLAY PATH="/usr/bin:/bin" bash "$root/scripts/wine-run.sh" 'C:\App\x86.exe' 2>&1); rc=$?
    expect "wine-run.sh answers PFC_NOT_RUN_HERE" [ "$rc" -eq "$PFC_NOT_RUN_HERE" ]
    expect "wine-run.sh says why" grep -q "NOT RUN on this machine: x86.exe" <<<"$out"
    expect "no prefix was made" [ ! -e "$work/prefix/system.reg" ] ;;
  report)
    # One test of each outcome; the not-run ones answer the skip code.
    . "$root/scripts/wine-env.sh"
    mkdir "$work/proj"
    printf 'echo "win32: NOT RUN on this machine: refused.exe"\nexit %s\n' "$PFC_NOT_RUN_HERE" >"$work/refused.sh"
    cat >"$work/proj/CMakeLists.txt" <<EOF
cmake_minimum_required(VERSION 3.20)
project(report NONE)
enable_testing()
add_test(NAME setup COMMAND true)
set_tests_properties(setup PROPERTIES FIXTURES_SETUP suite)
add_test(NAME passes COMMAND true)
add_test(NAME fails COMMAND false)
add_test(NAME refused COMMAND sh $work/refused.sh)
add_test(NAME refused_cleanup COMMAND sh -c "exit $PFC_NOT_RUN_HERE")
set_tests_properties(refused refused_cleanup PROPERTIES SKIP_RETURN_CODE $PFC_NOT_RUN_HERE)
set_tests_properties(refused PROPERTIES FIXTURES_REQUIRED suite)
set_tests_properties(refused_cleanup PROPERTIES FIXTURES_CLEANUP suite)
add_test(NAME skipped_by_failure COMMAND true)
add_test(NAME broken_setup COMMAND false)
set_tests_properties(broken_setup PROPERTIES FIXTURES_SETUP other)
set_tests_properties(skipped_by_failure PROPERTIES FIXTURES_REQUIRED other)
EOF
    cmake -S "$work/proj" -B "$work/build" >/dev/null || exit 1
    ctest --test-dir "$work/build" -V --output-junit "$work/junit.xml" 2>&1 |
      python3 "$root/scripts/test_report.py" stream "$work/ctest.log" >"$work/stream"
    python3 "$root/scripts/test_report.py" count "$work/build" "$work/junit.xml" >"$work/counts"
    # passes; fails, broken_setup and skipped_by_failure fail; refused is not run
    expect "counts: 1 passed, 3 failed, 1 not run" [ "$(tail -n 1 "$work/counts")" = "1 3 1" ]
    expect "the not-run test is named" grep -qx "  NOT RUN on this machine: refused" "$work/counts"
    expect "the not-run clean-up is named" grep -qx "  NOT RUN on this machine: refused_cleanup (set-up)" "$work/counts"
    expect "its reason is shown as it ends" grep -q "win32: NOT RUN on this machine: refused.exe" "$work/stream"
    expect "and only its reason" not grep -q "refused.sh" "$work/stream"
    expect "a test not run for a failed set-up is a failure" grep -qx "  failed: skipped_by_failure" "$work/counts" ;;
  early-end)
    # A made prefix and a display: wine-run.sh goes straight to the program,
    # whose stand-in writes its report or not and answers a code.
    touch "$work/prefix/system.reg" "$work/prefix/.pfc-configured"
    mkdir -p "$work/prefix/drive_c/windows/Fonts"
    touch "$work/prefix/drive_c/windows/Fonts/marlett.ttf"
    ln -s / "$work/prefix/dosdevices/z:"
    printf '#!/bin/sh\n[ "$WRITES" = yes ] && : >"%s/out.xml"\nexit "$ANSWER"\n' "$work" >"$work/wine64"
    : >"$work/out.xml"   # an earlier run's report
    # writes its report | answers | wine-run.sh answers
    while IFS='|' read -r writes answer want; do
      WRITES=$writes ANSWER=$answer DISPLAY=:pfc-test bash "$root/scripts/wine-run.sh" "$work/x64.exe" \
        "--gtest_output=xml:Z:$work/out.xml" 2>>"$work/err"
      rc=$?
      expect "report $writes, answer $answer: wine-run.sh answers $want" [ "$rc" -eq "$want" ]
    done <<EOF
yes|0|0
no|0|1
no|3|3
EOF
    expect "the early end is named" grep -q "ended with 0 but wrote no report" "$work/err" ;;
  *) echo "unknown case $case_name" >&2; exit 2 ;;
esac
if ((fail)); then
  for f in "$work"/counts "$work"/stream; do [ -f "$f" ] && { echo "--- $f"; cat "$f"; }; done
fi
exit "$fail"
