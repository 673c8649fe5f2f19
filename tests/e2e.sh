#!/usr/bin/env bash
# Starts the real strip on an X server of its own and uses it as a person
# would: finds it, checks where it sits, copies the date line through the
# menu, opens and closes the about window, and exits from the menu.
# usage: e2e.sh VELMORA CONVERT_DATE LOCALE TIMEZONE
set -euo pipefail
velmora=$1 convert_date=$2
export LC_ALL=$3 LANG=$3 TZ=$4
unset WAYLAND_DISPLAY QT_QPA_PLATFORM XDG_SESSION_TYPE

screen_width=1280
work=$(mktemp -d)
xvfb_pid= app_pid=
cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

fail() { echo "FAIL ($LC_ALL, $TZ): $*" >&2; exit 1; }

# Polls a command for up to 10 s.
wait_for() {
    local i
    for i in $(seq 100); do
        "$@" >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    return 1
}

Xvfb -displayfd 3 -screen 0 ${screen_width}x800x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb_pid=$!
wait_for test -s "$work/display" || fail "Xvfb did not start"
export DISPLAY=:$(cat "$work/display")

today_line() { echo "امروز: $("$convert_date" "$(date +%-m/%-d/%Y)")"; }
expected=$(today_line)  # taken before the start, in case midnight passes during the run
"$velmora" 2>"$work/stderr" &
app_pid=$!

visible_windows() { xdotool search --onlyvisible --classname '^velmora$' 2>/dev/null | wc -l; }
window_count_is() { [ "$(visible_windows)" -eq "$1" ]; }
find_window() { xdotool search --onlyvisible --name "^$1\$" | head -n 1; }
geometry() { xwininfo -id "$1" | awk '/Absolute upper-left X/{x=$NF} /Absolute upper-left Y/{y=$NF}
                                       /Width/{w=$NF} /Height/{h=$NF} END{print x, y, w, h}'; }

wait_for find_window Velmora || fail "no strip window"
strip=$(find_window Velmora)
strip_left=$((screen_width - 200))
[ "$(geometry "$strip")" = "$strip_left 3 129 19" ] || fail "strip at $(geometry "$strip")"

# Opens the menu with a press of the given mouse button on ">", then types keys into it.
menu() {
    local button=$1; shift
    local before
    before=$(visible_windows)
    xdotool mousemove $((strip_left + 120)) 12 mousedown "$button"
    wait_for window_count_is $((before + 1)) || fail "no menu after pressing button $button"
    xdotool mouseup "$button" key "$@"
}

menu 3 c
clipboard_has_line() {
    local line
    line=$(xclip -o -selection clipboard)
    [ "$line" = "$expected" ] || [ "$line" = "$(today_line)" ]
}
wait_for clipboard_has_line || fail "clipboard holds '$(xclip -o -selection clipboard 2>&1)', expected '$expected'"

menu 1 Down Down Return
wait_for find_window about || fail "no about window"
about=$(find_window about)
about_left=$((screen_width - 260))
[ "$(geometry "$about")" = "$about_left 33 223 240" ] || fail "about window at $(geometry "$about")"
xdotool mousemove $((about_left + 120)) $((33 + 220)) click 1
about_closed() { [ -z "$(find_window about)" ]; }
wait_for about_closed || fail "the about window's Exit left it open"
kill -0 "$app_pid" || fail "closing the about window ended the program"

menu 2 Down Down Down Return
status=0
wait "$app_pid" || status=$?
app_pid=
[ "$status" -eq 0 ] || fail "exit status $status: $(cat "$work/stderr")"
echo "ok ($LC_ALL, $TZ): $expected"
