#!/usr/bin/env bash
# Leaves in a build tree's Wine prefix what an installer of the suite would:
# the suite key with its values (numbers as REG_BINARY, in both registry views
# so that 32- and 64-bit processes read the same), the default profile
# PvPfcW32.ini, the suite's programs (stand-ins), and the send command's
# modules where every process finds them by name.
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
  [ -f "$root/build/win64/PVPFCW32.dll" ] && builds+=("$root/build/win64")
fi

common_dir='C:\Program Files\Tellarine\Common'
send_dir='C:\Program Files\Tellarine\Send'

install_programs() { # build-dir; the prefix is the current one
  local build=$1 sysdir exe
  local drive_c="$WINEPREFIX/drive_c"
  local common_unix="$drive_c/Program Files/Tellarine/Common"
  local send_unix="$drive_c/Program Files/Tellarine/Send"
  mkdir -p "$common_unix" "$send_unix"
  [ -f "$build/PVPFCW32.dll" ] || { echo "suite-setup: $build/PVPFCW32.dll is missing: build first" >&2; exit 1; }
  if x86_64-w64-mingw32-objdump -f "$build/PVPFCW32.dll" | grep -q 'pei-i386'; then
    sysdir="$drive_c/windows/syswow64"
  else
    sysdir="$drive_c/windows/system32"
  fi
  cp "$build/PVPFCW32.dll" "$build/resources/PavRes32.dll" "$sysdir/"
  # The suite's programs run the same whichever architecture they were built
  # for; each build installs its own.
  for exe in VXMAIL32 VXMAIL16 DLLCMD32 PvPfcOle Yarrow PvSetup; do
    cp "$build/tools/suite/$exe.exe" "$common_unix/$exe.exe"
  done
  cp "$build/tools/suite/PvPhone.exe" "$send_unix/PvPhone.exe"
  cp "$build/tools/suite/VXMAIL32.exe" "$build/tools/suite/VXMAIL16.exe" "$build/tools/suite/DLLCMD32.exe" "$send_unix/"
}

suite_key='SOFTWARE\VORLAND\PARVANE'
reg_add() { # root-key value type data
  local view
  for view in 32 64; do
    wine reg add "$1\\$suite_key" /v "$2" /t "$3" /d "$4" /f "/reg:$view" >/dev/null 2>&1
  done
}

install_settings() { # the registry, the profile and the stand-ins' logs of the current prefix
  local common_unix="$WINEPREFIX/drive_c/Program Files/Tellarine/Common"
  local send_unix="$WINEPREFIX/drive_c/Program Files/Tellarine/Send"
  reg_add HKCU InstallVersion REG_BINARY 03000402
  reg_add HKCU LastOutputOptions REG_BINARY 00000000
  reg_add HKCU LastSaveFilePath REG_SZ "$common_dir\\last.qvd"
  reg_add HKLM ParvaneInfo REG_BINARY 03000000
  reg_add HKLM ParvanePrinter REG_SZ "Tellarine Fax"
  reg_add HKLM QOVISendPrinter REG_SZ "Tellarine Send"
  reg_add HKLM OEM1Printer REG_SZ "Tellarine Partner Fax"
  reg_add HKLM CommonDirectory REG_SZ "$common_dir"
  reg_add HKLM InstallerName REG_SZ "PvSetup.exe"
  reg_add HKLM QOVISendDirectory REG_SZ "$send_dir"
  reg_add HKLM QOVIPhonebookName REG_SZ "PvPhone.exe"
  # The sending program's directory, read through HKEY_CLASSES_ROOT.
  local view
  for view in 32 64; do
    wine reg add 'HKCR\Software\vorland\Program' /ve /d "$send_dir" /f "/reg:$view" >/dev/null 2>&1
  done
  # The suite's send printers as WIN.INI [devices] lists them (the prefix keeps
  # that section in the user's registry).
  local devices_key='HKCU\Software\Microsoft\Windows NT\CurrentVersion\Devices'
  wine reg add "$devices_key" /v "Tellarine Fax" /d "PFCFAX,FAX1:" /f >/dev/null 2>&1
  wine reg add "$devices_key" /v "Tellarine Send" /d "PFCSEND,FAX2:" /f >/dev/null 2>&1
  wine reg add "$devices_key" /v "Tellarine Partner Fax" /d "FAX3:" /f >/dev/null 2>&1

  # The profile's host list: the position of a name is its host index.
  #   0  browser-type host (button in its tool bar)
  #   1  viewer host with a document view (menu item after the menu test)
  #   2  the generic menu host; its section holds the generic settings
  #   3  Office-type host (button in its command bar)
  cat > "$common_unix/PvPfcW32.ini" <<'INI'
[PFCModules]
PFCBROWSE.EXE=1
PFCVIEWER.EXE=1
PFCMENUHOST.EXE=1
PFCOFFICE.EXE=1
WINWORD.EXE=1
EXCEL.EXE=1
POWERPNT.EXE=1
MSACCESS.EXE=1
NOTEPAD.EXE=1
WORDPAD.EXE=1

[PFCInclude]
Sample hosts (PFC)=1
Notepad (NOTEPAD)=1
WordPad (WORDPAD)=1
Word (WINWORD)=1
Excel (EXCEL)=1

[PFCExclude]
PowerPoint (POWERPNT)=1
Access (MSACCESS)=1

[PFCWatch]
Enable=1
BitmapMenu=1
Print=Print,Drucken,

[PFCMENUHOST.EXE]
Print1=Print document,

[PFCVIEWER.EXE]
BrowserMenu1=View,
INI
  sed -i 's/$/\r/' "$common_unix/PvPfcW32.ini"
  : > "$common_unix/standins.log"
  # What the distributor's sample menu items open (resource 27170 of PavRes32).
  printf 'Tellarine Partner\r\nNotes of the distributor that installed the suite.\r\n' > "$common_unix/Partner.txt"
  : > "$send_unix/standins.log"
}

for build in "${builds[@]}"; do
  pfc_use_build_tree "$build"
  pfc_ensure_prefix
  install_programs "$build"
  install_settings
  echo "suite-setup: $build installed in $WINEPREFIX"
done
