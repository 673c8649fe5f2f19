#!/usr/bin/env bash
# Starts the real strip on an X server of its own and uses it as a person
# would: finds it, checks where it sits, copies the date line through the
# menu, opens and closes the about window, and ends the program.
# With `desktop`, the X server has a window manager (openbox, or the command
# in E2E_WM) in a D-Bus session, a panel across the top (lemonbar) and a
# window the user works in (xev): the strip must not take its keys, must show
# on every workspace, must follow a change of the system's time zone, and a
# second start must bring it forward instead of doubling it.
# usage: [E2E_WM=COMMAND] e2e.sh VELMORA CONVERT_DATE LOCALE TIMEZONE [desktop]
set -euo pipefail
velmora=$1 convert_date=$2 desktop=${5:-}
export LC_ALL=$3 LANG=$3 TZ=$4
unset WAYLAND_DISPLAY QT_QPA_PLATFORM XDG_SESSION_TYPE
[ -n "$desktop" ] || unset DBUS_SESSION_BUS_ADDRESS  # a bare X server has no session bus

screen_width=1280 panel_height=32
work=$(mktemp -d)
pids=() app_pid= panel_pid=
cleanup() {
    local pid
    for pid in $app_pid "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

wm=${E2E_WM:-openbox}
# Says what failed, and what the program said, if anything.
fail() {
    echo "FAIL ($LC_ALL, $TZ${desktop:+, ${wm%% *}}): $*" >&2
    sed 's/^/  velmora: /' "$work/stderr" >&2 2>/dev/null || true
    exit 1
}

# Runs a command in the background until the test ends.
background() { "$@" & pids+=($!); }
# Polls a command for up to 10 s.
wait_for() {
    local i
    for i in $(seq 100); do
        "$@" >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    return 1
}

background Xvfb -displayfd 3 -screen 0 ${screen_width}x800x24 -nolisten tcp 3>"$work/display" 2>/dev/null
wait_for test -s "$work/display" || fail "Xvfb did not start"
export DISPLAY=:$(cat "$work/display")

root_property() { xprop -root "$1" 2>/dev/null | sed 's/.*[=#] *//'; }
active_window() { printf '%d' "$(root_property _NET_ACTIVE_WINDOW | sed 's/,.*//')"; }
top=0
if [ -n "$desktop" ]; then
    background $wm >/dev/null 2>&1
    wait_for xprop -root -notype _NET_SUPPORTING_WM_CHECK || fail "${wm%% *} did not start"
    background lemonbar -p -g "${screen_width}x$panel_height+0+0" </dev/null
    panel_pid=$!
    top=$panel_height
    work_area_is() { [ "$(root_property _NET_WORKAREA | awk -F', ' '{print $2}')" = "$1" ]; }
    wait_for work_area_is "$top" || fail "the panel reserved no room: $(xprop -root _NET_WORKAREA)"
    # The window the user is typing in when the strip starts.
    background xev -geometry 300x200+40+400 >/dev/null
    has_focus() { [ "$(active_window)" -ne 0 ]; }
    wait_for has_focus || fail "the user's window got no focus"
    users_window=$(active_window)
    # The system's zone as a file of the test's own, swapped as a zone change swaps /etc/localtime.
    ln -s "/usr/share/zoneinfo/$TZ" "$work/localtime"
    export TZ=:$work/localtime
fi

today_line() { echo "امروز: $("$convert_date" "$(date +%-m/%-d/%Y)")"; }
expected=$(today_line)  # taken before the start, in case midnight passes during the run
"$velmora" 2>"$work/stderr" &
app_pid=$!

visible_windows() { { xdotool search --onlyvisible --classname '^velmora$' 2>/dev/null || true; } | sort; }
window_count_is() { [ "$(visible_windows | wc -l)" -eq "$1" ]; }
find_window() { xdotool search --onlyvisible --name "^$1\$" | sed -n 1p; }
geometry() { xwininfo -id "$1" | awk '/Absolute upper-left X/{x=$NF} /Absolute upper-left Y/{y=$NF}
                                       /Width/{w=$NF} /Height/{h=$NF} END{print x, y, w, h}'; }
# The width of the manager's frame left of a window and its height above it.
frame() { xprop -id "$1" _NET_FRAME_EXTENTS 2>/dev/null | awk -F'= ' '{split($2, e, ", "); print e[1] + 0, e[3] + 0}'; }

# Running, and not a zombie waiting to be reaped.
running() { [ -r "/proc/$app_pid/stat" ] && [ "$(cut -d' ' -f3 "/proc/$app_pid/stat")" != Z ]; }
wait_for find_window Velmora || fail "no strip window; the program is $(running && echo running || echo gone)"
strip=$(find_window Velmora)
strip_left=$((screen_width - 200))
strip_at() { [ "$(geometry "$strip")" = "$strip_left $1 129 19" ]; }
wait_for strip_at $((top + 3)) || fail "strip at $(geometry "$strip"), work area top $top"
if [ -n "$desktop" ]; then
    # Keys meant for the user's window stay there: the copied line below shows none of them.
    [ "$(active_window)" -eq "$users_window" ] || fail "the strip took the focus at its start"
    xdotool type ls
    # Two workspaces at least (kwin starts with one); the strip is on the new one too.
    two_workspaces() { [ "$(root_property _NET_NUMBER_OF_DESKTOPS)" -ge 2 ]; }
    two_workspaces || wmctrl -n 2
    wait_for two_workspaces || fail "no second workspace"
    for workspace in 1 0; do
        wmctrl -s $workspace
        on_workspace() { [ "$(root_property _NET_CURRENT_DESKTOP)" = "$1" ] && window_count_is 1; }
        wait_for on_workspace $workspace || fail "no strip on workspace $((workspace + 1))"
    done
fi

# A font set without an Arabic-script face is named on stderr; any other is not.
if [ -n "$(fc-list :lang=ar family)" ]; then
    ! grep -q 'fonts-noto-ui-core' "$work/stderr" || fail "a font warning with Arabic fonts present"
else
    wait_for grep -q 'fonts-noto-ui-core' "$work/stderr" || fail "no warning about the missing Arabic font"
fi

# Opens the menu with a press of the given mouse button on ">", then types keys into it.
menu() {
    local button=$1 count; shift
    count=$(visible_windows | wc -l)
    xdotool mousemove $((strip_left + 120)) $((top + 12)) mousedown "$button"
    wait_for window_count_is $((count + 1)) || fail "no menu after pressing button $button"
    xdotool mouseup "$button" key "$@"
}

menu 3 c
clipboard_has_line() { [[ "$(xclip -o -selection clipboard)" == @("$expected"|"$(today_line)") ]]; }
wait_for clipboard_has_line || fail "clipboard holds '$(xclip -o -selection clipboard 2>&1)', expected '$expected'"

menu 1 Down Down Return
wait_for find_window about || fail "no about window"
about=$(find_window about)
about_left=$((screen_width - 260))
about_at() {
    local x y w h left above
    read -r x y w h <<<"$(geometry "$about")"
    read -r left above <<<"$(frame "$about")"
    # 33 px below the work area's top, or lower where a manager keeps a taller title bar inside it.
    [ "$((x - left)) $y $w $h" = "$about_left $((top + (above > 33 ? above : 33))) 223 240" ]
}
wait_for about_at || fail "about window at $(geometry "$about"), frame $(xprop -id "$about" _NET_FRAME_EXTENTS)"
about_closed() { [ -z "$(find_window about)" ]; }
if [ -n "$desktop" ]; then
    wmctrl -i -c "$about"
    wait_for about_closed || fail "the window manager's close left the about window open"
else
    xdotool mousemove $((about_left + 120)) $((top + 33 + 220)) click 1
    wait_for about_closed || fail "the about window's Exit left it open"
fi
kill -0 "$app_pid" || fail "closing the about window ended the program"

ended_with_0() {
    wait_for eval '! running' || fail "the program is still running without its strip"
    local status=0
    wait "$app_pid" || status=$?
    app_pid=
    [ "$status" -eq 0 ] || fail "exit status $status: $(cat "$work/stderr")"
}

if [ -n "$desktop" ]; then
    # The system's zone changes: the line shows the new zone's date.
    ln -s "/usr/share/zoneinfo/Etc/GMT-14" "$work/new-zone"
    mv -T "$work/new-zone" "$work/localtime"
    expected=$(today_line)
    sleep 3
    menu 3 c
    wait_for clipboard_has_line || fail "after a zone change the line is '$(xclip -o -selection clipboard)', not '$expected'"

    # A click into the line gives it the keyboard.
    xdotool mousemove $((strip_left + 60)) $((top + 12)) click 1 key End type x
    expected="${expected}x"
    menu 3 c
    wait_for clipboard_has_line || fail "typed into after a click, the line is '$(xclip -o -selection clipboard)'"

    # Covered by the user's window, the strip comes forward at a second start.
    background xev -geometry ${screen_width}x800+0+0 >/dev/null
    covered() { [ "$(active_window)" -ne "$users_window" ] && [ "$(active_window)" -ne "$strip" ]; }
    wait_for covered || fail "the covering window got no focus"
    cover=$(active_window)
    stacking() { root_property _NET_CLIENT_LIST_STACKING | tr -d , | tr ' ' '\n' | xargs -n1 printf '%d\n'; }
    above() { stacking | awk -v a="$1" -v b="$2" '$1 == a {i = NR} $1 == b {j = NR} END {exit !(i > j)}'; }
    timeout 10 "$velmora" 2>>"$work/stderr" || fail "a second start ended with status $?"
    window_count_is 1 || fail "$(visible_windows | wc -l) strips after a second start"
    wait_for above "$strip" "$cover" || fail "a second start left the strip under the covering window"

    # Without the panel the work area grows, and the strip follows it up.
    kill "$panel_pid"
    wait_for strip_at 3 || fail "strip at $(geometry "$strip") after the panel left"
    wmctrl -i -c "$strip"
    ended_with_0

    # Once it has ended, a start shows a strip again.
    "$velmora" 2>>"$work/stderr" &
    app_pid=$!
    wait_for find_window Velmora || fail "no strip at a start after the exit"
    wmctrl -i -c "$(find_window Velmora)"
else
    menu 2 Down Down Down Return
fi
ended_with_0
echo "ok ($LC_ALL, $TZ${desktop:+, ${wm%% *}}): $expected"
