#!/usr/bin/env bash
# Starts the real strip on an X server of its own and uses it as a person
# would: finds it, checks where it sits, copies the date line through the
# menu, opens and closes the about window, and ends the program.
# With `desktop`, the X server has a window manager (openbox, or the command
# in E2E_WM) in a D-Bus session, a panel across the top (lemonbar) and a
# window the user works in (xev), which keeps the keyboard through the
# strip's start, a workspace round trip, the menu's commands and the about
# window's close: the strip takes it only at a click into its line. The strip
# must show on every workspace, must follow a change of the system's time
# zone, must end a launch's busy cursor, and a second start must bring it
# forward instead of doubling it.
# Every wait is for something the X server or the strip says: a property's
# change, a window's map, the clipboard's contents.
# usage: [E2E_WM=COMMAND] e2e.sh VELMORA CONVERT_DATE LOCALE TIMEZONE [desktop]
set -euo pipefail
velmora=$1 convert_date=$2 desktop=${5:-}
export LC_ALL=$3 LANG=$3 TZ=$4
unset WAYLAND_DISPLAY QT_QPA_PLATFORM XDG_SESSION_TYPE
[ -n "$desktop" ] || unset DBUS_SESSION_BUS_ADDRESS  # a bare X server has no session bus
if [ "$3" != C ] && [ "$3" != C.UTF-8 ]; then
    locales=$(locale -a)
    grep -qix "${3%.UTF-8}.utf8" <<<"$locales" || { echo "SKIP: the locale $3 is not generated"; exit 77; }
fi
wm=${E2E_WM:-openbox}
context="$LC_ALL, $TZ${desktop:+, ${wm%% *}}"
source "$(dirname "$0")/common.sh"
needs Xvfb xdotool xprop xwininfo xclip
[ -z "$desktop" ] || needs "${wm%% *}" lemonbar wmctrl xev gdbus stdbuf

screen_width=1280 panel_height=32
app_pid= panel_pid=
x_server Xvfb -screen 0 ${screen_width}x800x24 -nolisten tcp || fail "Xvfb did not start"

top=0
if [ -n "$desktop" ]; then
    # The panel first, with its room asked for: the manager takes it in as it starts.
    panel $screen_width $panel_height
    panel_pid=${pids[-1]}
    top=$panel_height
    background $wm >/dev/null 2>&1
    until_property -root _NET_SUPPORTING_WM_CHECK present || fail "${wm%% *} did not start"
    until_property -root _NET_WORKAREA work_area_top "$top" || fail "the panel reserved no room: $(xprop -root _NET_WORKAREA)"
    # The window the user is typing in when the strip starts.
    background xev -name users-window -geometry 300x200+40+400 >/dev/null
    users_window=$(named_window users-window) || fail "no window for the user"
    until_property -root _NET_ACTIVE_WINDOW is_window "$users_window" || fail "the user's window got no focus"
    # The test's keyboard used once before the strip starts: at its first key
    # every client takes in the server's change of keyboard, the strip's wake
    # count below included.
    xdotool key Shift_L
    # The user's window has the keyboard, and keys typed now reach it, not
    # the line: the copies below show none of them.
    # (The manager names the active window before it gives it the keyboard.)
    has_keyboard() { [ "$(xdotool getwindowfocus)" = "$1" ]; }
    users_keyboard() {
        until_property -root _NET_ACTIVE_WINDOW is_window "$users_window" || fail "$1, $(active_window) is active, not the user's window"
        wait_for has_keyboard "$users_window" || fail "$1, the keyboard is with $(xdotool getwindowfocus)"
        xdotool type ls
    }
    # The system's zone as a file of the test's own, swapped as a zone change
    # swaps /etc/localtime; in a folder of its own as that is, for the strip
    # watches the folder's parent too: /tmp, where tests run beside this one
    # make their files, would wake it.
    mkdir "$work/etc"
    ln -s "/usr/share/zoneinfo/$TZ" "$work/etc/localtime"
    export TZ=:$work/etc/localtime
fi

expected=$(today_line)  # taken before the start, in case midnight passes during the run

