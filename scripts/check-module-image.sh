#!/usr/bin/env bash
# Checks the built module image: it imports nothing but the system's known
# DLLs that every windowed process already has (it is loaded into every
# windowed process: any other library is looked for in the host's folder
# first, and binding more libraries is paid by every process; the shell's and
# the common dialogs' are loaded when a user's command needs them), its
# sections are page-aligned in the file (so the loader can map them rather
# than copy them at every load), registers no static destructor
# (they would run at process exit, where a lock of a dead thread hangs it),
# exports the five entry points by their plain names, and carries a shared,
# writable data section laid out field by field: the message name behind the
# handles, safe mode's fields behind it.
# The resource module, when given, must export PavResGetInstance.
#   check-module-image.sh <objdump> <PVPFCW32.dll> <pointer-size> [PavRes32.dll]
set -euo pipefail
objdump=$1 dll=$2 ptr=$3 resdll=${4:-}
fail() { echo "FAIL: $*"; exit 1; }

imports=$("$objdump" -p "$dll" | sed -n 's/^\s*DLL Name: //p' | tr 'a-z' 'A-Z' | sort -u)
allowed='^(KERNEL32|USER32|GDI32|ADVAPI32|MSVCRT)\.DLL$'
echo "imports: $(echo $imports)"
while read -r name; do
  [ -z "$name" ] && continue
  [[ "$name" =~ $allowed ]] || fail "imports $name"
done <<<"$imports"

alignment=$("$objdump" -p "$dll" | awk '/^FileAlignment/{print $2}')
[ $((16#$alignment)) -ge 4096 ] || fail "file alignment $alignment: sections are copied, not mapped, at every load"

# A destructor of a static object of ours is registered through a __tcf_
# function (the runtime's own emergency exception pool keeps a section of
# that name, with no function of ours in it).
destructors=$("$objdump" -t "$dll" | grep -E '\(ty +20\)' | grep -oE '_?__tcf_[0-9]+$' | sort -u | tr '\n' ' ' || true)
[ -z "$destructors" ] || fail "static destructors run at process exit: $destructors"

exports=$("$objdump" -p "$dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | grep -oE '[A-Za-z_][A-Za-z0-9_@]*$' | sort)
echo "exports: $(echo $exports)"
for name in HookProc ShellProc TimerProc32 VXPFCWConfig VXPFCWSetHooking; do
  grep -qx "$name" <<<"$exports" || fail "export $name missing or decorated"
done

header=$("$objdump" -h "$dll" | grep -A1 ' \.shared ') || fail "no .shared section"
echo "$header"
grep -q 'DATA' <<<"$header" || fail ".shared is not a data section"
grep -q 'SHARED' <<<"$header" || fail ".shared is not marked shared"
grep -q 'READONLY' <<<"$header" && fail ".shared is read-only"
size=$((16#$(awk '/ \.shared /{print $3}' <<<"$header")))
# Two lists of 4096, the path of 260, the parameter, two handles, the name;
# then safe mode's watch flag and list generation (32 bits each, aligned) and
# its list of 4096.
fields=$((4096 + 4096 + 260 + 4))
fields=$(( (fields + ptr - 1) / ptr * ptr + 2 * ptr + 13 ))
fields=$(( (fields + 3) / 4 * 4 + 8 + 4096 ))
[ "$size" -ge "$fields" ] && [ "$size" -le $((fields + 64)) ] || fail ".shared is $size bytes, expected about $fields"
# Field by field: everything zero but the message name right behind the two
# handles (the u32 parameter is padded to the handle size).
name_at=$(( (4096 + 4096 + 260 + 4 + ptr - 1) / ptr * ptr + 2 * ptr ))
raw=$(mktemp); trap 'rm -f "$raw"' EXIT
"${objdump%objdump}objcopy" -O binary --only-section=.shared "$dll" "$raw"
[ "$(head -c "$name_at" "$raw" | tr -d '\0' | wc -c)" -eq 0 ] || fail "the lists, path, parameter or handles are not zero-filled"
[ "$(tail -c +$((name_at + 1)) "$raw" | head -c 13 | tr '\0' '#')" = "PvPfcW32.ini#" ] || fail "the message name is not behind the handles"
[ "$(tail -c +$((name_at + 14)) "$raw" | tr -d '\0' | wc -c)" -eq 0 ] || fail "safe mode's fields behind the message name are not zero-filled"
if [ -n "$resdll" ]; then
  "$objdump" -p "$resdll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | grep -qE '\] PavResGetInstance$' ||
    fail "PavRes32.dll does not export PavResGetInstance"
fi
echo "module image OK"
