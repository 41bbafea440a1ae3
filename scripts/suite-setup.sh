#!/usr/bin/env bash
# Sets up the suite in a build tree's Wine prefix as the tests and the demo
# need it: the suite's other programs (stand-ins, which the product does not
# ship) and the values they stand for, then the send command's own package
# from that tree, installed silently as an administrator would install it.
#
#   scripts/suite-setup.sh [build-dir ...]     default: build/win32 (and build/win64 when built)
#
# Each build goes into its own tree's prefix; with PFC_WINEPREFIX set, all of
# them go into that one.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/wine-env.sh"
pfc_ensure_display

builds=("$@")
if ((${#builds[@]} == 0)); then
  builds=("$root/build/win32")
  [ -f "$root/build/win64/installer/PvPfcW32.msi" ] && builds+=("$root/build/win64")
fi

common_dir='C:\Program Files\Tellarine\Common'
send_dir='C:\Program Files\Tellarine\Send'

install_standins() { # build-dir; the prefix is the current one
  local build=$1 exe
  local common_unix="$WINEPREFIX/drive_c/Program Files/Tellarine/Common"
  local send_unix="$WINEPREFIX/drive_c/Program Files/Tellarine/Send"
  mkdir -p "$common_unix" "$send_unix"
  # The suite's programs run the same whichever architecture they were built
  # for; each build installs its own.
  for exe in VXMAIL32 VXMAIL16 DLLCMD32 PvPfcOle Yarrow PvSetup; do
    cp "$build/tools/suite/$exe.exe" "$common_unix/$exe.exe"
  done
  cp "$build/tools/suite/PvPhone.exe" "$build/tools/suite/VXMAIL32.exe" "$build/tools/suite/VXMAIL16.exe" \
     "$build/tools/suite/DLLCMD32.exe" "$send_unix/"
  : > "$common_unix/standins.log"
  : > "$send_unix/standins.log"
  # What the distributor's sample menu items open (resource 27170 of PavRes32).
  printf 'Tellarine Partner\r\nNotes of the distributor that installed the suite.\r\n' > "$common_unix/Partner.txt"

  # The suite's own values, not the package's: the file it saved last, the
  # sending program's directory (read through HKEY_CLASSES_ROOT) and its send
  # printers as WIN.INI [devices] lists them (the prefix keeps that section in
  # the user's registry).
  pfc_wine reg add 'HKCU\SOFTWARE\VORLAND\PARVANE' /v LastSaveFilePath /t REG_SZ /d "$common_dir\\last.qvd" /f >/dev/null 2>&1
  local view
  for view in 32 64; do
    pfc_wine reg add 'HKCR\Software\vorland\Program' /ve /d "$send_dir" /f "/reg:$view" >/dev/null 2>&1
  done
  local devices_key='HKCU\Software\Microsoft\Windows NT\CurrentVersion\Devices'
  pfc_wine reg add "$devices_key" /v "Tellarine Fax" /d "PFCFAX,FAX1:" /f >/dev/null 2>&1
  pfc_wine reg add "$devices_key" /v "Tellarine Send" /d "PFCSEND,FAX2:" /f >/dev/null 2>&1
  pfc_wine reg add "$devices_key" /v "Tellarine Partner Fax" /d "FAX3:" /f >/dev/null 2>&1
}

install_package() { # build-dir
  local msi="$1/installer/PvPfcW32.msi"
  [ -f "$msi" ] || { echo "suite-setup: $msi is missing: build first" >&2; exit 1; }
  # A controller of an earlier run would keep the old modules loaded. The
  # 64-bit one asks both bitnesses to end and starts wherever 64-bit Windows
  # programs do.
  pfc_wine "$common_dir\\x64\\pfcctl.exe" --unhook >/dev/null 2>&1 || true
  # Asked to install a product it already has (the same version, built
  # again), msiexec works from the package it cached at the first install and
  # the new build never reaches the prefix: what is there goes first.
  pfc_wine msiexec /x "Z:$(echo "$msi" | tr '/' '\\')" /qn >/dev/null 2>&1 || true
  if ! pfc_wine msiexec /i "Z:$(echo "$msi" | tr '/' '\\')" /qn; then
    echo "suite-setup: msiexec /i $msi failed" >&2
    exit 1
  fi
  # The package's install step writes the user's profile with its 64-bit
  # controller; Wine's msiexec reports success even when that program could
  # not start, so what the step leaves is looked at.
  local profile="$WINEPREFIX/drive_c/Program Files/Tellarine/Common/PvPfcW32.ini"
  if [ ! -f "$profile" ]; then
    echo "suite-setup: msiexec installed $msi, but its install step (x64\\pfcctl.exe --install-profile) did not write $profile" >&2
    exit 1
  fi
  # The tests and the demo ask hooked hosts the module's test query, which
  # the module answers only where the profile asks for it: off as the package
  # installs it, on in a prefix set up for tests.
  python3 - "$profile" <<'PY' || { echo "suite-setup: could not turn diagnostics on in $profile" >&2; exit 1; }
import sys
path = sys.argv[1]
text = open(path, "rb").read().decode("latin-1")
section = "[PFCWatch]\r\n"
if "\r\nDiagnostics=1\r\n" not in text:
    if section not in text:
        sys.exit("no [PFCWatch] section")
    text = text.replace(section, section + "Diagnostics=1\r\n", 1)
    open(path, "wb").write(text.encode("latin-1"))
PY
}

# Wine reads its printers from CUPS when the prefix is made or updated, so
# the spooler runs first, and a prefix that does not list the send queue yet
# is updated.
ensure_printers() {
  local devices_key='HKCU\Software\Microsoft\Windows NT\CurrentVersion\Devices'
  if ! pfc_wine reg query "$devices_key" /v "$PFC_SEND_QUEUE" >/dev/null 2>&1; then
    pfc_wine wineboot -u >/dev/null 2>&1
    wineserver -w
  fi
  if ! pfc_wine reg query "$devices_key" /v "$PFC_SEND_QUEUE" >/dev/null 2>&1; then
    echo "suite-setup: the prefix $WINEPREFIX does not list the print queue $PFC_SEND_QUEUE" >&2
    exit 1
  fi
}

for build in "${builds[@]}"; do
  pfc_use_build_tree "$build"
  bash "$root/scripts/print-spooler.sh" start "$(pfc_spooler_dir)" || exit 1
  pfc_ensure_prefix
  ensure_printers
  install_standins "$build"
  install_package "$build"
  echo "suite-setup: $build installed in $WINEPREFIX"
done
