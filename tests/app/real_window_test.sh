#!/usr/bin/env bash
# The viewer in a real window: under Xvfb with a window manager, answer the
# open-file dialog like a user, check the main window, click a row, type a
# find text, take the screenshot, take screenshots of a row's context menu and
# of the export dialog, close through the window manager, and check the exit
# code. Then: the dialog cancelled by Escape; a click that follows two
# keystrokes at once on a log of a million lines; closing after the window was
# minimised and restored; a log named like a toolkit option after "--"; a
# named display that cannot be reached.
#
#   real_window_test.sh VIEWER EXAMPLES_DIR SCREENSHOT [GENLOG]
set -euo pipefail

viewer=$1
examples=$2
screenshot=$3
genlog=${4:-}
log="$examples/dubletten.txt"

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    import -display "$DISPLAY" -window root "$work/failure.png" 2>/dev/null &&
        cp "$work/failure.png" "${screenshot%.png}-failure.png" 2>/dev/null || true
    exit 1
}

. "$(dirname "$0")/../display.sh"
start_display
sleep 1

# Waits up to $2 seconds for a visible window named exactly $1; prints its id.
wait_for_window() {
    local id
    for _ in $(seq $(($2 * 10))); do
        id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1 || true)
        if [ -n "$id" ]; then
            echo "$id"
            return 0
        fi
        sleep 0.1
    done
    return 1
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

# --- A log chosen, used and closed -------------------------------------------
(cd "$examples" && exec "$viewer") >"$work/viewer.log" 2>&1 &
viewer_pid=$!
pids+=($viewer_pid)

dialog=$(wait_for_window "LOG-Datei" 20) || fail "the open-file dialog did not appear"
xdotool windowactivate --sync "$dialog" 2>/dev/null || true
sleep 0.5
xdotool type --delay 5 "$log"
xdotool key Return

main=$(wait_for_window "Quellkamp" 20) || fail "the main window did not appear"
geometry=$(xwininfo -id "$main")
width=$(awk '/Width:/ {print $2}' <<<"$geometry")
height=$(awk '/Height:/ {print $2}' <<<"$geometry")
[ "$width" = 950 ] && [ "$height" = 600 ] || fail "inner area is ${width}x${height}, not 950x600"
left=$(awk '/Absolute upper-left X:/ {print $4}' <<<"$geometry")
top=$(awk '/Absolute upper-left Y:/ {print $4}' <<<"$geometry")

xdotool windowactivate --sync "$main" 2>/dev/null || true
sleep 0.5
# A find text into the find field, then a click on the second listed row.
xdotool mousemove $((left + 900)) $((top + 22)) click --repeat 3 1
sleep 0.2
xdotool type --delay 20 "Flansch"
sleep 0.5
xdotool mousemove $((left + 150)) $((top + 45 + 30 + 20)) click 1
sleep 1
mkdir -p "$(dirname "$screenshot")"
import -window root -crop "950x600+$left+$top" +repage "$screenshot" ||
    fail "the screenshot could not be taken"
docs=$(dirname "$screenshot")

# The context menu of the clicked row, by a right click on it.
xdotool mousemove $((left + 250)) $((top + 45 + 30 + 20)) click 3
sleep 1
import -window root -crop "950x600+$left+$top" +repage "$docs/context-menu.png" ||
    fail "the screenshot of the context menu could not be taken"
xdotool key Escape
sleep 0.3

# The export button opens the save dialog; Escape cancels it.
xdotool mousemove $((left + 540)) $((top + 20)) click 1
save=$(wait_for_window "Export to..." 10) || fail "the save dialog did not appear"
sleep 1
import -window "$save" -frame "$docs/export-dialog.png" 2>/dev/null ||
    import -window "$save" "$docs/export-dialog.png" ||
    fail "the screenshot of the save dialog could not be taken"
xdotool windowactivate --sync "$save" 2>/dev/null || true
xdotool key Escape
sleep 0.5
if xdotool search --onlyvisible --name "^Export to\.\.\.\$" >/dev/null 2>&1; then
    fail "the save dialog stayed open after Escape"
fi
ls "$examples" | grep -qv '\.txt$' && fail "the cancelled export wrote a file"

# Alt+F4 to the active window: the window manager turns it into a close request.
xdotool windowactivate --sync "$main" 2>/dev/null || true
xdotool key alt+F4
wait_for_exit "$viewer_pid" 10 || fail "the viewer did not end after the close request"
[ "$exit_code" = 0 ] || fail "the viewer ended with exit code $exit_code"

# --- The dialog cancelled ----------------------------------------------------
(cd "$examples" && exec "$viewer") >"$work/viewer2.log" 2>&1 &
viewer_pid=$!
pids+=($viewer_pid)
dialog=$(wait_for_window "LOG-Datei" 20) || fail "the open-file dialog did not appear again"
xdotool windowactivate --sync "$dialog" 2>/dev/null || true
sleep 0.5
xdotool key Escape
wait_for_exit "$viewer_pid" 10 || fail "the viewer did not end after Escape"
[ "$exit_code" = 0 ] || fail "the viewer ended with exit code $exit_code after Escape"
if xdotool search --onlyvisible --name "^Quellkamp\$" >/dev/null 2>&1; then
    fail "a main window opened although the dialog was cancelled"
