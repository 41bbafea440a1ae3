#!/usr/bin/env bash
# A tree with one cycle between two folders of files: the check must fail
# and name both; the same tree without the back edge must pass.
set -u
python=$1 script=$2
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
mkdir -p "$tree/menu" "$tree/send"
printf '#include "send/b.h"\n' >"$tree/menu/a.cpp"; : >"$tree/menu/a.h"
printf '#include "menu/a.h"\n' >"$tree/send/b.cpp"; : >"$tree/send/b.h"
out=$("$python" "$script" "$tree") && { echo "FAIL: a new cycle passed"; echo "$out"; exit 1; }
grep -q 'file cycle: menu/a <-> send/b' <<<"$out" || { echo "FAIL: cycle not named"; echo "$out"; exit 1; }
grep -q 'folder cycle: menu <-> send' <<<"$out" || { echo "FAIL: folder cycle not named"; echo "$out"; exit 1; }
: >"$tree/send/b.cpp"
out=$("$python" "$script" "$tree") || { echo "FAIL: a tree without cycles failed"; echo "$out"; exit 1; }
echo ok
