#!/usr/bin/env bash
# quellkamp.exe in a real window under Wine, Xvfb and a window manager: the
# open-file dialog answered by typing a path, the main window checked, a find
# typed, a row clicked, the screenshot taken, Alt+F4 and exit code 0; then
# Escape in the dialog, a missing file with its message, and a log named on
# the command line with letters outside any ANSI code page, whose upper list
# is exported to CSV and, after a find, to JSON Lines: the same bytes as the
# lister's (the CSV with a byte-order mark before them); last a log of one
# line far longer than a cell shows. Every step waits for what it needs,
# never for a fixed time.
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

start_viewer() { # NAME [ARGUMENTS...]
    local name=$1
    shift
    (cd "$examples" && exec "$wine_run" "$viewer" "$@") >"$work/viewer-$name.log" 2>&1 &
    viewer_pid=$!
    pids+=($viewer_pid)
}

# Types $2 into the name field of file dialog $1 (all of it replaced) and
# Return; true once the dialog has gone. Keys that came before the dialog
# had put the keyboard into its field are lost: then it is done again.
dialog_answered() {
    no_window "$1" && return 0
    local dialog
    dialog=$(visible_window "$1") || return 0
    activate_window "$dialog" || return 1
    xdotool key ctrl+a
    xdotool type --delay 5 "$2"
    xdotool key Return
    wait_until 10 no_window "$1"
}

# Answers the open-file dialog with $1 by typing it into the name field.
answer_dialog() {
    wait_for_window "LOG-Datei" 60 >/dev/null || fail "the open-file dialog did not appear"
    wait_until 60 dialog_answered "LOG-Datei" "$1" || fail "the open-file dialog took no answer"
}

