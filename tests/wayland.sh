#!/usr/bin/env bash
# The strip on a Wayland compositor with no screen, beside the terminals the
# user types in, which keep the keyboard until the user clicks into the line.
# Compositors run as nobody where this is root (they will not run as root).
#   sway: two outputs and a bar on each, an X display at hand. The strip shows
#     under the bar at the top right of the output the user is on, on every
#     workspace, and keeps its room: a window opened beside it lies clear of
#     it. Its menu copies the line, and the terminal keeps the keyboard. A
#     second start, through a connection a launcher hands over, leaves one
#     strip. When its output is unplugged, with its menu open, it shows on the
#     one that remains, whose first press opens the menu, without the
#     keyboard; 20 times over. With no output left it waits without waking,
#     and shows on the next.
#   labwc: the terminal keeps the keyboard, not losing it even for a moment,
#     until the user clicks into the line, which one click lets them edit.
#   kwin: KDE's KWin keeps the terminal active as the pointer passes over the
#     strip, on all desktops at the top right; a maximized window lies clear
#     of it. One click into the line edits it; once the user has gone back to
#     a terminal and closed it, the other terminal has the keyboard.
#   weston, which has no layer shell: forced onto Qt's wayland platform, the
#     strip is an ordinary window, without a complaint.
# usage: wayland.sh sway|labwc|kwin|weston VELMORA CONVERT_DATE WAYLAND_POINTER HAND_OVER
set -euo pipefail
compositor=$1 velmora=$2 convert_date=$3 pointer_tool=$4 hand_over=$5
context="wayland, $compositor"
source "$(dirname "$0")/common.sh"
case "$compositor" in
sway) needs sway swaymsg Xwayland xhost grim magick foot wl-paste wl-copy jq wtype ;;
labwc) needs labwc grim magick foot wtype ;;
kwin) needs kwin_wayland foot gdbus ;;
weston) needs weston ;;
esac
needs dbus-daemon dbus-run-session setpriv
unset DISPLAY WAYLAND_DISPLAY WAYLAND_SOCKET QT_QPA_PLATFORM
export LC_ALL=C.UTF-8 XDG_SESSION_TYPE=wayland
chmod 755 "$work"
bar=24 room=25

runtime=$work/runtime
mkdir -m 700 "$runtime"
as_user=()
if [ "$(id -u)" -eq 0 ]; then
    chown nobody "$runtime"
    as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups --)
fi
export XDG_RUNTIME_DIR=$runtime
# COMMAND...: the compositor in a session bus of its own, in a process group
# that ends with the test; its Wayland socket named in WAYLAND_DISPLAY.
start_compositor() {
    setsid bash -c 'echo $$ >"$0"; exec "$@"' "$work/group" "${as_user[@]}" env XDG_RUNTIME_DIR="$runtime" HOME="$runtime" \
        WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 QT_QPA_PLATFORM=offscreen \
        KWIN_WAYLAND_NO_PERMISSION_CHECKS=1 dbus-run-session -- "$@" >"$work/compositor.log" 2>&1 &
    wait_for test -s "$work/group" || fail "$compositor was not started"
    group=$(cat "$work/group")
    socket() { ls "$runtime"/wayland-? "$runtime"/wayland-test 2>/dev/null | sed -n 1p; }
    socket_ready() { [ -S "$(socket)" ]; }
    wait_for socket_ready || fail "$compositor did not start: $(tail -3 "$work/compositor.log")"
    export WAYLAND_DISPLAY=$(basename "$(socket)")
}
dbus-daemon --session --nofork --print-address=3 3>"$work/said" >/dev/null 2>&1 &
pids+=($!)
read -r -t 10 DBUS_SESSION_BUS_ADDRESS <"$work/said" || fail "no session bus"
export DBUS_SESSION_BUS_ADDRESS

