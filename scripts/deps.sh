#!/usr/bin/env bash
# Installs what the builds, tests and the demo need on a fresh Debian machine.
# Idempotent: with everything in place it asks apt nothing.
#
# A package mirror may answer badly for a while (an index mid-sync, "File has
# unexpected size"): the index update is tried again a few times, and the
# install is tried even when the update never succeeded, since the lists
# already on the machine may be good enough. What still cannot be installed is
# named in one message with apt's own error, and the exit code is non-zero.
set -uo pipefail
need=(cmake ninja-build g++ clang-14 libclang-rt-14-dev googletest libgtest-dev libstorm-dev
      g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
      wine wine32:i386 wine64 fonts-wine xvfb xauth x11-utils msitools wixl python3
      cups printer-driver-cups-pdf libcups2:i386 poppler-utils)
update_tries=3
update_pause=10   # seconds between two tries

missing_packages() {
  local p
  for p in "${need[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || echo "$p"
  done
}

mapfile -t missing < <(missing_packages)
((${#missing[@]})) || exit 0

SUDO=""; [ "$(id -u)" = 0 ] || SUDO=sudo
if ! dpkg --print-foreign-architectures | grep -qx i386; then $SUDO dpkg --add-architecture i386 || exit 1; fi

update_error=""
for ((try = 1; try <= update_tries; try++)); do
  if update_log=$($SUDO apt-get update -q 2>&1); then
    update_error=""
    break
  fi
  update_error=$(grep -E '^(E|W|Err):' <<<"$update_log")
  echo "deps: apt-get update failed (try $try of $update_tries):" >&2
  echo "$update_error" >&2
  ((try < update_tries)) && sleep "$update_pause"
done
[ -n "$update_error" ] && echo "deps: installing from the package lists already on this machine" >&2

# Shown as it goes (a first install takes minutes), and kept for the message.
install_log=$(mktemp)
trap 'rm -f "$install_log"' EXIT
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q "${missing[@]}" 2>&1 | tee "$install_log"
install_rc=${PIPESTATUS[0]}
mapfile -t still_missing < <(missing_packages)
if ((install_rc != 0 || ${#still_missing[@]})); then
  ((${#still_missing[@]})) || still_missing=("${missing[@]}")
  {
    echo "deps: could not install: ${still_missing[*]}"
    echo "deps: apt said:"
    grep -E '^(E|W):' "$install_log" | sed 's/^/  /'
    [ -n "$update_error" ] && { echo "deps: the package index update had failed too:"; sed 's/^/  /' <<<"$update_error"; }
    echo "deps: the package mirror is probably mid-sync or serving a bad index; trying again later usually helps."
  } >&2
  exit 1
fi
