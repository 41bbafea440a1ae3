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
#
# The prefix's programs print through the spooler beside it (CUPS_SERVER,
# print-spooler.sh; scripts/suite-setup.sh starts it).
: "${PFC_BUILD_ROOT:=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build}"
export WINEPREFIX="${PFC_WINEPREFIX:-${WINEPREFIX:-$PFC_BUILD_ROOT/win32/wineprefix}}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

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
# nothing.
pfc_build_tree_of() {
  local dir
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
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w
  fi
  if [ ! -f "$WINEPREFIX/.pfc-configured" ]; then
    # Without a window manager on the display, Wine waits about two seconds
    # for one at every destroyed framed window; unmanaged windows end at once.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    touch "$WINEPREFIX/.pfc-configured"
  fi
  # Wine draws caption buttons, menu checks and arrows with Marlett and its
  # dialogs in Tahoma and MS Sans Serif; the prefix gets none of them by
  # itself, so frames would show letters. Debian's fonts-wine has them all.
  if [ ! -f "$WINEPREFIX/drive_c/windows/Fonts/marlett.ttf" ] && [ -d /usr/share/wine/fonts ]; then
    mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
    cp -n /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/"
  fi
}
