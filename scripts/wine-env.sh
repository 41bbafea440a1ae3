# Sourced by the scripts that run Windows programs: a Wine prefix per build
# tree (build/win32/wineprefix, build/win64/wineprefix; PFC_WINEPREFIX names
# another, as the demo does), no Mono/Gecko installers, quiet, and a display
# of its own when DISPLAY is unset.
#
#   pfc_use_build_tree DIR  WINEPREFIX becomes the prefix of build tree DIR
#   pfc_ensure_prefix       creates and configures $WINEPREFIX once
#   pfc_ensure_display      Xvfb on a free display when DISPLAY is unset,
#                           stopped when the sourcing shell exits
#   pfc_start_xvfb          another Xvfb on a free display, left to the caller
#   pfc_end_prefix          ends every process of $WINEPREFIX and its wineserver
#   pfc_wine PROGRAM ARG... runs PROGRAM with the Wine loader of its machine
#                           type (always use it instead of `wine`)
#   pfc_runs_32bit          whether this machine can start 32-bit programs
#
# The prefix's programs print through the spooler beside it (CUPS_SERVER,
# print-spooler.sh; scripts/suite-setup.sh starts it).
: "${PFC_BUILD_ROOT:=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build}"
export WINEPREFIX="${PFC_WINEPREFIX:-${WINEPREFIX:-$PFC_BUILD_ROOT/win32/wineprefix}}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

# Wine's two loaders; each runs the programs of its own machine type. Debian's
# `wine` takes the 32-bit one whenever it is installed, and a kernel without
# ia32 emulation cannot execute it, so the scripts choose by the program's PE
# header instead; Wine's own programs (reg, msiexec, wineboot) exist for both
# and run with the 64-bit one.
: "${PFC_WINE32_LOADER:=/usr/lib/wine/wine}"
: "${PFC_WINE64_LOADER:=/usr/lib/wine/wine64}"
# pfc_wine's answer for a 32-bit program on a machine that cannot start one;
# cmake reads it from here for the tests' SKIP_RETURN_CODE.
PFC_NOT_RUN_HERE=77

# The machine type of a PE file: i386 or amd64; fails for anything else.
pfc_pe_machine() {
  local pe sig
  [ "$(head -c 2 "$1" 2>/dev/null)" = MZ ] || return 1
  pe=$(od -An -t u4 -j 60 -N 4 "$1" | tr -d ' ')
  [ -n "$pe" ] || return 1
  sig=$(od -An -t x1 -j "$pe" -N 6 "$1" | tr -d ' \n')
  case $sig in
    504500004c01) echo i386 ;;
    504500006486) echo amd64 ;;
    *) return 1 ;;
  esac
}

# The Unix path of a program named as Wine's programs name it (C:\..., Z:\...).
pfc_unix_path() {
  case $1 in
    [A-Za-z]:[\\/]*)
      local drive rest
      drive=$(echo "${1:0:1}" | tr 'A-Z' 'a-z')
      rest=$(echo "${1:3}" | tr '\\' /)
      echo "$WINEPREFIX/dosdevices/$drive:/$rest" ;;
    *) echo "$1" ;;
  esac
}

# Tried, not guessed: the 32-bit loader either starts or the kernel refuses
# it. PFC_32BIT_REFUSAL keeps the kernel's words for the message.
pfc_runs_32bit() {
  if [ -z "${PFC_RUNS_32BIT:-}" ]; then
    local out
    if out=$("$PFC_WINE32_LOADER" --version 2>&1); then
      PFC_RUNS_32BIT=yes
    elif [[ $out == *"Exec format error"* ]]; then
      PFC_RUNS_32BIT=no
      PFC_32BIT_REFUSAL="$PFC_WINE32_LOADER: Exec format error"
    else
      # Anything else (a loader missing or broken) is a fault to see, not a
      # limit of the machine: the program is started and fails as it will.
      PFC_RUNS_32BIT=yes
    fi
    export PFC_RUNS_32BIT PFC_32BIT_REFUSAL
  fi
  [ "$PFC_RUNS_32BIT" = yes ]
}

# The loader for a program; for a 32-bit program on a machine that cannot
# start one, says so and answers PFC_NOT_RUN_HERE instead.
pfc_wine_loader() { # program
  if [ "$(pfc_pe_machine "$(pfc_unix_path "$1")")" != i386 ]; then
    echo "$PFC_WINE64_LOADER"
  elif pfc_runs_32bit; then
    echo "$PFC_WINE32_LOADER"
  else
    echo "win32: NOT RUN on this machine: $(basename "$(pfc_unix_path "$1" | tr '\\' /)"): the kernel cannot execute 32-bit programs (ia32 emulation is off; $PFC_32BIT_REFUSAL); 32-bit Windows programs cannot start" >&2
    return "$PFC_NOT_RUN_HERE"
  fi
}