# A terminal the user types in, as APP_ID; under WAYLAND_DEBUG, what the
# compositor tells it of the keyboard, in APP_ID.log.
terminal() {
    (cd "$work" && WAYLAND_DEBUG=1 exec foot --app-id "$1" "${@:2}" cat >/dev/null 2>"$work/$1.log") &
    pids+=($!)
}
# The keys that reached a terminal; keys_reached APP_ID COUNT: more than COUNT.
keys_to() { grep -a -c -E 'wl_keyboard#[0-9]+\.key\(' "$work/$1.log" || true; }
keys_reached() { [ "$(keys_to "$1")" -gt "$2" ]; }
# The strip, its Wayland requests logged.
start_strip() {
    WAYLAND_DEBUG=1 "$@" >/dev/null 2>"$work/strip.log" &
    app=$!
    pids+=($app)
}
# The strip's last word on the keyboard that a commit carried: 0 none, 2 on demand.
interactivity() {
    grep -a -o -E 'set_keyboard_interactivity\([0-9]\)|wl_surface#[0-9]+\.commit' "$work/strip.log" \
        | awk '/^set/ {asked = substr($0, 28, 1)} /commit/ {said = asked} END {print said}'
}
asked_keyboard() { [ "$(interactivity)" = 2 ]; }
# A pointer, plugged in before the strip starts, as a user's is: a client
# that binds it only when it comes may miss the first press. WIDTH HEIGHT:
# the extent of the outputs together.
plug_pointer() {
    [ -z "${pointer_PID:-}" ] || { kill "$pointer_PID"; wait "$pointer_PID" 2>/dev/null || true; }
    coproc pointer { exec "$pointer_tool" "$1" "$2" 2>/dev/null; }
    pids+=($pointer_PID)
    say "move 0 $(($2 - 1))" || fail "no pointer"
}
say() { echo "$1" >&"${pointer[1]}"; read -r -t 10 answer <&"${pointer[0]}" && [ "$answer" = ok ]; }
click() { say "move $1 $2" && say press && say release; }
# The bounds of what differs between two pictures (files, or - for standard input).
difference() { magick "$1" "$2" -compose difference -composite -threshold 0 -format '%@' info:; }
# Whether picture $1 shows at GEOMETRY $3 what picture $2 shows whole.
shows_at() { [ "$(magick "$1" -crop "$3" +repage "$2" -compose difference -composite -format '%[fx:maxima]' info:)" = 0 ]; }

case "$compositor" in
labwc)
    start_compositor labwc
    terminal users-terminal
    # A keyboard, kept plugged in while the test runs (its key comes later).
    background wtype -s 60000 x
    wait_for grep -a -E 'wl_keyboard#[0-9]+\.enter' "$work/users-terminal.log" || fail "the terminal got no keyboard"
    plug_pointer 1280 720
    grim "$work/before.png"
    start_strip "$velmora"
    strip_shown() { [ "$(grim - | difference "$work/before.png" -)" = "129x19+$((1280 - 200))+3" ]; }
    wait_for strip_shown || fail "the strip is not at the top right"
    # The pointer over the line: the strip may take the keyboard at a click now.
    say "move 1120 12"
    wait_for asked_keyboard || fail "the strip did not ask for the keyboard when the pointer came"
    # A key typed now reaches the terminal, after anything the strip did.
    wtype x
    wait_for keys_reached users-terminal 0 || fail "the terminal did not get the key typed"
    ! grep -a -E 'wl_keyboard#[0-9]+\.leave' "$work/users-terminal.log" || fail "the terminal lost the keyboard"
    # One click into the line gives it the keyboard, to edit the line.
    say press
    say release
    wait_for grep -a -E 'wl_keyboard#[0-9]+\.enter' "$work/strip.log" || fail "a click did not give the strip the keyboard"
    echo "ok (labwc $(labwc --version | awk '{print $2}')): the terminal kept the keyboard until a click into the line"
    exit 0
    ;;
