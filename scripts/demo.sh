#!/usr/bin/env bash
# The main job, start to end: builds the module and the suite's programs,
# installs the suite into the Wine prefix, installs the shell hook with the
# suite's controller and starts sample programs, which get the send command or
# are left alone as the profile says; the distributor's items are read and one
# is run; a screenshot of the desktop is kept; the hook is removed again.
# Installs what is missing first.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/deps.sh
dpkg-query -W -f='${Status}' imagemagick 2>/dev/null | grep -q "install ok installed" || {
  SUDO=""; [ "$(id -u)" = 0 ] || SUDO=sudo
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q imagemagick >/dev/null
}

# The demo's own prefix: the test runs of the build trees never see its hook.
export PFC_WINEPREFIX="$root/build/demo/wineprefix"
. scripts/wine-env.sh
pfc_ensure_display

echo "== building (preset win32)"
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j "$(nproc)" >/dev/null

echo "== installing the suite into the Wine prefix"
bash scripts/suite-setup.sh "$root/build/win32"

# A controller of an earlier, interrupted run would hold the hook.
wine 'C:\Program Files\Tellarine\Common\pfcctl.exe' --unhook >/dev/null 2>&1 || true

mkdir -p "$root/build/demo"
shot_win="Z:$(echo "$root/build/demo/desktop.bmp" | tr '/' '\\')"
echo "== the run"
wine "$root/build/win32/tools/demo/pfcdemo.exe" "$shot_win"
if [ -f "$root/build/demo/desktop.bmp" ]; then
  convert "$root/build/demo/desktop.bmp" "$root/build/demo/desktop.png"
  echo "== screenshot: build/demo/desktop.png"
fi
