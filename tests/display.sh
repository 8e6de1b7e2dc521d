# A fresh X display with a window manager, for the test scripts that source
# this file. The script keeps `work` (its scratch folder) and `pids` (the
# processes its clean-up ends); its `fail`, if it has one, reports a display
# that does not start.
#
#   start_display   # exports DISPLAY=:N, a display number Xvfb found free
#   (QK_SCREEN=WxHxD asks for another screen than 1280x1024x24)

start_display() {
    # Xvfb picks a free display itself (-displayfd), so that two tests
    # starting at once never race for the same number.
    local number=""
    Xvfb -displayfd 3 -screen 0 "${QK_SCREEN:-1280x1024x24}" -nolisten tcp 3>"$work/display-number" \
        >"$work/xvfb.log" 2>&1 &
    pids+=($!)
    local xvfb=$!
    for _ in $(seq 300); do
        number=$(head -n 1 "$work/display-number" 2>/dev/null || true)
        [ -n "$number" ] || ! kill -0 "$xvfb" 2>/dev/null && break
        sleep 0.1
    done
    export DISPLAY=":$number"
    for _ in $(seq 300); do
        [ -n "$number" ] || break
        xdpyinfo >/dev/null 2>&1 && break
        sleep 0.1
    done
    if [ -z "$number" ] || ! xdpyinfo >/dev/null 2>&1; then
        local message="Xvfb did not start: $(cat "$work/xvfb.log")"
        if declare -F fail >/dev/null; then fail "$message"; fi
        echo "$message" >&2
        exit 1
    fi
    openbox >"$work/openbox.log" 2>&1 &
    pids+=($!)
}
