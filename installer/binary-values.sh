#!/usr/bin/env bash
# wixl stores a binary registry value as its bare hex text, which Windows
# Installer would write as a string. The Registry table marks binary data
# with "#x"; this puts the mark on the named values of a package.
#   binary-values.sh PACKAGE.msi NAME...
set -euo pipefail
msi=$1; shift
table=$(msiinfo export "$msi" Registry)
for name in "$@"; do
  rows=$(printf '%s\n' "$table" | awk -F'\t' -v n="$name" 'NR > 3 && $4 == n { print $1 "\t" $5 }')
  [ -n "$rows" ] || { echo "binary-values: no value $name in $msi" >&2; exit 1; }
  while IFS=$'\t' read -r row value; do
    [[ $value =~ ^[0-9A-Fa-f]+$ ]] || { echo "binary-values: $name is not hex: $value" >&2; exit 1; }
    msibuild "$msi" -q "UPDATE \`Registry\` SET \`Value\`='#x$value' WHERE \`Registry\`='$row'"
  done <<<"$rows"
done
