#!/usr/bin/env bash
# Runs one Windows program under Wine in the project's prefix; ctest uses it
# as the cross-compiling emulator.
set -u
. "$(dirname "$0")/wine-env.sh"
pfc_ensure_display
pfc_ensure_prefix
exec wine "$@"
