# A fresh X display with a window manager, for the test scripts that source
# this file, and the waits they share. The script keeps `work` (its scratch
# folder) and `pids` (the processes its clean-up ends); its `fail`, if it has
# one, reports a display that does not start.
#
#   start_display   # exports DISPLAY=:N, a display number Xvfb found free,
#                   # once the window manager runs
#   (QK_SCREEN=WxHxD asks for another screen than 1280x1024x24)
#
# Every wait asks for its condition again and again until a deadline in
# seconds, however slow a busy machine makes each try; none waits a fixed
# time.

# Runs the command $2... until it succeeds, for up to $1 seconds; false if it
# never did.
wait_until() {
    local deadline=$((SECONDS + $1))
    shift
    while :; do
        "$@" && return 0
        [ "$SECONDS" -lt "$deadline" ] || return 1
        sleep 0.05
    done
}

# Prints the id of a visible window named exactly $1 (of process $2 if
# given); false when there is none.
visible_window() {
    local id
    id=$(xdotool search --all --onlyvisible ${2:+--pid "$2"} --name "^$1\$" 2>/dev/null |
        head -n 1 || true)
    [ -n "$id" ] && echo "$id"
}

# Waits up to $2 seconds for a visible window named exactly $1 (of process
# $3 if given); prints its id.
wait_for_window() {
    wait_until "$2" visible_window "$1" ${3:+"$3"}
}

no_window() { ! visible_window "$1" >/dev/null; }

# Waits up to $2 seconds until no visible window is named exactly $1.
wait_for_no_window() {
    wait_until "$2" no_window "$1"
}

# Whether window $1 is no longer shown (hidden or destroyed).
window_gone() { ! xwininfo -id "$1" 2>/dev/null | grep -q IsViewable; }

# Presses Return in the dialog window $1 unless it is gone; true once it is.
return_closes() {
    window_gone "$1" && return 0
    xdotool key Return
    wait_until 5 window_gone "$1"
}

# Types the path $2 into the open-file dialog window $1 and presses Return
# until the dialog is gone, for up to 30 seconds: on a busy machine the name
# field's completion list may open while the path is typed, and a Return
# then only closes the list.
choose_file() {
    xdotool type --delay 5 "$2"
    wait_until 30 return_closes "$1"
}

window_active() {
    xdotool windowactivate "$1" 2>/dev/null || true
    [ "$(xdotool getactivewindow 2>/dev/null)" = "$1" ]
}

# Gives window $1 the keyboard: asks the window manager until it reports the
# window active, for up to 10 seconds.
activate_window() {
    wait_until 10 window_active "$1"
}

# Whether window $1 looks as it did when last asked (by this function): a
# capture that equals the one before.
window_settled() {
    import -window "$1" "$work/settled.png" 2>/dev/null || return 1
    local now
    now=$(md5sum <"$work/settled.png")
    [ "$now" = "${settled_capture:-}" ] && return 0
    settled_capture=$now
    return 1
}

# Waits up to $2 seconds until window $1 has been painted: two captures in a
# row are the same.
wait_for_settled() {
    settled_capture=""
    wait_until "$2" window_settled "$1"
}

process_ended() { ! kill -0 "$1" 2>/dev/null; }

# Waits up to $2 seconds for process $1, a child of this shell, to end and
# sets exit_code to its exit code.
wait_for_exit() {
    wait_until "$2" process_ended "$1" || return 1
    exit_code=0
    wait "$1" || exit_code=$?
}

display_answers() { xdpyinfo >/dev/null 2>&1; }
window_manager_runs() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }

start_display() {
    # Xvfb picks a free display itself (-displayfd), so that two tests
    # starting at once never race for the same number. Without -noreset it
    # starts over when its last client leaves, and a client that connects
    # meanwhile (the window manager, right after the first look) is refused.
    local number=""
    Xvfb -displayfd 3 -noreset -screen 0 "${QK_SCREEN:-1280x1024x24}" -nolisten tcp 3>"$work/display-number" \
        >"$work/xvfb.log" 2>&1 &
    pids+=($!)
    local xvfb=$!
    display_number_known() {
        number=$(head -n 1 "$work/display-number" 2>/dev/null || true)
        [ -n "$number" ] || process_ended "$xvfb"
    }
    wait_until 30 display_number_known || true
    export DISPLAY=":$number"
    if [ -z "$number" ] || ! wait_until 30 display_answers; then
        local message="Xvfb did not start: $(cat "$work/xvfb.log")"
        if declare -F fail >/dev/null; then fail "$message"; fi
        echo "$message" >&2
        exit 1
    fi
    openbox >"$work/openbox.log" 2>&1 &
    pids+=($!)
    # A window mapped before the window manager runs is never managed:
    # activation and Alt+F4 would not reach it.
    if ! wait_until 30 window_manager_runs; then
        local message="the window manager did not start: $(cat "$work/openbox.log")"
        if declare -F fail >/dev/null; then fail "$message"; fi
        echo "$message" >&2
        exit 1
    fi
}