visible_windows() { { xdotool search --onlyvisible --classname '^velmora$' 2>/dev/null || true; } | sort; }
window_count_is() { [ "$(visible_windows | wc -l)" -eq "$1" ]; }
start_x11_strip
strip_left=$((screen_width - 200))
strip_at() { [ "$(geometry "$strip")" = "$strip_left $1 129 19" ]; }
wait_for strip_at $((top + 3)) || fail "strip at $(geometry "$strip"), work area top $top"
if [ -n "$desktop" ]; then
    # Placed, so managed: the manager has made its choice of focus. Keys
    # meant for the user's window stay there: the copied line below shows none of them.
    [ "$(active_window)" -eq "$users_window" ] || fail "the strip took the focus at its start"
    users_keyboard "at the start"
    # Other windows' doings do not wake the strip: the user's window renames
    # itself, as terminals and browsers do while the user works.
    switches() { cat /proc/"$app_pid"/task/*/status | awk '/^voluntary_ctxt_switches/ {n += $2} END {print n}'; }
    before=$(switches)
    for i in $(seq 200); do xprop -id "$users_window" -set WM_NAME "users-window $i"; done
    [ $(($(switches) - before)) -lt 20 ] || fail "the strip woke $(($(switches) - before)) times while another window renamed itself 200 times"
    # Two workspaces at least (kwin starts with one); the strip is on the new
    # one too, where the manager finds nothing to focus, and is left out
    # when it gives the keyboard back on the first.
    two_workspaces() { [ "${1:-0}" -ge 2 ]; }
    until_property -root _NET_NUMBER_OF_DESKTOPS two_workspaces || wmctrl -n 2
    until_property -root _NET_NUMBER_OF_DESKTOPS two_workspaces || fail "no second workspace"
    viewable() { [[ "$(xwininfo -id "$strip")" == *IsViewable* ]]; }
    # The second's work area lower down, as a manager may publish it (mutter
    # publishes its own at once): the strip moves there, and back.
    second_top=$top
    [ "${wm%% *}" = mutter ] || second_top=60
    xprop -root -f _NET_WORKAREA 32c -set _NET_WORKAREA "0,$top,$screen_width,$((800 - top)),0,$second_top,$screen_width,740"
    for workspace in 1 0; do
        wmctrl -s $workspace
        until_property -root _NET_CURRENT_DESKTOP is $workspace || fail "no switch to workspace $((workspace + 1))"
        wait_for viewable || fail "no strip on workspace $((workspace + 1))"
        wait_for strip_at $((3 + (workspace ? second_top : top))) || fail "on workspace $((workspace + 1)) the strip is at $(geometry "$strip")"
    done
    users_keyboard "after a workspace round trip"
fi

# A font set without an Arabic-script face is named on stderr; any other is not.
if [ -n "$(fc-list :lang=ar family)" ]; then
    ! grep -q 'fonts-noto-ui-core' "$work/stderr" || fail "a font warning with Arabic fonts present"
else
    wait_for grep -q 'fonts-noto-ui-core' "$work/stderr" || fail "no warning about the missing Arabic font"
fi

# Opens the menu with a press of the given mouse button on ">", then types keys into it.
menu() {
    local button=$1 shown; shift
    shown=$(visible_windows)
    xdotool mousemove $((strip_left + 120)) $((top + 12)) mousedown "$button"
    new_window() { [ -n "$(comm -13 <(echo "$shown") <(visible_windows))" ]; }
    wait_for new_window || fail "no menu after pressing button $button ($step); shown before: $(echo $shown), now: $(echo $(visible_windows)), pointer: $(xdotool getmouselocation)"
    xdotool mouseup "$button" key "$@"
}
typed=
clipboard_has_line() { [[ "$(xclip -o -selection clipboard)" == @("$expected$typed"|"$(today_line)$typed") ]]; }
# Copies the line through the menu and checks it.
copied_line_is_expected() {
    step=$1
    menu 3 c
    wait_for clipboard_has_line || fail "$1: the line is '$(xclip -o -selection clipboard 2>&1)', not '$expected$typed'"
}

copied_line_is_expected "at the start"
[ -z "$desktop" ] || users_keyboard "after the copy"

step="about"
menu 1 Down Down Return
about=$(named_window about) || fail "no about window"
about_left=$((screen_width - 260))
about_at() {
    local x y w h left above
    read -r x y w h <<<"$(geometry "$about")"
    read -r left above <<<"$(frame "$about")"
    # 33 px below the work area's top, or lower where a manager keeps a taller title bar inside it.
    [ "$((x - left)) $y $w $h" = "$about_left $((top + (above > 33 ? above : 33))) 223 240" ]
}
wait_for about_at || fail "about window at $(geometry "$about"), frame $(xprop -id "$about" _NET_FRAME_EXTENTS)"
# Above the other, in the manager's stacking order (bottom first).
stacking() { tr -d , <<<"$1" | tr ' ' '\n' | xargs -n1 printf '%d\n'; }
above() { stacking "$3" | awk -v a="$1" -v b="$2" '$1 == a {i = NR} $1 == b {j = NR} END {exit !(i > j)}'; }
[ -z "$desktop" ] || until_property -root _NET_CLIENT_LIST_STACKING above "$about" "$strip" \
    || fail "the about window, active, is under the strip"
about_closed() { [[ "$(xwininfo -id "$about" 2>&1)" != *IsViewable* ]]; }
if [ -n "$desktop" ]; then
    wmctrl -i -c "$about"
    wait_for about_closed || fail "the window manager's close left the about window open"
    users_keyboard "after the about window closed"
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
    # One click into the line lets the user edit it; the copy takes the edit.
    xdotool mousemove $((strip_left + 60)) $((top + 12)) click 1
    wait_for has_keyboard "$strip" || fail "a click into the line did not give it the keyboard"
    xdotool key End type x
    typed=x
    copied_line_is_expected "after an edit"
    # The edit undone, the line is the strip's again: when the system's zone
    # changes, it shows the new zone's date. The strip takes in the change
    # before it takes in the press on ">".
    xdotool key End BackSpace
    typed=
    ln -s "/usr/share/zoneinfo/Etc/GMT-14" "$work/etc/new-zone"
    mv -T "$work/etc/new-zone" "$work/etc/localtime"
    expected=$(today_line)
    copied_line_is_expected "after the edit was undone and the zone changed"
    # A click into the user's window gives it the keyboard back.
    xdotool mousemove 100 500 click 1
    users_keyboard "after a click into it"

    # A second start's call with a launcher's startup id: the strip ends the
    # launch's busy cursor with one startup message to the root.
    background stdbuf -oL xev -root -event property >"$work/root-events"
    mark() { xprop -root -f _VELMORA_E2E_MARK 8s -set _VELMORA_E2E_MARK "$1"; }
    marks_seen() { [ "$(grep -c _VELMORA_E2E_MARK "$work/root-events")" -ge "$1" ]; }
    listening() { mark listening; marks_seen 1; }
    wait_for listening || fail "the root window's listener heard nothing"
    heard=$(grep -c _VELMORA_E2E_MARK "$work/root-events")
    gdbus call --session --dest "$VELMORA_APP_ID" --object-path "/${VELMORA_APP_ID//.//}" \
        --method org.freedesktop.Application.Activate "{'desktop-startup-id': <'e2e-launch_TIME0'>}" >/dev/null \
        || fail "the call with a startup id got no answer"
    # The strip maps its menu after it sent its startup messages, and the
    # mark is set after that: all of them have reached the root's listener.
    copied_line_is_expected "after the call on the bus"
    mark done
    wait_for marks_seen $((heard + 1)) || fail "the mark on the root window was not seen"
    [ "$(grep -c '(_NET_STARTUP_INFO_BEGIN)' "$work/root-events")" -eq 1 ] \
        || fail "$(grep -c '(_NET_STARTUP_INFO_BEGIN)' "$work/root-events") startup messages begun, for one id"

    # Moved to the first workspace only, and covered by a window on the
    # second: a second start brings it forward there, on every workspace again.
    wmctrl -i -r "$strip" -t 0
    until_property "$strip" _NET_WM_DESKTOP is 0 || fail "the strip was not moved to the first workspace"
    wmctrl -s 1
    until_property -root _NET_CURRENT_DESKTOP is 1 || fail "no switch to workspace 2"
    background xev -name cover -geometry ${screen_width}x800+0+0 >/dev/null
    cover=$(named_window cover) || fail "no covering window"
    until_property -root _NET_ACTIVE_WINDOW is_window "$cover" || fail "the covering window got no focus"
    timeout 10 "$velmora" 2>>"$work/stderr" || fail "a second start ended with status $?"
    window_count_is 1 || fail "$(visible_windows | wc -l) strips after a second start"
    until_property "$strip" _NET_WM_DESKTOP is 4294967295 || fail "a second start left the strip on one workspace"
    until_property -root _NET_ACTIVE_WINDOW is_window "$strip" || fail "a second start did not activate the strip"
    until_property -root _NET_CLIENT_LIST_STACKING above "$strip" "$cover" \
        || fail "a second start left the strip under the covering window"
    [ "$(root_property _NET_CURRENT_DESKTOP)" = 1 ] || fail "a second start took the user to another workspace"

    # Without the panel the work area grows, and the strip follows it up.
    # (lemonbar heeds SIGTERM only at its next event.)
    kill -KILL "$panel_pid"
    until_property -root _NET_WORKAREA work_area_top 0 || fail "the panel's room was not given back: $(xprop -root _NET_WORKAREA)"
    wait_for strip_at 3 || fail "strip at $(geometry "$strip") after the panel left"
    wmctrl -i -c "$strip"
    ended_with_0

    # Once it has ended, a start shows a strip again.
    start_x11_strip " at a start after the exit"
    wmctrl -i -c "$strip"
else
    step="exit"
    menu 2 Down Down Down Return
fi
ended_with_0
echo "ok ($context): $expected$typed"
