#!/usr/bin/env bash
# The viewer's controls as a screen reader sees them: under Xvfb, on a
# session bus of the test's own with the accessibility bus started on it,
# open a log, find and click a row, then read the window over AT-SPI: every
# control's role and name, and the text of the selected row. Every step
# waits for what it needs, never for a fixed time.
#
#   accessibility_test.sh VIEWER EXAMPLES_DIR
set -euo pipefail

if [ -z "${QK_A11Y_SESSION:-}" ]; then
    export QK_A11Y_SESSION=1
    exec dbus-run-session -- "$0" "$@"
fi

viewer=$1
examples=$2
log="$examples/dubletten.txt"
python=/usr/bin/python3 # Debian's, which has pyatspi

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
/usr/libexec/at-spi-bus-launcher --launch-immediately >"$work/atspi.log" 2>&1 &
pids+=($!)
# The viewer finds the accessibility bus through the session bus.
atspi_bus_up() {
    dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner string:org.a11y.Bus 2>/dev/null | grep -q 'boolean true'
}
wait_until 30 atspi_bus_up || fail "the accessibility bus did not start: $(cat "$work/atspi.log")"

# The number of colours in the rows of the lower list: its background and
# grid lines alone give at most two.
lower_list_filled() {
    import -window root -crop "900x100+$((left + 15))+$((top + 478))" +repage "$work/lower.png"
    [ "$(convert "$work/lower.png" -format %k info:)" -gt 2 ]
}

(cd "$examples" && QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 exec "$viewer") >"$work/viewer.log" 2>&1 &
viewer_pid=$!
pids+=($viewer_pid)
dialog=$(wait_for_window "LOG-Datei" 20) || fail "the open-file dialog did not appear"
activate_window "$dialog" || fail "the open-file dialog cannot be activated"
choose_file "$dialog" "$log" || fail "the open-file dialog did not take the log"
main=$(wait_for_window "Quellkamp" 20) || fail "the main window did not appear"
geometry=$(xwininfo -id "$main")
left=$(awk '/Absolute upper-left X:/ {print $4}' <<<"$geometry")
top=$(awk '/Absolute upper-left Y:/ {print $4}' <<<"$geometry")
activate_window "$main" || fail "the main window cannot be activated"
# Ctrl+F selects the find field's text, which the find replaces; the click
# lands on the list the find produced.
xdotool key ctrl+f
xdotool type --delay 20 "Flansch"
xdotool mousemove --sync $((left + 150)) $((top + 45 + 30 + 20)) click 1
wait_until 30 lower_list_filled || fail "the click on a found row left the lower list empty"

# The accessibility bridge may still be on its way: the check is asked again
# until it holds, for up to thirty seconds.
cat >"$work/check.py" <<'PYTHON'
import os
import sys

import pyatspi

app_name = os.path.basename(sys.argv[1])
desktop = pyatspi.Registry.getDesktop(0)
apps = [a for a in desktop if a is not None and a.name == app_name]
if not apps:
    sys.exit("no application %r on the accessibility bus: %r" % (app_name, [a.name for a in desktop if a]))
frames = [f for f in apps[0] if f is not None and f.name == "Quellkamp"]
if not frames:
    sys.exit("no window Quellkamp")

controls = []
def walk(node, depth):
    for child in node:
        if child is None:
            continue
        role = child.getRoleName()
        controls.append((role, child.name, child))
        if role not in ("table", "table cell") and depth < 3:
            walk(child, depth + 1)
walk(frames[0], 0)
seen = {(role, name) for role, name, _ in controls}

expected = [("table", "Sätze"), ("table", "Kopien"), ("push button", "Export to..."),
            ("text", "Find"), ("label", "Sort by..."), ("label", "Find")]
expected += [("radio button", text) for text in ("Pfad", "Name", "Byte", "Datum", "Zeit", "User")]
missing = [e for e in expected if e not in seen]
if missing:
    sys.exit("missing %r among %r" % (missing, sorted(seen)))

table = next(node for role, name, node in controls if role == "table" and name == "Sätze")
cells = table.queryTable()
rows = cells.getSelectedRows()
if len(rows) != 1:
    sys.exit("selected rows %r" % (rows,))
row = [cells.getAccessibleAt(rows[0], column).name for column in range(6)]
if "Flansch" not in row[1] or not row[0].endswith("\\") or row[2].strip() == "":
    sys.exit("the selected row reads %r" % (row,))
print("selected row:", row)
PYTHON
announced() { "$python" "$work/check.py" "$viewer" >"$work/check.log" 2>&1; }
announced_ok=true
wait_until 30 announced || announced_ok=false
cat "$work/check.log"
[ "$announced_ok" = true ] || fail "the controls are not announced as they should be"

activate_window "$main" || fail "the main window cannot be activated again"
xdotool key alt+F4
wait_for_exit "$viewer_pid" 30 || fail "the viewer did not end after the close request"
[ "$exit_code" = 0 ] || fail "the viewer ended with exit code $exit_code"
echo "accessibility: passed"
