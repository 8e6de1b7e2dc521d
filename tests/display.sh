# A fresh X display with a window manager, for the test scripts that source
# this file. The script keeps `work` (its scratch folder) and `pids` (the
# processes its clean-up ends); its `fail`, if it has one, reports a display
# that does not start.
#
#   start_display FIRST   # exports DISPLAY=:N, the first free N from FIRST

start_display() {
    local number=$1
    while [ -e "/tmp/.X11-unix/X$number" ] || [ -e "/tmp/.X$number-lock" ]; do
        number=$((number + 1))
    done
    export DISPLAY=":$number"
    Xvfb "$DISPLAY" -screen 0 1280x1024x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
    pids+=($!)
    for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
    if ! xdpyinfo >/dev/null 2>&1; then
        local message="Xvfb did not start: $(cat "$work/xvfb.log")"
        if declare -F fail >/dev/null; then fail "$message"; fi
        echo "$message" >&2
        exit 1
    fi
    openbox >"$work/openbox.log" 2>&1 &
    pids+=($!)
}