kwin)
    start_compositor kwin_wayland --virtual --width 1366 --height 768 --socket wayland-test
    kwin_bus=$(tr '\0' '\n' </proc/"$(pgrep -n -g "$group" -x kwin_wayland)"/environ | sed -n 's/^DBUS_SESSION_BUS_ADDRESS=//p')
    kwin_call() { "${as_user[@]}" env DBUS_SESSION_BUS_ADDRESS="$kwin_bus" gdbus call --session --dest org.kde.KWin "$@"; }
    # KWin's own word on its windows, from a script run inside it, each
    # line marked as this call's: class, geometry, on all desktops, active.
    windows() {
        local mark=$RANDOM$RANDOM script
        echo "for (const w of workspace.stackingOrder) print('$mark ' + w.resourceClass + ' ' +
            JSON.stringify(w.frameGeometry) + ' ' + w.onAllDesktops + ' ' + w.active);" >"$work/$mark.js"
        chmod 644 "$work/$mark.js"
        script=$(kwin_call --object-path /Scripting --method org.kde.kwin.Scripting.loadScript "$work/$mark.js" "$mark" \
            | tr -dc 0-9)
        kwin_call --object-path "/Scripting/Script$script" --method org.kde.kwin.Script.run >/dev/null
        wait_for grep -a -q "$mark" "$work/compositor.log"
        sed -n "s/.*$mark //p" "$work/compositor.log"
    }
    active() { grep -q "^$1 .* true\$" <<<"$(windows)"; }
    terminal other-terminal
    wait_for active other-terminal || fail "the first terminal is not active: $(windows)"
    terminal users-terminal
    wait_for active users-terminal || fail "the second terminal is not active: $(windows)"
    users_terminal=$!
    plug_pointer 1366 768
    start_strip "$velmora"
    strip='{"x":1166,"y":3,"width":129,"height":19,'
    strip_listed() { grep -q "^[^ ]* $strip" <<<"$(windows)"; }
    wait_for strip_listed || fail "KWin lists no strip: $(windows)"
    grep -q "^[^ ]* $strip.*} true false\$" <<<"$(windows)" || fail "the strip is not at the top right on all desktops, inactive: $(windows)"
    # The pointer passes over the strip: the terminal keeps the keyboard.
    say "move 1200 12"
    say "move 1250 8"
    say "move 600 700"
    active users-terminal || fail "the pointer passing over the strip took the keyboard: $(windows)"
    # A maximized window lies clear of the strip and its room.
    terminal maximized --maximized
    below_room() { grep -q "^maximized {\"x\":0,\"y\":$room," <<<"$(windows)"; }
    wait_for below_room || fail "a maximized window is not laid out below the strip's room: $(windows)"
    kill "$!"
    # One click into the line: the strip has the keyboard. Back in the
    # terminal, which the user closes: the keyboard goes to the other one.
    click 1226 12
    strip_active() { grep -q "^[^ ]* $strip.* true\$" <<<"$(windows)"; }
    wait_for strip_active || fail "a click into the line did not give the strip the keyboard: $(windows)"
    click 600 400
    wait_for active users-terminal || fail "a click into the terminal did not give it the keyboard back: $(windows)"
    kill "$users_terminal"
    wait_for active other-terminal || fail "closing the terminal gave the keyboard to the strip, not the other terminal: $(windows)"
    before=$(keys_to other-terminal)
    say "key 44"  # z
    wait_for keys_reached other-terminal "$before" || fail "a key typed then did not reach the other terminal"
    echo "ok (KWin $(kwin_wayland --version | awk '{print $2}')): the strip at 1166,3 on all desktops, clear of a" \
         "maximized window; the terminals kept the keyboard"
    exit 0
    ;;
weston)
    start_compositor weston --backend=headless --renderer=pixman --socket=wayland-test --width=1366 --height=768
    start_strip "$velmora" -platform wayland
    drawn() { grep -a -q 'xdg_surface#[0-9]*\.get_toplevel' "$work/strip.log" && grep -a -q 'wl_surface#[0-9]*\.attach' "$work/strip.log"; }
    wait_for drawn || fail "no window drawn"
    complaints=$(grep -a -v '^\[' "$work/strip.log" || true)
    [ -z "$complaints" ] || fail "it said: $complaints"
    echo "ok (weston $(weston --version | awk '{print $2}')): an ordinary window"
    exit 0
    ;;
