# Sourced by the scripts that run Windows programs: one Wine prefix per build
# tree, no Mono/Gecko installers, quiet, and a display.
: "${PFC_BUILD_ROOT:=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build}"
export WINEPREFIX="${WINEPREFIX:-$PFC_BUILD_ROOT/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
pfc_ensure_display() {
  if [ -z "${DISPLAY:-}" ]; then
    export DISPLAY=:97
    if ! xdpyinfo -display "$DISPLAY" >/dev/null 2>&1; then
      (Xvfb "$DISPLAY" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &)
      for _ in $(seq 50); do xdpyinfo -display "$DISPLAY" >/dev/null 2>&1 && break; sleep 0.1; done
    fi
  fi
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
