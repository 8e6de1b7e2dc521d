#!/usr/bin/env bash
# quellkamp.exe in a real window under Wine, Xvfb and a window manager: the
# open-file dialog answered by typing a path, the main window checked, a find
# typed, a row clicked, the screenshot taken, Alt+F4 and exit code 0; then
# Escape in the dialog, a missing file with its message, and a log named on
# the command line with letters outside any ANSI code page, whose upper list
# is exported to CSV and, after a find, to JSON Lines: the same bytes as the
# lister's (the CSV with a byte-order mark before them).
#
#   real_window_wine_test.sh WINE_RUN VIEWER_EXE EXAMPLES_DIR SCREENSHOT LISTER_EXE
set -euo pipefail

wine_run=$1
viewer=$2
examples=$3
screenshot=$4
lister=$5
# The log as a Windows path: Wine maps the Unix root to drive Z:.
log_windows="Z:$(realpath "$examples/dubletten.txt" | tr / '\\')"

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
    for _ in $(seq $(($2 * 20))); do
        id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1 || true)
        if [ -n "$id" ]; then
            echo "$id"
            return 0
        fi
        sleep 0.05
    done
    return 1
}

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

start_viewer() { # NAME [ARGUMENTS...]
    local name=$1
    shift
    (cd "$examples" && exec "$wine_run" "$viewer" "$@") >"$work/viewer-$name.log" 2>&1 &
    viewer_pid=$!
    pids+=($viewer_pid)
}

# Answers the open-file dialog with $1 by typing it into the name field.
answer_dialog() {
    local dialog
    dialog=$(wait_for_window "LOG-Datei" 60) || fail "the open-file dialog did not appear"
    xdotool windowactivate --sync "$dialog" 2>/dev/null || true
    sleep 0.5
    xdotool type --delay 5 "$1"
    xdotool key Return
}

# The mean brightness (0 to 1) of a part of the main window's inner area.
brightness() { # x y width height
    import -window root -crop "$3x$4+$((left + $1))+$((top + $2))" +repage "$work/part.png"
    convert "$work/part.png" -colorspace Gray -format '%[fx:mean]' info:
}

# --- A log chosen, used and closed -------------------------------------------
start_viewer main
answer_dialog "$log_windows"
answered=$(date +%s%N)
main=$(wait_for_window "Quellkamp" 20) || fail "the main window did not appear"
shown=$(date +%s%N)
echo "figure: main window up $(((shown - answered) / 1000000)) ms after the dialog's answer"
geometry=$(xwininfo -id "$main")
width=$(awk '/Width:/ {print $2}' <<<"$geometry")
height=$(awk '/Height:/ {print $2}' <<<"$geometry")
[ "$width" = 950 ] && [ "$height" = 600 ] || fail "inner area is ${width}x${height}, not 950x600"
left=$(awk '/Absolute upper-left X:/ {print $4}' <<<"$geometry")
top=$(awk '/Absolute upper-left Y:/ {print $4}' <<<"$geometry")
xdotool windowactivate --sync "$main" 2>/dev/null || true
sleep 0.5

count_before=$(brightness 720 13 80 20)
lower_before=$(brightness 12 470 900 110)
# A find text: the field holds "?" at first; a Win32 edit control has no
# triple-click selection, so the "?" is deleted by keys.
xdotool mousemove $((left + 900)) $((top + 22)) click 1
sleep 0.2
xdotool key End BackSpace
xdotool type --delay 20 "Flansch"
sleep 0.5
count_after=$(brightness 720 13 80 20)
[ "$count_before" != "$count_after" ] || fail "the count label did not change after the find"
# A click on the third listed row: its copies fill the lower list.
xdotool mousemove $((left + 150)) $((top + 45 + 30 + 20)) click 1
sleep 1
lower_after=$(brightness 12 470 900 110)
awk -v a="$lower_after" -v b="$lower_before" 'BEGIN { exit !(a < b - 0.005) }' ||
    fail "the lower list shows no copies after the click ($lower_before -> $lower_after)"
mkdir -p "$(dirname "$screenshot")"
import -window root -crop "950x600+$left+$top" +repage "$screenshot" ||
    fail "the screenshot could not be taken"

