#!/usr/bin/env bash
# Two monitors, as a docked laptop has them: a real X server with RandR
# outputs (Xorg's dummy driver), the primary on the left with a panel across
# its top (lemonbar), and openbox. Whatever starts first, the strip and the
# about window sit below the panel; the strip follows the panel's claim as it
# changes, and keeps its place on the primary as it is unplugged, plugged
# back and moved to the other monitor, ROUNDS times over, with no window
# manager too. Run it in a D-Bus session, as a desktop has; QT_SCALE_FACTOR,
# a whole number, scales the strip.
# usage: monitors.sh VELMORA ROUNDS
set -euo pipefail
velmora=$1 rounds=$2 scale=${QT_SCALE_FACTOR:-1}
context="set-up"
source "$(dirname "$0")/common.sh"
needs Xorg xrandr openbox lemonbar wmctrl xdotool xprop xwininfo
ls /usr/lib/xorg/modules/drivers/dummy_drv.so >/dev/null 2>&1 || { echo "SKIP: Xorg's dummy driver is not installed"; exit 77; }
unset WAYLAND_DISPLAY QT_QPA_PLATFORM XDG_SESSION_TYPE

cat >"$work/xorg.conf" <<'EOF'
Section "Device"
    Identifier "dummy"
    Driver "dummy"
    VideoRam 256000
EndSection
Section "Screen"
    Identifier "screen"
    Device "dummy"
    DefaultDepth 24
    SubSection "Display"
        Depth 24
        Virtual 3840 2400
    EndSubSection
EndSection
EOF
x_server Xorg -config "$work/xorg.conf" -configdir "$work" -logfile "$work/xorg.log" -noreset -nolisten tcp \
    || { echo "SKIP: Xorg cannot start here: $(tail -3 "$work/xorg.log")"; exit 77; }
# A 1920x1080 monitor and a taller 1920x1200 one, aligned at the top.
xrandr --newmode laptop 148.50 1920 2008 2052 2200 1080 1084 1089 1125 +hsync +vsync
xrandr --newmode desk 154.00 1920 1968 2000 2080 1200 1203 1209 1235 +hsync -vsync
xrandr --addmode DUMMY0 laptop
xrandr --addmode DUMMY1 desk
both_plugged() { xrandr --output DUMMY0 --mode laptop --pos 0x0 --primary --output DUMMY1 --mode desk --pos 1920x0; }
both_plugged

strip_at() { [ "$(geometry "$strip" | cut -d' ' -f1,2)" = "$1 $2" ]; }
# The strip 200 logical pixels left of the right edge of the primary, left
# (1920 px wide) or right (3840 px its right edge), and 3 below its work
# area's top, at the top of the panel's claim or of the monitor.
expect_strip() {
    local right_edge=1920
    [ "$1" = left ] || right_edge=3840
    local x=$((right_edge - 200 * scale)) y=$(($2 + 3 * scale))
    wait_for strip_at $x $y || fail "$3: strip at $(geometry "$strip"), not $x,$y"
}
manager() {
    # openbox may lose a window mapped while it starts: its startup command
    # says when it has started.
    rm -f "$work/managing"
    background openbox --startup "touch $work/managing"
    wait_for test -e "$work/managing" || fail "openbox did not start"
}
strip() { start_x11_strip; }

# With no manager, nothing but the server tells of a new primary.
context="no manager"
strip
for primary in right left; do
    xrandr --output "$([ $primary = left ] && echo DUMMY0 || echo DUMMY1)" --primary
    expect_strip $primary 0 "the $primary monitor made primary"
done
kill -KILL "${pids[@]:1}"
pids=("${pids[0]}")

for context in "panel manager strip" "manager strip panel" "strip manager panel"; do
    for part in $context; do ${part/#panel/panel 1920 28}; done
    expect_strip left 28 "at the start"

    xdotool mousemove $((1920 - 80 * scale)) $((28 + 12 * scale)) mousedown 1
    menu_shown() { [ "$(xdotool search --onlyvisible --classname '^velmora$' | wc -l)" -eq 2 ]; }
    wait_for menu_shown || fail "no menu"
    xdotool mouseup 1 key Down Down Return
    about=$(named_window about) || fail "no about window"
    about_below_panel() {
        local x y left above
        read -r x y _ <<<"$(geometry "$about")"
        read -r left above <<<"$(frame "$about")"
        # (A frame of an odd width is half a pixel at scale 2.)
        local off=$((x - left - (1920 - 260 * scale)))
        [ $off -ge 0 ] && [ $off -lt "$scale" ] && [ "$((y - above))" -ge 28 ]
    }
    wait_for about_below_panel || fail "about window at $(geometry "$about"), frame $(frame "$about")"
    wmctrl -i -c "$about"

    # All but the X server go. (lemonbar heeds SIGTERM only at its next event.)
    kill -KILL "${pids[@]:1}" 2>/dev/null || true
    wait "${pids[@]:1}" 2>/dev/null || true
    pids=("${pids[0]}")
done
context="replugged"
panel 1920 28
manager
strip
# The panel claims more once it is up, less than a taller one on the right
# monitor: the manager publishes the work areas anew, the current desktop's
# the same as before (the taller claim sets its top), and only the strip's
# own reading of the claims tells what changed on its monitor.
background xev -name right-panel -geometry 1920x50+1920+0 >/dev/null
right_panel=$(named_window right-panel) || fail "no panel on the right monitor"
xprop -id "$right_panel" -f _NET_WM_STRUT_PARTIAL 32c -set _NET_WM_STRUT_PARTIAL 0,0,50,0,0,0,0,0,1920,3839,0,0
until_property -root _NET_WORKAREA work_area_top 50 || fail "the right panel's claim was not taken in"
xprop -id "$bar" -f _NET_WM_STRUT_PARTIAL 32c -set _NET_WM_STRUT_PARTIAL 0,0,40,0,0,0,0,0,0,1919,0,0
expect_strip left 40 "the panel's claim grown"
for round in $(seq "$rounds"); do
    # Unplugged, the other monitor is alone at the left with the panel's claim.
    xrandr --output DUMMY0 --off
    expect_strip left 40 "round $round, the primary unplugged"
    both_plugged
    expect_strip left 40 "round $round, the primary plugged back"
    xrandr --output DUMMY1 --primary
    expect_strip right 50 "round $round, the right monitor made primary"
    xrandr --output DUMMY0 --primary
    expect_strip left 40 "round $round, the left monitor made primary again"
done
echo "ok: $rounds rounds at scale $scale"
