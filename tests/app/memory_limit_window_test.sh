#!/usr/bin/env bash
# The viewer in a real window under limits on its address space (`ulimit -v`),
# each time with a log of a million lines on its command line: at 150 MB the
# message (answered, then the window shows), at 800 MB the whole log on
# screen, and in the band of 330 to 350 MB, where the load once hung with its
# progress window blank, either of them. Every time the window closes with
# exit code 0. A run that hangs (the window blank, its close ignored) or
# crashes fails.
#
#   memory_limit_window_test.sh VIEWER GENLOG
set -euo pipefail

viewer=$1
genlog=$2

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

. "$(dirname "$0")/../display.sh"
start_display

# Sets outcome once the start-up of viewer $1 has come to an end: the
# message, the main window with the log (no progress window left), or the
# process gone. At start-up the message comes before the main window.
start_ended() {
    if visible_window Information "$1" >/dev/null; then
        outcome=message
    elif visible_window Quellkamp "$1" >/dev/null &&
        ! visible_window million.txt "$1" >/dev/null; then
        outcome=loaded
    elif process_ended "$1"; then
        outcome=ended
    else
        return 1
    fi
}

# Return to the message box of viewer $1 until the box has gone.
message_answered() {
    local box
    box=$(visible_window Information "$1") || return 0
    activate_window "$box" || return 1
    xdotool key Return
    wait_until 2 no_window_of "$1" Information
}
no_window_of() { ! visible_window "$2" "$1" >/dev/null; }

# Whether the upper list of main window $1 shows rows: its background and
# grid lines alone give at most two colours.
rows_shown() {
    import -window "$1" -crop 900x300+15+64 +repage "$work/rows.png" 2>/dev/null &&
        [ "$(convert "$work/rows.png" -format %k info:)" -gt 2 ]
}

"$genlog" 1000000 7 "$work/million.txt" || fail "the log of a million lines was not made"

# Limit in MB and the outcome it must have ("" for either).
steps=("150 message" "330 " "340 " "350 " "800 loaded")
for step in "${steps[@]}"; do
    read -r megabytes expected <<<"$step"
    (ulimit -v $((megabytes * 1024)) && exec "$viewer" "$work/million.txt") \
        >"$work/viewer-$megabytes.log" 2>&1 &
    viewer_pid=$!
    pids+=($viewer_pid)
    outcome=""
    wait_until 120 start_ended "$viewer_pid" ||
        fail "at $megabytes MB neither the message nor the log came (the viewer hangs)"
    [ "$outcome" != ended ] ||
        fail "at $megabytes MB the viewer ended: $(cat "$work/viewer-$megabytes.log")"
    if [ "$outcome" = message ]; then
        wait_until 30 message_answered "$viewer_pid" ||
            fail "at $megabytes MB the message could not be answered"
    fi
    main=$(wait_for_window Quellkamp 30 "$viewer_pid") ||
        fail "at $megabytes MB no main window came after the $outcome (the viewer hangs)"
    [ -z "$expected" ] || [ "$outcome" = "$expected" ] ||
        fail "at $megabytes MB the viewer gave the $outcome, not the $expected"
    if [ "$outcome" = loaded ]; then
        wait_until 30 rows_shown "$main" || fail "at $megabytes MB the log's rows are not shown"
    fi
    activate_window "$main" || fail "at $megabytes MB the main window cannot be activated"
    xdotool key alt+F4
    wait_for_exit "$viewer_pid" 30 || fail "at $megabytes MB the window did not close"
    [ "$exit_code" = 0 ] || fail "at $megabytes MB the viewer ended with exit code $exit_code"
    echo "$megabytes MB: $outcome"
done

echo "memory limits in a real window: ${#steps[@]} passed, 0 failed"
