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
display=120
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do
    display=$((display + 1))
done
export DISPLAY=":$display"
Xvfb "$DISPLAY" -screen 0 1280x1024x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
xdpyinfo >/dev/null 2>&1 || { echo "with_display: Xvfb did not start" >&2; exit 1; }
openbox >"$work/openbox.log" 2>&1 &
pids+=($!)
sleep 0.5
status=0
"$@" || status=$?
exit "$status"
