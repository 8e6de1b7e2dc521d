#!/usr/bin/env bash
# The viewer's command line without a display: --help and --version answer
# and exit 0, bad arguments give one line and the usage and exit 2.
#
#   command_line_test.sh VERSION [RUNNER] VIEWER
#
# With a RUNNER (scripts/wine-run) the viewer is a Windows window program:
# its text reaches the redirected handles all the same, with CR LF line ends.
set -uo pipefail

version=$1
viewer=("${@:2}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# check STATUS STDOUT_FIRST_LINE STDERR_FIRST_LINE ARGS...
check() {
    local status=$1 out=$2 err=$3
    shift 3
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "${viewer[@]}" "$@" \
        >"$work/raw-out" 2>"$work/raw-err" </dev/null
    local got=$?
    tr -d '\r' <"$work/raw-out" >"$work/out"
    tr -d '\r' <"$work/raw-err" >"$work/err"
    local got_out got_err
    got_out=$(head -n 1 "$work/out")
    got_err=$(head -n 1 "$work/err")
    if [ "$got" != "$status" ] || [ "$got_out" != "$out" ] || [ "$got_err" != "$err" ]; then
        echo "FAIL: quellkamp $*: status $got, out '$got_out', err '$got_err'" >&2
        failures=$((failures + 1))
    fi
    # A bad argument's line is followed by the usage, and nothing else.
    if [ "$status" = 2 ] && ! sed -n 2p "$work/err" | grep -q '^usage: quellkamp \[LOG\]$'; then
        echo "FAIL: quellkamp $*: no usage after the error line" >&2
        failures=$((failures + 1))
    fi
}

usage="usage: quellkamp [LOG]"
check 0 "quellkamp $version" "" --version
check 0 "quellkamp $version" "" --version --frobnicate
check 0 "quellkamp $version" "" some.txt --version
check 0 "$usage" "" --help
check 0 "$usage" "" -h
check 2 "" "quellkamp: unknown option '--frobnicate'" --frobnicate --version
check 2 "" "quellkamp: unknown option '-x'" -x
check 2 "" "quellkamp: more than one LOG given" a.txt b.txt
check 2 "" "quellkamp: empty LOG path" ""
# After "--" an option's name is a log's; without a display the viewer stops
# (on X11; a Windows program always has its desktop).
[ "${#viewer[@]}" -gt 1 ] ||
    check 1 "" "quellkamp: no display to open the window on (DISPLAY is not set)" -- --version

[ "$failures" = 0 ] || exit 1
echo "command line: ok"
