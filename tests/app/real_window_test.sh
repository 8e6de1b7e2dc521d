#!/usr/bin/env bash
# The viewer in a real window: under Xvfb with a window manager, answer the
# open-file dialog like a user, check the main window, click a row, type a
# find text, take the screenshot, take screenshots of a row's context menu and
# of the export dialog, close through the window manager, and check the exit
# code. Then: the dialog cancelled by Escape; a click that follows two
# keystrokes at once on a log of a million lines; closing after the window was
# minimised and restored; a log named like a toolkit option after "--"; a log
# of one line far longer than a cell shows; a named display that cannot be
# reached. Every step waits for what it needs, never for a fixed time.
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

# The checksum of a part of the screen: width height x y.
checksum_at() {
    import -window root -crop "$1x$2+$3+$4" +repage "$work/part.png"
    md5sum <"$work/part.png"
}
# Whether that part of the screen differs from $before.
changed_at() { [ "$(checksum_at "$@")" != "$before" ]; }
# Whether that part of the screen looks as it did when last asked.
settled_at() {
    local now
    now=$(checksum_at "$@")
    [ "$now" = "${part_capture:-}" ] && return 0
    part_capture=$now
    return 1
}

# The number of colours in the rows of the upper ($1 = 64) or lower ($1 =
# 478) list of the main window at left/top: its background and grid lines
# alone give at most two.
list_colours() {
    import -window root -crop "900x100+$((left + 15))+$((top + $1))" +repage "$work/list.png"
    convert "$work/list.png" -format %k info:
}
list_filled() { [ "$(list_colours "$1")" -gt 2 ]; }

# --- A log chosen, used and closed -------------------------------------------
(cd "$examples" && exec "$viewer") >"$work/viewer.log" 2>&1 &
viewer_pid=$!
pids+=($viewer_pid)

dialog=$(wait_for_window "LOG-Datei" 20) || fail "the open-file dialog did not appear"
activate_window "$dialog" || fail "the open-file dialog cannot be activated"
choose_file "$dialog" "$log" || fail "the open-file dialog did not take the log"

main=$(wait_for_window "Quellkamp" 20) || fail "the main window did not appear"
geometry=$(xwininfo -id "$main")
width=$(awk '/Width:/ {print $2}' <<<"$geometry")
height=$(awk '/Height:/ {print $2}' <<<"$geometry")
[ "$width" = 950 ] && [ "$height" = 600 ] || fail "inner area is ${width}x${height}, not 950x600"
left=$(awk '/Absolute upper-left X:/ {print $4}' <<<"$geometry")
top=$(awk '/Absolute upper-left Y:/ {print $4}' <<<"$geometry")

activate_window "$main" || fail "the main window cannot be activated"
# A find text into the find field (Ctrl+F selects its text), then a click on
# the second listed row: the click lands on the list the find produced.
xdotool key ctrl+f
xdotool type --delay 20 "Flansch"
xdotool mousemove --sync $((left + 150)) $((top + 45 + 30 + 20)) click 1
wait_until 20 list_filled 478 || fail "the click on a found row left the lower list empty"
wait_for_settled "$main" 10 || fail "the main window does not settle"
mkdir -p "$(dirname "$screenshot")"
import -window root -crop "950x600+$left+$top" +repage "$screenshot" ||
    fail "the screenshot could not be taken"
docs=$(dirname "$screenshot")

# The context menu of the clicked row, by a right click on it.
xdotool mousemove --sync $((left + 250)) $((top + 45 + 30 + 20))
before=$(checksum_at 950 600 "$left" "$top")
xdotool click 3
wait_until 10 changed_at 950 600 "$left" "$top" || fail "the right click opened no menu"
part_capture=""
wait_until 10 settled_at 950 600 "$left" "$top" || fail "the menu does not settle"
import -window root -crop "950x600+$left+$top" +repage "$docs/context-menu.png" ||
    fail "the screenshot of the context menu could not be taken"
xdotool key Escape
wait_until 10 eval '! changed_at 950 600 "$left" "$top"' || fail "Escape left the menu open"

# The export button opens the save dialog; Escape cancels it.
xdotool mousemove $((left + 540)) $((top + 20)) click 1
save=$(wait_for_window "Export to..." 10) || fail "the save dialog did not appear"
wait_for_settled "$save" 10 || fail "the save dialog does not settle"
import -window "$save" -frame "$docs/export-dialog.png" 2>/dev/null ||
    import -window "$save" "$docs/export-dialog.png" ||
    fail "the screenshot of the save dialog could not be taken"
activate_window "$save" || fail "the save dialog cannot be activated"
xdotool key Escape
wait_for_no_window "Export to\.\.\." 10 || fail "the save dialog stayed open after Escape"
ls "$examples" | grep -qv '\.txt$' && fail "the cancelled export wrote a file"

# Alt+F4 to the active window: the window manager turns it into a close request.
activate_window "$main" || fail "the main window cannot be activated again"
xdotool key alt+F4
wait_for_exit "$viewer_pid" 10 || fail "the viewer did not end after the close request"
[ "$exit_code" = 0 ] || fail "the viewer ended with exit code $exit_code"

