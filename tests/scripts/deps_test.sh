#!/usr/bin/env bash
# scripts/deps.sh against a package mirror that answers badly, without the
# network: stand-ins for apt-get, dpkg-query, dpkg, sudo and sleep come first
# on the PATH and play the machine. Two packages are missing at the start.
#
#   deps_test.sh CASE     CASE: update-recovers, update-fails-install-works,
#                               install-fails, nothing-missing, test-command-counts
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
case_name=${1:?case}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"
export STUB="$work"
missing_at_start="wine32:i386 libcups2:i386"

stub() { # name body
  printf '#!/usr/bin/env bash\n%s\n' "$2" >"$work/bin/$1"
  chmod +x "$work/bin/$1"
}
# Every stand-in logs its arguments, one call a line.
stub apt-get '
echo "apt-get $*" >>"$STUB/calls"
case "$1" in
  update)
    n=$(($(cat "$STUB/update-count" 2>/dev/null || echo 0) + 1)); echo "$n" >"$STUB/update-count"
    if [ "$n" -le "${STUB_UPDATE_FAILS:-0}" ]; then
      echo "E: Failed to fetch http://mirror.invalid/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (91532 != 91480). Mirror sync in progress? [IP: 192.0.2.1 80]" >&2
      exit 100
    fi ;;
  install)
    if [ -n "${STUB_INSTALL_FAILS:-}" ]; then
      echo "E: Unable to correct problems, you have held broken packages." >&2
      exit 100
    fi
    shift; for p in "$@"; do [ "${p#-}" = "$p" ] && echo "$p" >>"$STUB/installed"; done ;;
esac'
stub dpkg-query '
p=${!#}
if grep -qxF "$p" <<<"$(tr " " "\n" <<<"$STUB_MISSING")" && ! grep -qxF "$p" "$STUB/installed" 2>/dev/null; then
  echo "dpkg-query: no packages found matching $p" >&2; exit 1
fi
printf "install ok installed"'
stub dpkg '
echo "dpkg $*" >>"$STUB/calls"
[ "$1" = --print-foreign-architectures ] && echo i386
exit 0'
stub sudo 'exec "$@"'
stub sleep 'echo "sleep $*" >>"$STUB/calls"'
export PATH="$work/bin:$PATH"

fail=0
expect() { # what condition...
  local what=$1; shift
  if ! "$@"; then echo "FAILED: $what" >&2; fail=1; fi
}
calls() { grep -c "^$1" "$work/calls" 2>/dev/null || true; }
has() { grep -qF -- "$1" "$2"; }

run_deps() {
  bash "$root/scripts/deps.sh" >"$work/out" 2>"$work/err"
  rc=$?
}

case "$case_name" in
  update-recovers)
    STUB_MISSING=$missing_at_start STUB_UPDATE_FAILS=1 run_deps
    expect "exit 0" [ "$rc" -eq 0 ]
    expect "update tried twice" [ "$(calls 'apt-get update')" -eq 2 ]
    expect "a pause between the tries" [ "$(calls 'sleep')" -eq 1 ]
    expect "install asked for the missing packages only" \
      has "apt-get install -y -q wine32:i386 libcups2:i386" "$work/calls" ;;
  update-fails-install-works)
    STUB_MISSING=$missing_at_start STUB_UPDATE_FAILS=99 run_deps
    expect "exit 0" [ "$rc" -eq 0 ]
    expect "update tried three times" [ "$(calls 'apt-get update')" -eq 3 ]
    expect "two pauses" [ "$(calls 'sleep')" -eq 2 ]
    expect "install tried anyway" [ "$(calls 'apt-get install')" -eq 1 ]
    expect "the failed update is shown" has "Mirror sync in progress?" "$work/err" ;;
  install-fails)
    STUB_MISSING=$missing_at_start STUB_UPDATE_FAILS=99 STUB_INSTALL_FAILS=1 run_deps
    expect "non-zero exit" [ "$rc" -ne 0 ]
    expect "names the packages" has "deps: could not install: wine32:i386 libcups2:i386" "$work/err"
    expect "gives apt's error" has "E: Unable to correct problems, you have held broken packages." "$work/err"
    expect "gives the update's error" has "File has unexpected size" "$work/err"
    expect "says that later helps" has "trying again later usually helps" "$work/err"
    expect "one message" [ "$(grep -c 'could not install' "$work/err")" -eq 1 ] ;;
  nothing-missing)
    STUB_MISSING="" run_deps
    expect "exit 0" [ "$rc" -eq 0 ]
    expect "apt not asked" [ ! -e "$work/calls" ] ;;
  test-command-counts)
    # The README's test command ends at once on a failed install and counts it.
    STUB_MISSING=$missing_at_start STUB_UPDATE_FAILS=99 STUB_INSTALL_FAILS=1 \
      bash "$root/scripts/test.sh" >"$work/out" 2>"$work/err"
    rc=$?
    expect "non-zero exit" [ "$rc" -ne 0 ]
    expect "last line counts the failure" [ "$(tail -n 1 "$work/out")" = "0 passed, 1 failed" ]
    expect "the message reaches the user" has "deps: could not install: wine32:i386 libcups2:i386" "$work/err" ;;
  *) echo "unknown case $case_name" >&2; exit 2 ;;
esac
if ((fail)); then
  echo "--- stdout"; cat "$work/out"; echo "--- stderr"; cat "$work/err"; echo "--- calls"; cat "$work/calls" 2>/dev/null
fi
exit "$fail"
