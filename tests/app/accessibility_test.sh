#!/usr/bin/env bash
# The viewer's controls as a screen reader sees them: under Xvfb, on a
# session bus of the test's own with the accessibility bus started on it,
# open a log, find and click a row, then read the window over AT-SPI: every
# control's role and name, and the text of the selected row.
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
sleep 1

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

(cd "$examples" && QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 exec "$viewer") >"$work/viewer.log" 2>&1 &
viewer_pid=$!
pids+=($viewer_pid)
dialog=$(wait_for_window "LOG-Datei" 20) || fail "the open-file dialog did not appear"
xdotool windowactivate --sync "$dialog" 2>/dev/null || true
sleep 0.5
xdotool type --delay 5 "$log"
xdotool key Return
main=$(wait_for_window "Quellkamp" 20) || fail "the main window did not appear"
geometry=$(xwininfo -id "$main")
left=$(awk '/Absolute upper-left X:/ {print $4}' <<<"$geometry")
top=$(awk '/Absolute upper-left Y:/ {print $4}' <<<"$geometry")
xdotool windowactivate --sync "$main" 2>/dev/null || true
sleep 0.5
xdotool mousemove $((left + 900)) $((top + 22)) click --repeat 3 1
sleep 0.2
xdotool type --delay 20 "Flansch"
sleep 0.5
xdotool mousemove $((left + 150)) $((top + 45 + 30 + 20)) click 1
sleep 1

# On a busy machine the find and the click may still be on their way: the
# check is asked again for up to fifteen seconds before it counts as failed.
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
announced=false
for _ in $(seq 15); do
    if "$python" "$work/check.py" "$viewer" >"$work/check.log" 2>&1; then
        announced=true
        break
    fi
    sleep 1
done
cat "$work/check.log"
[ "$announced" = true ] || fail "the controls are not announced as they should be"

xdotool windowactivate --sync "$main" 2>/dev/null || true
xdotool key alt+F4
for _ in $(seq 100); do kill -0 "$viewer_pid" 2>/dev/null || break; sleep 0.1; done
echo "accessibility: passed"
