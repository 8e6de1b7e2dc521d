#!/usr/bin/env bash
# The viewer in a real window under limits on its address space (`ulimit -v`)
# from 150 to 800 MB, each time with a log of a million lines on its command
# line: every run ends with the message (answered, then the window shows) or
# with the whole log on screen, and the window closes with exit code 0. A
# run that hangs (the window blank, its close ignored) or crashes fails.
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

# The id of a visible window of process $1 named exactly $2, or nothing.
window_of() {
    xdotool search --onlyvisible --pid "$1" --name "^$2\$" 2>/dev/null | head -n 1 || true
}

# Waits up to $2 seconds for process $1, a child of this shell, to end and
# sets exit_code to its exit code.
wait_for_exit() {
    for _ in $(seq $(($2 * 10))); do
        if ! kill -0 "$1" 2>/dev/null; then
            exit_code=0
            wait "$1" || exit_code=$?
            return 0
        fi
        sleep 0.1
    done
    return 1
}

"$genlog" 1000000 7 "$work/million.txt" || fail "the log of a million lines was not made"

for megabytes in 150 200 250 300 330 340 350 400 500 650 800; do
    (ulimit -v $((megabytes * 1024)) && exec "$viewer" "$work/million.txt") \
        >"$work/viewer-$megabytes.log" 2>&1 &
    viewer_pid=$!
    pids+=($viewer_pid)
    # The message first when there is one, then the main window; a viewer
    # that ends or stops answering on the way fails.
    outcome=""
    for _ in $(seq 1200); do
        kill -0 "$viewer_pid" 2>/dev/null ||
            fail "at $megabytes MB the viewer ended: $(cat "$work/viewer-$megabytes.log")"
        box=$(window_of "$viewer_pid" Information)
        if [ -n "$box" ] && [ -z "$outcome" ]; then
            outcome=message
            xdotool windowactivate --sync "$box" 2>/dev/null || true
            xdotool key Return
        fi
        main=$(window_of "$viewer_pid" Quellkamp)
        if [ -n "$main" ] && [ -z "$(window_of "$viewer_pid" million.txt)" ] &&
            [ -z "$(window_of "$viewer_pid" Information)" ]; then
            outcome=${outcome:-loaded}
            break
        fi
        sleep 0.1
    done
    [ -n "$main" ] || fail "at $megabytes MB no main window came (the viewer hangs)"
    xdotool windowactivate --sync "$main" 2>/dev/null || true
    xdotool key alt+F4
    wait_for_exit "$viewer_pid" 30 || fail "at $megabytes MB the window did not close"
    [ "$exit_code" = 0 ] || fail "at $megabytes MB the viewer ended with exit code $exit_code"
    echo "$megabytes MB: $outcome"
done

echo "memory limits in a real window: 11 passed, 0 failed"