# --- The dialog cancelled ----------------------------------------------------
(cd "$examples" && exec "$viewer") >"$work/viewer2.log" 2>&1 &
viewer_pid=$!
pids+=($viewer_pid)
dialog=$(wait_for_window "LOG-Datei" 20) || fail "the open-file dialog did not appear again"
activate_window "$dialog" || fail "the open-file dialog cannot be activated"
xdotool key Escape
wait_for_exit "$viewer_pid" 10 || fail "the viewer did not end after Escape"
[ "$exit_code" = 0 ] || fail "the viewer ended with exit code $exit_code after Escape"
visible_window Quellkamp >/dev/null && fail "a main window opened although the dialog was cancelled"

# Starts the viewer on log $1 and answers the dialog; sets viewer_pid, main,
# left and top.
start_viewer() {
    (cd "$examples" && exec "$viewer") >"$work/viewer-$RANDOM.log" 2>&1 &
    viewer_pid=$!
    pids+=($viewer_pid)
    local dialog
    dialog=$(wait_for_window "LOG-Datei" 20) || fail "the open-file dialog did not appear"
    activate_window "$dialog" || fail "the open-file dialog cannot be activated"
    choose_file "$dialog" "$1" || fail "the open-file dialog did not take $1"
    main=$(wait_for_window "Quellkamp" 120) || fail "the main window did not appear for $1"
    place_main
}

# Sets left and top to the corner of the main window's inner area, and
# gives it the keyboard.
place_main() {
    local geometry
    geometry=$(xwininfo -id "$main")
    left=$(awk '/Absolute upper-left X:/ {print $4}' <<<"$geometry")
    top=$(awk '/Absolute upper-left Y:/ {print $4}' <<<"$geometry")
    activate_window "$main" || fail "the main window cannot be activated"
}

# Alt+F4 to the main window, asked again should the window manager have
# given the keyboard to another window meanwhile.
close_requested() {
    activate_window "$main" || return 1
    xdotool key alt+F4
    wait_for_exit "$viewer_pid" 5
}
close_viewer() {
    wait_until 30 close_requested || fail "the viewer did not end after the close request ($1)"
    [ "$exit_code" = 0 ] || fail "the viewer ended with exit code $exit_code ($1)"
}

# --- Two keystrokes and a click at once on a million lines -------------------
if [ -n "$genlog" ]; then
    "$genlog" 1000000 10 "$work/million.txt" || fail "the log of a million lines was not made"
    start_viewer "$work/million.txt"
    # "Fl" into the emptied find field, then at once a click on the second
    # row: the click must land on the list the two letters produced.
    xdotool key ctrl+f BackSpace
    xdotool mousemove --sync $((left + 150)) $((top + 45 + 30 + 20))
    xdotool key F && xdotool key l && xdotool click 1
    wait_until 20 list_filled 478 || fail "the click after two keystrokes left the lower list empty"
    close_viewer "million lines"
fi

# --- Closing after minimise, restore and the client leader activated --------
for round in 1 2 3; do
    start_viewer "$log"
    xdotool windowminimize --sync "$main" 2>/dev/null || true
    wait_for_no_window Quellkamp 10 || fail "the main window was not minimised (round $round)"
    activate_window "$main" || fail "the main window was not restored (round $round)"
    leader=$(xprop -id "$main" WM_CLIENT_LEADER 2>/dev/null | awk '{print $NF}')
    if [ -n "$leader" ] && [ "$leader" != "$main" ]; then
        xdotool windowactivate "$leader" 2>/dev/null || true
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
    place_main
    wait_until 20 list_filled 64 || fail "no rows shown for -- $name"
    wait_for_settled "$main" 10 || fail "the main window does not settle for -- $name"
    import -window "$main" "$work/window-$name.png"
    close_viewer "-- $name"
done
differing=$(compare -metric AE -fuzz 10% "$work/window-plain.txt.png" "$work/window--reverse.png" \
    null: 2>&1 || true)
pixels=$(convert "$work/window-plain.txt.png" -format '%[fx:w*h]' info:)
[ "${differing%% *}" -lt $((pixels / 100)) ] ||
    fail "after --, -reverse changed the window ($differing of $pixels pixels differ)"

# --- One line far longer than a cell shows -----------------------------------
# A name of 16 million characters: the row is drawn (cut, with an ellipsis),
# a click shows its copy below, and the window closes.
{
    printf 'D:\\A\\'
    head -c 16000000 /dev/zero | tr '\0' n
    printf '.par 1 01.01.2001 01:01 cad01\n'
} >"$work/long.txt"
(cd "$work" && exec "$viewer" -- long.txt) >"$work/viewer-long.log" 2>&1 &
viewer_pid=$!
pids+=($viewer_pid)
main=$(wait_for_window "Quellkamp" 60) || fail "no main window for the long line: $(cat "$work/viewer-long.log")"
place_main
wait_until 20 list_filled 64 || fail "the long line is not shown"
xdotool mousemove --sync $((left + 150)) $((top + 72)) click 1
wait_until 20 list_filled 478 || fail "a click on the long line showed no copy"
close_viewer "the long line"

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

echo "real window: 8 passed, 0 failed"
