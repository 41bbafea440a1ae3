#!/usr/bin/env bash
# The main job, start to end: builds the module and the suite's programs,
# installs the suite into the Wine prefix, installs the shell hook with the
# suite's controller and starts sample programs and Wine's notepad and
# wordpad, which get the send command or are left alone as the profile says;
# the send popups are opened and listed, one print and one mail command run
# from notepad's popup, the distributor's items are read and one is run; the
# hook is removed again. Each scene leaves a picture in build/demo/pictures.
# Installs what is missing first.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/deps.sh

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

pictures="$root/build/demo/pictures"
rm -rf "$pictures"
mkdir -p "$pictures"
echo "== the run"
wine "$root/build/win32/tools/demo/pfcdemo.exe" "Z:$(echo "$pictures" | tr '/' '\\')"
shopt -s nullglob
taken=("$pictures"/*.png)
if ((${#taken[@]})); then
  python3 tools/demo/compact_png.py "${taken[@]}"
  echo "== pictures: ${taken[*]#$root/}"
fi
