#!/usr/bin/env bash
# The benchmarks, each against its floor in one run:
#   codec  the native preset's codec benchmark over a corpus made from files
#          every Debian machine has, plus generated sparse and random data (the
#          same corpus on every run); its last line is
#            speedup decode=D encode=E size=S
#   hook   what the hook costs the programs it is loaded into (bench/hook_cost),
#          for the 32- and the 64-bit module, with the suite installed in the
#          prefix
#
#   scripts/bench.sh [codec|hook]     default: both
set -euo pipefail
cd "$(dirname "$0")/.."
what=${1:-all}

run_hook_cost() {
  bash scripts/deps.sh
  . scripts/wine-env.sh
  local preset presets=(win32 win64)
  if ! pfc_runs_32bit; then
    echo "win32: NOT RUN on this machine: the kernel cannot execute 32-bit programs ($PFC_32BIT_REFUSAL); only the 64-bit module is measured"
    presets=(win64)
  fi
  for preset in "${presets[@]}"; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j 2 --target hook_cost PVPFCW32 PavRes32 pfc_installer \
      standin_VXMAIL32 standin_VXMAIL16 standin_DLLCMD32 standin_PvPfcOle standin_Yarrow standin_PvPhone \
      standin_PvSetup >/dev/null
  done
  bash scripts/suite-setup.sh "${presets[@]/#/$PWD/build/}" >/dev/null
  pfc_ensure_display
  for preset in "${presets[@]}"; do
    pfc_use_build_tree "build/$preset"
    # Safe mode off, then on: its figures must be within noise of each other.
    pfc_wine "build/$preset/bench/hook_cost.exe"
    pfc_wine "build/$preset/bench/hook_cost.exe" --safe-mode
  done
}

if [ "$what" = hook ]; then run_hook_cost; exit; fi

need=""
for pkg in cmake ninja-build g++ libstorm-dev python3; do
  dpkg -s "$pkg" >/dev/null 2>&1 || need="$need $pkg"
done
if [ -n "$need" ]; then
  sudo_cmd=""; [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get install -y $need
fi

cmake --preset native >/dev/null
cmake --build --preset native --target codec_bench >/dev/null

corpus=build/native/bench-corpus
mkdir -p "$corpus"
# text
cat /usr/share/common-licenses/GPL-3 /usr/share/common-licenses/Apache-2.0 \
    /usr/share/common-licenses/Artistic /usr/share/common-licenses/GPL-2 > "$corpus/text"
# source code: the first 2 MB of the C library headers in a fixed order
python3 - "$corpus/source" <<'PY'
import glob, sys
data = b"".join(open(p, "rb").read() for p in sorted(glob.glob("/usr/include/*.h")))
open(sys.argv[1], "wb").write(data[:2000000])
PY
# an executable: the first 4 MB of cmake
head -c 4000000 "$(command -v cmake)" > "$corpus/executable"
# sparse and random data from a fixed seed
python3 - "$corpus" <<'PY'
import random, sys
d = sys.argv[1]
r = random.Random(20240611)
sparse = bytearray(1 << 20)
for _ in range(4000):
    sparse[r.randrange(len(sparse))] = r.randrange(1, 256)
open(d + "/sparse", "wb").write(sparse)
open(d + "/random", "wb").write(bytes(r.getrandbits(8) for _ in range(1 << 20)))
PY

build/native/bench/codec_bench "$corpus/text" "$corpus/source" "$corpus/executable" "$corpus/sparse" "$corpus/random"
[ "$what" = codec ] || run_hook_cost
