#!/usr/bin/env bash
# The main job, start to end: builds the module and the suite's programs,
# installs the suite into the Wine prefix, installs the shell hook with the
# suite's controller and starts sample programs and Wine's notepad and
# wordpad, which get the send command or are left alone as the profile says;
# the send popups are opened and listed, one print and one mail command run
# from notepad's popup, the distributor's items are read and one is run; the
# hook is removed again. Each scene leaves a picture in build/demo/pictures.
# The print command prints notepad's document through the send printer, a PDF
# queue of a print spooler that the demo starts and stops: the page is shown
# as a picture beside the others and its text beside notepad's.
# Installs what is missing first.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/deps.sh

# The demo's own prefix: the test runs of the build trees never see its hook.
export PFC_WINEPREFIX="$root/build/demo/wineprefix"
. scripts/wine-env.sh
pfc_ensure_display

# The 32-bit build where this machine can start 32-bit programs, the 64-bit
# one where it cannot; both install the same package.
preset=win32
if ! pfc_runs_32bit; then
  preset=win64
  echo "== this machine cannot execute 32-bit programs ($PFC_32BIT_REFUSAL): the 64-bit build runs the demo"
fi
echo "== building (preset $preset)"
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j "$(nproc)" >/dev/null

echo "== installing the suite into the Wine prefix (and starting its print spooler)"
trap 'bash scripts/print-spooler.sh stop "$(pfc_spooler_dir)"; pfc_stop_display' EXIT
bash scripts/suite-setup.sh "$root/build/$preset"
# The suite's send printer is the spooler's send queue, for both bitnesses.
for view in 32 64; do
  pfc_wine reg add 'HKLM\SOFTWARE\VORLAND\PARVANE' /v QOVISendPrinter /d "$PFC_SEND_QUEUE" /f "/reg:$view" >/dev/null 2>&1
done

# A controller of an earlier, interrupted run would hold the hook.
controller='C:\Program Files\Tellarine\Common\pfcctl.exe'
[ "$preset" = win64 ] && controller='C:\Program Files\Tellarine\Common\x64\pfcctl.exe'
pfc_wine "$controller" --unhook >/dev/null 2>&1 || true

pictures="$root/build/demo/pictures"
rm -rf "$pictures"
mkdir -p "$pictures"
letter="$root/build/demo/letter.txt"
printf 'Dear reader,\r\nthis page was printed by notepad through the Tellarine send command.\r\n' >"$letter"
pdf_dir="$(getent passwd "$(id -un)" | cut -d: -f6)/PDF"
touch "$root/build/demo/run-start"
echo "== the run"
pfc_wine "$root/build/$preset/tools/demo/pfcdemo.exe" "Z:$(echo "$pictures" | tr '/' '\\')" "Z:$(echo "$letter" | tr '/' '\\')"

echo "== the printed page"
pdf=""
for _ in $(seq 60); do
  pdf=$(find "$pdf_dir" -maxdepth 1 -name '*.pdf' -newer "$root/build/demo/run-start" 2>/dev/null | head -n 1)
  [ -n "$pdf" ] && pdftotext "$pdf" - >/dev/null 2>&1 && break
  pdf=""
  sleep 1
done
if [ -z "$pdf" ]; then
  echo "   No page came out of the send printer (no new PDF in $pdf_dir)."
else
  echo "   The send printer wrote $pdf"
  echo "   Its text:"
  pdftotext -layout "$pdf" - | sed '/^\s*$/d; s/^/     /'
  echo "   Notepad's document:"
  tr -d '\r' <"$letter" | sed 's/^/     /'
  page="$pictures/$(printf '%02d' $(($(ls "$pictures" | wc -l) + 1)))-printed-page"
  pdftoppm -png -r 50 -singlefile "$pdf" "$page" && echo "   Picture: $(basename "$page").png"
fi
shopt -s nullglob
taken=("$pictures"/*.png)
if ((${#taken[@]})); then
  python3 tools/demo/compact_png.py "${taken[@]}"
  echo "== pictures: ${taken[*]#$root/}"
fi
