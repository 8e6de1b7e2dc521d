#!/usr/bin/env bash
# Runs a command with a fresh Xvfb display and a window manager, for the
# Win32 window layer's tests under Wine.
#
#   with_display.sh COMMAND [ARGUMENTS...]
set -euo pipefail
pids=()
work=$(mktemp -d)
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT
. "$(dirname "$0")/../../display.sh"
start_display
status=0
"$@" || status=$?
exit "$status"