pfc_wine() { # program [args...]
  local loader
  loader=$(pfc_wine_loader "$1") || return
  "$loader" "$@"
}

# The spooler's queues (cups-pdf): the suite's send printer, and the user's
# own printer, which is the default. Wine names a printer after its queue.
export PFC_SEND_QUEUE=TellarineSend PFC_USER_QUEUE=UserPrinter
pfc_spooler_dir() { echo "$(dirname "$WINEPREFIX")/cups"; }
export CUPS_SERVER="$(pfc_spooler_dir)/cups.sock"

pfc_use_build_tree() {
  export WINEPREFIX="${PFC_WINEPREFIX:-$(cd "$1" && pwd)/wineprefix}"
  export CUPS_SERVER="$(pfc_spooler_dir)/cups.sock"
}

# The build tree holding a path (the directory with CMakeCache.txt), or
# nothing; a Windows path (C:\...) lies in the prefix, in no build tree.
pfc_build_tree_of() {
  local dir
  case $1 in [A-Za-z]:[\\/]*) return 1 ;; esac
  dir=$(cd "$(dirname "$1")" 2>/dev/null && pwd) || return 1
  while [ "$dir" != "/" ]; do
    [ -f "$dir/CMakeCache.txt" ] && { echo "$dir"; return 0; }
    dir=$(dirname "$dir")
  done
  return 1
}

# Starts an Xvfb of its own on the first display nobody holds; sets
# PFC_NEW_XVFB_PID and PFC_NEW_DISPLAY (":N") once it accepts connections.
pfc_start_xvfb() {
  local numfile n=""
  numfile=$(mktemp)
  # Xvfb writes its number once it accepts connections.
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$numfile" >/dev/null 2>&1 &
  PFC_NEW_XVFB_PID=$!
  for _ in $(seq 100); do
    n=$(tr -dc '0-9' <"$numfile")
    [ -n "$n" ] && break
    kill -0 "$PFC_NEW_XVFB_PID" 2>/dev/null || break
    sleep 0.1
  done
  rm -f "$numfile"
  if [ -z "$n" ]; then
    echo "wine-env: Xvfb did not start" >&2
    kill "$PFC_NEW_XVFB_PID" 2>/dev/null
    unset PFC_NEW_XVFB_PID
    return 1
  fi
  PFC_NEW_DISPLAY=":$n"
}

pfc_ensure_display() {
  [ -n "${DISPLAY:-}" ] && return 0
  pfc_start_xvfb || return 1
  PFC_XVFB_PID=$PFC_NEW_XVFB_PID
  export DISPLAY=$PFC_NEW_DISPLAY
  trap pfc_stop_display EXIT
}

# Stops the Xvfb that pfc_ensure_display started, once the programs of every
# prefix that may have used it have let go of it.
pfc_stop_display() {
  [ -n "${PFC_XVFB_PID:-}" ] || return 0
  local prefix
  for prefix in "$WINEPREFIX" "$PFC_BUILD_ROOT"/*/wineprefix; do
    [ -d "$prefix" ] || continue
    WINEPREFIX="$prefix" timeout 30 wineserver -w 2>/dev/null || WINEPREFIX="$prefix" pfc_end_prefix
  done
  kill "$PFC_XVFB_PID" 2>/dev/null
  wait "$PFC_XVFB_PID" 2>/dev/null
  unset PFC_XVFB_PID DISPLAY
}

pfc_end_prefix() {
  wineserver -k 2>/dev/null
  timeout 30 wineserver -w 2>/dev/null
  return 0
}

pfc_ensure_prefix() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    pfc_wine wineboot -i >/dev/null 2>&1 || true
    wineserver -w
  fi
  if [ ! -f "$WINEPREFIX/.pfc-configured" ]; then
    # Without a window manager on the display, Wine waits about two seconds
    # for one at every destroyed framed window; unmanaged windows end at once.
    pfc_wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    touch "$WINEPREFIX/.pfc-configured"
  fi
  if [ ! -f "$WINEPREFIX/.pfc-crash-configured" ]; then
    # A program that dies of an unhandled exception ends with its exception
    # code, as on Windows, instead of waiting in the debugger's crash dialog:
    # the controller's safe mode reads that code, and tests crash hosts.
    pfc_wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1 &&
      touch "$WINEPREFIX/.pfc-crash-configured"
  fi
  # Wine draws caption buttons, menu checks and arrows with Marlett and its
  # dialogs in Tahoma and MS Sans Serif; the prefix gets none of them by
  # itself, so frames would show letters. Debian's fonts-wine has them all.
  if [ ! -f "$WINEPREFIX/drive_c/windows/Fonts/marlett.ttf" ] && [ -d /usr/share/wine/fonts ]; then
    mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
    cp -n /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/"
  fi
}
