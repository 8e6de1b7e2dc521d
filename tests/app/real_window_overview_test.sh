#!/usr/bin/env bash
# The overview window in a real window: under Xvfb with a window manager,
# Ctrl+D in the main window opens "Übersicht", a click on a column heading
# sorts the names, a click on a name fills the main window's lower list with
# its copies, Escape closes the overview and the viewer goes on. Takes the
# screenshot of the overview at 96 DPI, and one at 144 DPI to look at.
# With WINE_RUN, VIEWER is quellkamp.exe, run under Wine with real input.
#
#   real_window_overview_test.sh VIEWER EXAMPLES_DIR SCREENSHOT [WINE_RUN]
set -euo pipefail

viewer=$1
examples=$2
screenshot=$3
wine_run=${4:-}
log="$examples/dubletten.txt"
if [ -n "$wine_run" ]; then
    # Wine maps the Unix root to drive Z:.
    log="Z:$(realpath "$log" | tr / '\\')"
fi

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
# Room for the window at 144 DPI.
QK_SCREEN=2048x1536x24 start_display

# Sets left and top to the inner area's corner of window $1, and scale to the
# inner width over $2 (the width at 96 DPI), in hundredths.
place_of() {
    local geometry
    geometry=$(xwininfo -id "$1")
    left=$(awk '/Absolute upper-left X:/ {print $4}' <<<"$geometry")
    top=$(awk '/Absolute upper-left Y:/ {print $4}' <<<"$geometry")
    width=$(awk '/Width:/ {print $2}' <<<"$geometry")
    scale=$((width * 100 / $2))
}

# The number of colours in a part of the screen: x y width height (pixels at
# 96 DPI inside window at left/top, scaled).
colours_at() {
    import -window root -crop "$(($3 * scale / 100))x$(($4 * scale / 100))+$((left + $1 * scale / 100))+$((top + $2 * scale / 100))" +repage "$work/part.png"
    convert "$work/part.png" -format %k info:
}

# Checksum of a part of the screen, as colours_at.
checksum_at() {
    import -window root -crop "$(($3 * scale / 100))x$(($4 * scale / 100))+$((left + $1 * scale / 100))+$((top + $2 * scale / 100))" +repage "$work/part.png"
    md5sum <"$work/part.png" | cut -d' ' -f1
}

lower_list_filled() { [ "$(colours_at 15 478 900 100)" -gt 2 ]; }
pair_files_shown() { [ "$(colours_at 12 396 850 40)" -gt 2 ]; }
group_list_changed() { [ "$(checksum_at 12 90 556 200)" != "$before" ]; }

# One run with the display scaled by $1 (1 or 1.5); the screenshot goes to $2.
run_overview() {
    if [ -n "$wine_run" ]; then
        local dpi
        dpi=$(awk -v f="$1" 'BEGIN { print int(96 * f) }')
        (cd "$examples" && QK_WINE_DPI=$dpi exec "$wine_run" "$viewer" "$log") \
            >"$work/viewer.log" 2>&1 &
    else
        (cd "$examples" && QT_SCALE_FACTOR=$1 exec "$viewer" -- "$log") >"$work/viewer.log" 2>&1 &
    fi
    viewer_pid=$!
    pids+=($viewer_pid)
    main=$(wait_for_window "Quellkamp" 90) || fail "the main window did not appear: $(cat "$work/viewer.log")"
    activate_window "$main" || fail "the main window cannot be activated ($1)"
    # A click into the lower list (empty) gives the window the keyboard;
    # Ctrl+D again while none shows (asking again only brings it to front).
    place_of "$main" 950
    xdotool mousemove $((left + 400 * scale / 100)) $((top + 560 * scale / 100)) click 1
    overview=""
    for _ in $(seq 15); do
        xdotool key ctrl+d
        overview=$(wait_for_window "Übersicht" 2) && break
    done
    [ -n "$overview" ] || fail "Ctrl+D opened no overview ($1)"
    activate_window "$overview" || fail "the overview cannot be activated ($1)"
    place_of "$overview" 1180
    wait_until 10 test "$(colours_at 12 90 556 200)" -gt 2 || fail "the names list is empty ($1)"
    # A click on the heading "Name" orders the names by it.
    before=$(checksum_at 12 90 556 200)
    xdotool mousemove $((left + 60 * scale / 100)) $((top + 80 * scale / 100)) click 1
    wait_until 10 group_list_changed || fail "a click on the heading sorted nothing ($1)"
    # A click on the first name: the main window's lower list shows its copies.
    xdotool mousemove $((left + 60 * scale / 100)) $((top + 98 * scale / 100)) click 1
    # A click on the first folder pair shows its shared files.
    xdotool mousemove $((left + 640 * scale / 100)) $((top + 98 * scale / 100)) click 1
    wait_until 10 pair_files_shown || fail "a click on a folder pair showed no files ($1)"
    wait_for_settled "$overview" 10 || fail "the overview does not settle ($1)"
    import -window root -crop "$((1180 * scale / 100))x$((560 * scale / 100))+$left+$top" \
        +repage "$2" || fail "the screenshot of the overview could not be taken"
    activate_window "$main" || fail "the main window cannot be activated again ($1)"
    place_of "$main" 950
    wait_until 10 lower_list_filled || fail "the click on a name left the lower list empty ($1)"
    # Escape closes the overview; the viewer goes on.
    activate_window "$overview" || fail "the overview cannot be activated again ($1)"
    xdotool key Escape
    wait_for_no_window Übersicht 10 || fail "Escape left the overview open ($1)"
    kill -0 "$viewer_pid" 2>/dev/null || fail "closing the overview ended the viewer ($1)"
    activate_window "$main" || fail "the main window cannot be activated at the end ($1)"
    xdotool key alt+F4
    wait_for_exit "$viewer_pid" 30 || fail "the viewer did not end after the close request ($1)"
    [ "$exit_code" = 0 ] || fail "the viewer ended with exit code $exit_code ($1)"
}
mkdir -p "$(dirname "$screenshot")"
run_overview 1 "$screenshot"
run_overview 1.5 "${OVERVIEW_144DPI_SHOT:-$work/overview-144.png}"
echo "real window overview: 2 passed, 0 failed"