esac

# sway: two outputs, the user on the right one.
cat >"$runtime/config" <<EOF
output HEADLESS-1 resolution 1366x768 position 0,0
xwayland force
exec sh -c 'echo "\$DISPLAY" >$runtime/display'
bar {
    position top
    height $bar
    status_command true
}
EOF
start_compositor sway -c "$runtime/config"
export SWAYSOCK=$(ls "$runtime"/sway-ipc.*.sock)
swaymsg -q create_output
swaymsg -q output HEADLESS-2 resolution 1280x720 position 1366 0
swaymsg -q focus output HEADLESS-2
left=1366 width=1280
# A plain start with an X display at hand, as in a user's session: the strip
# must still choose the layer shell.
wait_for test -s "$runtime/display" || fail "sway started no XWayland"
export DISPLAY=$(cat "$runtime/display")
wait_for "${as_user[@]}" xhost "+si:localuser:$(id -un)" || fail "XWayland on $DISPLAY does not answer"
bar_shown() { grim -g "$left,0 ${width}x$bar" - | magick - -format '%[fx:maxima]' info: | grep -qv '^0$'; }
wait_for bar_shown || fail "the bar is not drawn"
plug_pointer $((left + width)) 768
say "move $left 700"
# A keyboard, kept plugged in: the seat has none otherwise (its key comes
# after the test).
background wtype -s 600000 x

# The top right of the user's output, where the strip and its menu show; the
# pointer, drawn, is kept out of it when it is not pressing.
area="$((left + width / 2)),0 $((width / 2))x200"
grim -g "$area" "$work/before.png"
expected=$(today_line)
start_strip "$velmora"
# Where the strip is: what changed on the screen since it started.
changed() { grim -g "$area" - | difference "$work/before.png" -; }
strip=$((left + width - 71 - 129)),$((bar + 3))
strip_shown() { [ "$(changed)" = "129x19+$((width / 2 - 71 - 129))+$((bar + 3))" ]; }
wait_for strip_shown || fail "the strip is at $(changed), not 129x19 at $strip; running: $(kill -0 $app && echo yes || echo no)"
grim - | magick - -crop "129x19+${strip/,/+}" +repage "$work/strip.png"
# On OUTPUT, at its top right, as first shown.
strip_on() {
    local w
    w=$(swaymsg -t get_outputs | jq -r ".[] | select(.name == \"$1\") | .rect.width")
    timeout 5 grim -o "$1" "$work/output.png" && shows_at "$work/output.png" "$work/strip.png" "129x19+$((w - 200))+$((bar + 3))"
}

# A terminal opened beside it is laid out below its room, and it stays in sight.
terminal users-terminal
focused_app() { swaymsg -t get_tree | jq -r '.. | objects | select(.focused == true) | .app_id // .name'; }
terminal_focused() { [ "$(focused_app)" = users-terminal ]; }
wait_for terminal_focused || fail "the terminal got no focus: $(focused_app) has it"
terminal_top() { swaymsg -t get_tree | jq '.. | objects | select(.app_id == "users-terminal") | .rect.y - .deco_rect.height'; }
[ "$(terminal_top)" -ge $((bar + room)) ] || fail "the terminal's top is at $(terminal_top), under the strip's room"
strip_on HEADLESS-2 || fail "the strip is out of sight beside the terminal"
# Floated away from the top right, where the menu is looked for.
swaymsg -q '[app_id=users-terminal] floating enable, resize set 300 200, move position 0 400'

# The pointer passes over it: the terminal keeps the keyboard.
say "move $((left + width - 150)) $((bar + 12))"
say "move $left 700"
terminal_focused || fail "the pointer passing over the strip took the keyboard: $(focused_app) has it"

# On another workspace too, where nothing else is.
swaymsg -q workspace 3
strip_on HEADLESS-2 || fail "the strip is not drawn on another workspace"
swaymsg -q workspace back_and_forth
wait_for terminal_focused || fail "back from another workspace, the terminal has no keyboard: $(focused_app) has it"

