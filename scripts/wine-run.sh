#!/usr/bin/env bash
# Runs one Windows program under Wine in the prefix of the build tree that
# holds it, with the loader of its machine type; ctest uses it as the
# cross-compiling emulator. A 32-bit program on a machine that cannot start
# one is not run: it says so and answers PFC_NOT_RUN_HERE (wine-env.sh). A
# program that runs longer than PFC_WINE_TIMEOUT seconds (default 600), or a
# run that is interrupted, ends every process of the prefix, hosts included,
# and its wineserver, so that nothing of it is left for the next test.
set -u
. "$(dirname "$0")/wine-env.sh"
if tree=$(pfc_build_tree_of "$1"); then pfc_use_build_tree "$tree"; fi
loader=$(pfc_wine_loader "$1") || exit
pfc_ensure_display || exit 1
pfc_ensure_prefix
limit=${PFC_WINE_TIMEOUT:-600}
# A test program's report, when it is asked for one: one of an earlier run
# must not stand for this one, and a run that ends with 0 without writing it
# stopped before its end and did not pass (Wine has been seen to end a test
# program so, mid-case).
report=""
for arg in "$@"; do
  case $arg in --gtest_output=xml:*) report=$(pfc_unix_path "${arg#--gtest_output=xml:}") ;; esac
done
[ -z "$report" ] || rm -f "$report"
trap 'pfc_end_prefix; exit 130' INT TERM HUP
timeout -k 10 "$limit" "$loader" "$@" &
wait $!
rc=$?
if [ "$rc" -eq 124 ] || [ "$rc" -eq 137 ]; then
  echo "wine-run: $1 ran longer than ${limit}s; ending every process of $WINEPREFIX" >&2
  pfc_end_prefix
fi
if [ "$rc" -eq 0 ] && [ -n "$report" ] && [ ! -f "$report" ]; then
  echo "wine-run: $1 ended with 0 but wrote no report ($report): it did not run to its end" >&2
  rc=1
fi
exit "$rc"