# The mean brightness (0 to 1) of a part of the main window's inner area.
brightness() { # x y width height
    import -window root -crop "$3x$4+$((left + $1))+$((top + $2))" +repage "$work/part.png"
    convert "$work/part.png" -colorspace Gray -format '%[fx:mean]' info:
}
# Whether the count label differs from $count_before.
count_changed() { [ "$(brightness 720 13 80 20)" != "$count_before" ]; }
# Whether the lower list is darker than $lower_before: rows are shown.
lower_list_filled() {
    awk -v a="$(brightness 12 470 900 110)" -v b="$lower_before" 'BEGIN { exit !(a < b - 0.005) }'
}
# Whether the upper list shows rows: its background and grid lines alone
# give at most two colours.
upper_list_filled() {
    import -window root -crop "900x100+$((left + 15))+$((top + 64))" +repage "$work/upper.png"
    [ "$(convert "$work/upper.png" -format %k info:)" -gt 2 ]
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

# Alt+F4 to the main window, asked again should the keyboard have gone to
# another window meanwhile; $1 names the case.
close_requested() {
    activate_window "$main" || return 1
    xdotool key alt+F4
    wait_for_exit "$viewer_pid" 5
}
close_viewer() {
    wait_until 30 close_requested || fail "the viewer did not end after Alt+F4 ($1)"
    [ "$exit_code" = 0 ] || fail "the viewer ended with exit code $exit_code ($1)"
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
place_main
wait_until 30 upper_list_filled || fail "the log's rows are not shown"

count_before=$(brightness 720 13 80 20)
lower_before=$(brightness 12 470 900 110)
# A find text: Ctrl+F selects the "?" in the find field, which the find
# replaces.
xdotool key ctrl+f
xdotool type --delay 20 "Flansch"
wait_until 20 count_changed || fail "the count label did not change after the find"
# A click on the third listed row: its copies fill the lower list.
xdotool mousemove --sync $((left + 150)) $((top + 45 + 30 + 20)) click 1
wait_until 20 lower_list_filled ||
    fail "the lower list shows no copies after the click ($lower_before -> $(brightness 12 470 900 110))"
wait_for_settled "$main" 10 || fail "the main window does not settle"
mkdir -p "$(dirname "$screenshot")"
import -window root -crop "950x600+$left+$top" +repage "$screenshot" ||
    fail "the screenshot could not be taken"

close_viewer "the log chosen"

# --- The dialog cancelled ----------------------------------------------------
start_viewer cancel
dialog=$(wait_for_window "LOG-Datei" 60) || fail "the open-file dialog did not appear again"
activate_window "$dialog" || fail "the open-file dialog cannot be activated"
xdotool key Escape
wait_for_exit "$viewer_pid" 20 || fail "the viewer did not end after Escape"
[ "$exit_code" = 0 ] || fail "the viewer ended with exit code $exit_code after Escape"
visible_window Quellkamp >/dev/null && fail "a main window opened although the dialog was cancelled"

# --- A file that cannot be opened --------------------------------------------
start_viewer missing
answer_dialog "${log_windows%\\*}\\fehlt.txt"
box=$(wait_for_window "Information" 20) || fail "no message for the missing file"
activate_window "$box" || fail "the message cannot be activated"
xdotool key Return
main=$(wait_for_window "Quellkamp" 20) || fail "no main window after the message"
close_viewer "after the message"

# --- A log on the command line ----------------------------------------------
# The name survives only through the wide command line.
named="$work/Prüfung Łódź 日本.txt"
cp "$examples/dubletten.txt" "$named"
start_viewer named "Z:$(tr / '\\' <<<"$named")"
main=$(wait_for_window "Quellkamp" 60) || fail "no main window for the log on the command line"
# At start-up a message or the dialog would come before the main window.
place_main
wait_until 30 upper_list_filled || fail "the log on the command line is not shown"
if visible_window "(Information|LOG-Datei)" >/dev/null; then
    fail "the log on the command line was not loaded without a dialog"
fi

# Exports the upper list through the button and the save dialog to $1 (a
# file in $work) and compares it with the lister's output for $2...
export_and_compare() {
    local file=$1
    shift
    "$wine_run" "$lister" "$@" "$examples/dubletten.txt" >"$work/expected" 2>/dev/null ||
        fail "the lister failed for $*"
    activate_window "$main" || fail "the main window cannot be activated for the export"
    xdotool mousemove --sync $((left + 540)) $((top + 20)) click 1
    wait_for_window "Export to..." 30 >/dev/null || fail "the save dialog did not appear"
    wait_until 60 dialog_answered "Export to\.\.\." "Z:$(tr / '\\' <<<"$work/$file")" ||
        fail "the save dialog took no answer"
    # Written whole once it equals the lister's output.
    wait_until 30 cmp -s "$work/$file" "$work/expected" ||
        fail "the export $file differs from the lister's $*: $(cmp "$work/$file" "$work/expected" 2>&1)"
}
export_and_compare export.csv --spreadsheet-csv
activate_window "$main" || fail "the main window cannot be activated for the find"
xdotool key ctrl+f
xdotool type --delay 20 "Flansch"
export_and_compare export.jsonl --find Flansch
close_viewer "command line"

# --- One line far longer than a cell shows -----------------------------------
# A name of 16 million characters: the row is drawn (cut, with an ellipsis),
# a click shows its copy below, and the window closes.
{
    printf 'D:\\A\\'
    head -c 16000000 /dev/zero | tr '\0' n
    printf '.par 1 01.01.2001 01:01 cad01\n'
} >"$work/long.txt"
start_viewer long "Z:$(tr / '\\' <<<"$work/long.txt")"
main=$(wait_for_window "Quellkamp" 60) || fail "no main window for the long line: $(cat "$work/viewer-long.log")"
place_main
wait_until 30 upper_list_filled || fail "the long line is not shown"
lower_before=$(brightness 12 470 900 110)
xdotool mousemove --sync $((left + 150)) $((top + 72)) click 1
wait_until 20 lower_list_filled || fail "a click on the long line showed no copy"
close_viewer "the long line"

echo "real window under Wine: 5 passed, 0 failed"