# Copy through the menu: a press on ">", then its first command's key.
# There is no room right of the press: the menu opens left of and below it,
# and nothing of it goes past the strip's right edge. The terminal then has
# the keyboard, and what is typed reaches it.
x=$((left + width - 71 - 129 + 120)) y=$((bar + 3 + 9))
open_menu() {
    say "move $x $y" || fail "the pointer did not move"
    wait_for asked_keyboard || fail "$1: the strip did not ask for the keyboard when the pointer came"
    grim -g "$area" "$work/before.png"  # with the pointer, drawn, where it presses
    say press || fail "the pointer did not press"
    wait_for menu_shown || fail "$1: no menu left of and below the press: the screen changed at $(changed)"
    say release
}
menu_shown() {
    local w h l top
    IFS='x+' read -r w h l top <<<"$(changed)"
    ((l += left + width / 2))
    [ "$l" -lt $((x - 100)) ] && [ $((top + h)) -ge $((y + 40)) ] && [ $((l + w)) -le $((left + width - 71)) ]
}
open_menu "at the start"
wtype c  # the copy command's access key
copied() { [ "$(wl-paste -n)" = "$expected" ] || [ "$(wl-paste -n)" = "$(today_line)" ]; }
wait_for copied || fail "the clipboard holds '$(wl-paste -n 2>&1)', not '$expected'"
say "move $left 700"
wait_for terminal_focused || fail "after the copy the keyboard is not back in the terminal: $(focused_app) has it"
wtype ls
wait_for keys_reached users-terminal 0 || fail "keys typed after the copy did not reach the terminal"

# A second start, through a connection a launcher hands over and no socket
# named that works, leaves one strip, where it was.
timeout 10 "$hand_over" env WAYLAND_DISPLAY=wayland-none "$velmora" 2>/dev/null || fail "a second start ended with status $?"
strip_on HEADLESS-2 || fail "after a second start the strip is not where it was"

# Outputs that go: the strip on one that remains, at its top right; never on
# two. The first time with its menu open: once moved, its first press opens
# the menu again, and the strip has not taken the keyboard.
newest() { swaymsg -t get_outputs | jq -r '.[-1].name'; }
carrier=HEADLESS-2 other=HEADLESS-1
open_menu "before the first unplug"
for round in $(seq 20); do
    swaymsg -q output "$carrier" unplug
    wait_for strip_on "$other" || fail "round $round: no strip on $other once $carrier was unplugged"
    if [ "$round" = 1 ]; then
        [ "$(interactivity)" = 0 ] || fail "the strip made again may take the keyboard"
        left=0 width=1366 area="683,0 683x200" x=$((1366 - 200 + 120))
        plug_pointer 1366 768
        wl-copy -c
        open_menu "once its output was unplugged"
        wtype c
        wait_for copied || fail "once its output was unplugged, the menu did not copy: the clipboard holds '$(wl-paste -n 2>&1)'"
        say "move 0 700"
    fi
    carrier=$other
    swaymsg -q create_output
    other=$(newest)
    wait_for timeout 5 grim -o "$other" /dev/null || fail "round $round: $other shows nothing"
    strip_on "$carrier" && ! strip_on "$other" || fail "round $round: the strip left $carrier for $other"
done

# No output at all: nothing to show on, and nothing to wake for.
switches() { cat /proc/"$app"/task/*/status | awk '/ctxt_switches/ {n += $2} END {print n}'; }
swaymsg -q output "$other" unplug
swaymsg -q output "$carrier" unplug
before=$(switches)
sleep 2
woken=$(($(switches) - before))
[ "$woken" -lt 40 ] || fail "with no output the strip woke $woken times in 2 s"
swaymsg -q create_output
wait_for strip_on "$(newest)" || fail "no strip on the output that came"
kill -0 "$app" || fail "the strip ended"
echo "ok (sway $(swaymsg -t get_version | jq -r .human_readable)): the strip at $strip, 129x19, on the user's output," \
     "clear of the terminal; copied '$expected'; on the remaining output in 20 of 20 unplugs; woken $woken times in 2 s with none"