fi

# Starts the viewer on log $1 and answers the dialog; sets viewer_pid, main,
# left and top.
start_viewer() {
    (cd "$examples" && exec "$viewer") >"$work/viewer-$RANDOM.log" 2>&1 &
    viewer_pid=$!
    pids+=($viewer_pid)
    local dialog
    dialog=$(wait_for_window "LOG-Datei" 20) || fail "the open-file dialog did not appear"
    xdotool windowactivate --sync "$dialog" 2>/dev/null || true
    sleep 0.5
    xdotool type --delay 5 "$1"
    xdotool key Return
    main=$(wait_for_window "Quellkamp" 120) || fail "the main window did not appear for $1"
    local geometry
    geometry=$(xwininfo -id "$main")
    left=$(awk '/Absolute upper-left X:/ {print $4}' <<<"$geometry")
    top=$(awk '/Absolute upper-left Y:/ {print $4}' <<<"$geometry")
    xdotool windowactivate --sync "$main" 2>/dev/null || true
    sleep 0.5
}

# The number of colours in the rows of the lower list: its background and
# grid lines alone give at most two.
lower_list_colours() {
    import -window root -crop "900x100+$((left + 15))+$((top + 450 + 28))" +repage "$work/lower.png"
    convert "$work/lower.png" -format %k info:
}

close_viewer() {
    xdotool windowactivate --sync "$main" 2>/dev/null || true
    xdotool key alt+F4
    wait_for_exit "$viewer_pid" 30 || fail "the viewer did not end after the close request ($1)"
    [ "$exit_code" = 0 ] || fail "the viewer ended with exit code $exit_code ($1)"
}

# --- Two keystrokes and a click at once on a million lines -------------------
if [ -n "$genlog" ]; then
    "$genlog" 1000000 10 "$work/million.txt" || fail "the log of a million lines was not made"
    start_viewer "$work/million.txt"
    xdotool mousemove $((left + 900)) $((top + 22)) click --repeat 3 1 key BackSpace
    sleep 0.5
    # "Fl", then at once a click on the second row: the click must land on
    # the list the two letters produced.
    xdotool mousemove $((left + 150)) $((top + 45 + 30 + 20))
    sleep 0.3
    xdotool key F && xdotool key l && xdotool click 1
    lower=0
    for _ in $(seq 100); do
        lower=$(lower_list_colours)
        [ "$lower" -gt 2 ] && break
        sleep 0.2
    done
    [ "$lower" -gt 2 ] || fail "the click after two keystrokes left the lower list empty"
    close_viewer "million lines"
fi

# --- Closing after minimise, restore and the client leader activated --------
for round in 1 2 3; do
    start_viewer "$log"
    xdotool windowminimize --sync "$main" 2>/dev/null || true
    sleep 0.3
    xdotool windowactivate --sync "$main" 2>/dev/null || xdotool windowmap "$main" || true
    sleep 0.3
    leader=$(xprop -id "$main" WM_CLIENT_LEADER 2>/dev/null | awk '{print $NF}')
    if [ -n "$leader" ] && [ "$leader" != "$main" ]; then
        xdotool windowactivate "$leader" 2>/dev/null || true
        sleep 0.3
    fi
    close_viewer "round $round after minimise and restore"
done

# --- After "--" nothing reaches the toolkit ----------------------------------
# A log named like a toolkit option is loaded, and the layout is not mirrored:
# the window looks as it does for the same log under an ordinary name.
cp "$log" "$work/-reverse"
cp "$log" "$work/plain.txt"
for name in plain.txt -reverse; do
    (cd "$work" && exec "$viewer" -- "$name") >"$work/viewer-dashes.log" 2>&1 &
    viewer_pid=$!
    pids+=($viewer_pid)
    main=$(wait_for_window "Quellkamp" 30) || fail "no main window for -- $name"
    sleep 1
    import -window "$main" "$work/window-$name.png"
    close_viewer "-- $name"
done
differing=$(compare -metric AE -fuzz 10% "$work/window-plain.txt.png" "$work/window--reverse.png" \
    null: 2>&1 || true)
pixels=$(convert "$work/window-plain.txt.png" -format '%[fx:w*h]' info:)
[ "${differing%% *}" -lt $((pixels / 100)) ] ||
    fail "after --, -reverse changed the window ($differing of $pixels pixels differ)"

# --- A named display that cannot be reached ----------------------------------
unreachable=":$((${DISPLAY#:} + 37))"
set +e
DISPLAY="$unreachable" "$viewer" >"$work/unreachable.out" 2>"$work/unreachable.err"
exit_code=$?
set -e
[ "$exit_code" = 1 ] || fail "an unreachable display gave exit code $exit_code, not 1"
[ "$(cat "$work/unreachable.err")" = "quellkamp: cannot open display $unreachable" ] ||
    fail "an unreachable display gave: $(cat "$work/unreachable.err")"
[ ! -s "$work/unreachable.out" ] || fail "an unreachable display wrote to standard output"

echo "real window: 7 passed, 0 failed"