xdotool windowactivate --sync "$main" 2>/dev/null || true
xdotool key alt+F4
wait_for_exit "$viewer_pid" 20 || fail "the viewer did not end after Alt+F4"
[ "$exit_code" = 0 ] || fail "the viewer ended with exit code $exit_code"

# --- The dialog cancelled ----------------------------------------------------
start_viewer cancel
dialog=$(wait_for_window "LOG-Datei" 60) || fail "the open-file dialog did not appear again"
xdotool windowactivate --sync "$dialog" 2>/dev/null || true
sleep 0.5
xdotool key Escape
wait_for_exit "$viewer_pid" 20 || fail "the viewer did not end after Escape"
[ "$exit_code" = 0 ] || fail "the viewer ended with exit code $exit_code after Escape"
if xdotool search --onlyvisible --name "^Quellkamp\$" >/dev/null 2>&1; then
    fail "a main window opened although the dialog was cancelled"
fi

# --- A file that cannot be opened --------------------------------------------
start_viewer missing
answer_dialog "${log_windows%\\*}\\fehlt.txt"
box=$(wait_for_window "Information" 20) || fail "no message for the missing file"
xdotool windowactivate --sync "$box" 2>/dev/null || true
sleep 0.3
xdotool key Return
main=$(wait_for_window "Quellkamp" 20) || fail "no main window after the message"
xdotool windowactivate --sync "$main" 2>/dev/null || true
xdotool key alt+F4
wait_for_exit "$viewer_pid" 20 || fail "the viewer did not end after the message and Alt+F4"
[ "$exit_code" = 0 ] || fail "the viewer ended with exit code $exit_code after the message"

# --- A log on the command line ----------------------------------------------
# The name survives only through the wide command line.
named="$work/Prüfung Łódź 日本.txt"
cp "$examples/dubletten.txt" "$named"
start_viewer named "Z:$(tr / '\\' <<<"$named")"
main=$(wait_for_window "Quellkamp" 60) || fail "no main window for the log on the command line"
sleep 1
if xdotool search --onlyvisible --name "^(Information|LOG-Datei)\$" >/dev/null 2>&1; then
    fail "the log on the command line was not loaded without a dialog"
fi
geometry=$(xwininfo -id "$main")
left=$(awk '/Absolute upper-left X:/ {print $4}' <<<"$geometry")
top=$(awk '/Absolute upper-left Y:/ {print $4}' <<<"$geometry")
xdotool windowactivate --sync "$main" 2>/dev/null || true

# Exports the upper list through the button and the save dialog to $1 (a
# file in $work) and compares it with the lister's output for $2...
export_and_compare() {
    local file=$1
    shift
    xdotool mousemove $((left + 540)) $((top + 20)) click 1
    local dialog
    dialog=$(wait_for_window "Export to..." 30) || fail "the save dialog did not appear"
    xdotool windowactivate --sync "$dialog" 2>/dev/null || true
    sleep 0.5
    xdotool key ctrl+a
    xdotool type --delay 5 "Z:$(tr / '\\' <<<"$work/$file")"
    xdotool key Return
    for _ in $(seq 100); do [ -s "$work/$file" ] && break; sleep 0.1; done
    sleep 0.5
    "$wine_run" "$lister" "$@" "$examples/dubletten.txt" >"$work/expected" 2>/dev/null ||
        fail "the lister failed for $*"
    cmp "$work/$file" "$work/expected" || fail "the export $file differs from the lister's $*"
}
export_and_compare export.csv --spreadsheet-csv
xdotool mousemove $((left + 900)) $((top + 22)) click 1
sleep 0.2
xdotool key End BackSpace
xdotool type --delay 20 "Flansch"
sleep 0.5
export_and_compare export.jsonl --find Flansch

xdotool windowactivate --sync "$main" 2>/dev/null || true
xdotool key alt+F4
wait_for_exit "$viewer_pid" 20 || fail "the viewer did not end after Alt+F4 (command line)"
[ "$exit_code" = 0 ] || fail "the viewer ended with exit code $exit_code (command line)"

echo "real window under Wine: 4 passed, 0 failed"
