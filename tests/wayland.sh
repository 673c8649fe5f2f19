#!/usr/bin/env bash
# The strip on a Wayland compositor with a layer shell: headless sway with
# XWayland, a bar across the top and a terminal the user works in. The strip must sit
# under the bar at the top right, leave the keyboard with the terminal, show
# on every workspace, copy its line through its menu, and a second start must
# leave one strip. Where is told by the compositor's own pictures (grim).
# sway will not run as root: run as root, it runs as a user made for the test.
# usage: wayland.sh VELMORA CONVERT_DATE WAYLAND_POINTER
set -euo pipefail
velmora=$1 convert_date=$2 pointer_tool=$3
context=wayland
source "$(dirname "$0")/common.sh"
needs sway swaymsg Xwayland xhost grim magick foot wl-paste jq dbus-daemon
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
export LC_ALL=C.UTF-8 XDG_SESSION_TYPE=wayland
width=1366 height=768 bar=24
chmod 755 "$work"

# The compositor, its own user's where this is root.
runtime=$work/runtime
mkdir -m 700 "$runtime"
as_user=()
if [ "$(id -u)" -eq 0 ]; then
    user=velmora-wayland-test
    if ! id "$user" >/dev/null 2>&1; then
        useradd --system --no-create-home --shell /usr/sbin/nologin "$user"
        # Made for this run, and gone with it, once nothing of it runs.
        trap 'cleanup; pkill -KILL -u "$user"; userdel -f "$user" 2>/dev/null || true' EXIT
    fi
    chown "$user" "$runtime"
    as_user=(runuser -u "$user" --)
fi
cat >"$runtime/config" <<EOF
output HEADLESS-1 resolution ${width}x$height
xwayland force
exec sh -c 'echo "\$DISPLAY" >$runtime/display'
bar {
    position top
    height $bar
    status_command true
}
EOF
setsid bash -c 'echo $$ >"$0"; exec "$@"' "$work/group" "${as_user[@]}" env XDG_RUNTIME_DIR="$runtime" \
    WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 sway -c "$runtime/config" \
    >"$work/sway.log" 2>&1 &
wait_for test -s "$work/group" || fail "sway was not started"
group=$(cat "$work/group")  # sway, its bar and its background
socket() { ls "$runtime"/wayland-? 2>/dev/null | sed -n 1p; }
socket_ready() { [ -S "$(socket)" ]; }
wait_for socket_ready || fail "sway did not start: $(tail -3 "$work/sway.log")"
export XDG_RUNTIME_DIR=$runtime WAYLAND_DISPLAY=$(socket)
export SWAYSOCK=$(ls "$runtime"/sway-ipc.*.sock)
# An X server at hand too, as in a user's session: the strip must still
# choose the layer shell.
wait_for test -s "$runtime/display" || fail "sway started no XWayland"
export DISPLAY=$(cat "$runtime/display")
# XWayland is the compositor's user's; the strip may use it too.
wait_for "${as_user[@]}" xhost "+si:localuser:$(id -un)" || fail "XWayland on $DISPLAY does not answer"
sway_version=$(swaymsg -t get_version | jq -r .human_readable)
bar_shown() { grim -g "0,0 ${width}x$bar" - | magick - -format '%[fx:maxima]' info: | grep -qv '^0$'; }
wait_for bar_shown || fail "the bar is not drawn"

# The window the user is typing in.
foot --app-id users-terminal >/dev/null 2>&1 &
pids+=($!)
focused_app() { swaymsg -t get_tree | jq -r '.. | objects | select(.focused == true) | .app_id // .name'; }
terminal_focused() { [ "$(focused_app)" = users-terminal ]; }
wait_for terminal_focused || fail "the terminal got no focus: $(focused_app) has it"

# A pointer, plugged in before the strip starts, as a user's is: a client
# that binds it only when it comes may miss the first press.
coproc pointer { "$pointer_tool" $width $height 2>/dev/null; }
pids+=($pointer_PID)
say() { echo "$1" >&"${pointer[1]}"; read -r -t 10 answer <&"${pointer[0]}" && [ "$answer" = ok ]; }
say "move 0 $((height - 1))" || fail "no pointer"

# The top right of the screen, where the strip and its menu show; the
# pointer, drawn, is kept out of it when it is not pressing.
area="$((width / 2)),0 $((width / 2))x200"
grim -g "$area" "$work/before.png"
today_line() { echo "امروز: $("$convert_date" "$(date +%-m/%-d/%Y)")"; }
expected=$(today_line)
dbus-daemon --session --nofork --print-address=3 3>"$work/said" >/dev/null 2>&1 &
pids+=($!)
read -r -t 10 DBUS_SESSION_BUS_ADDRESS <"$work/said" || fail "no session bus"
export DBUS_SESSION_BUS_ADDRESS
"$velmora" >/dev/null 2>"$work/stderr" &
app=$!
pids+=($app)

# Where the strip is: what changed on the screen since it started.
changed() { grim -g "$area" "$work/now.png"; magick "$work/before.png" "$work/now.png" -compose difference -composite \
    -threshold 0 -format '%@' info:; }
strip=$((width - 71 - 129)),$((bar + 3))
strip_shown() { [ "$(changed)" = "129x19+$((width - 71 - 129 - width / 2))+$((bar + 3))" ]; }
wait_for strip_shown || fail "the strip is at $(changed), not 129x19 at $strip; running: $(kill -0 $app && echo yes || echo no)"
grim "$work/strip.png"
terminal_focused || fail "the strip took the keyboard: $(focused_app) has it"

# On the second workspace too, where nothing else is.
swaymsg -q workspace 2
grim "$work/empty.png"
strip_on_second() { [ "$(magick "$work/empty.png" "$work/strip.png" -crop "129x19+${strip/,/+}" +repage \
    -compose difference -composite -format '%[fx:maxima]' info:)" = 0 ]; }
strip_on_second || fail "the strip is not drawn on the second workspace"
swaymsg -q workspace 1

# Copy through the menu: a press on ">", then a click on its first command.
# There is no room right of the press: the menu opens left of and below it,
# and nothing of it goes past the strip's right edge.
x=$((width - 71 - 129 + 120)) y=$((bar + 3 + 9))
say "move $x $y" || fail "the pointer did not move"
say press || fail "the pointer did not press"
menu_shown() {
    local w h left top
    IFS='x+' read -r w h left top <<<"$(changed)"
    ((left += width / 2))
    [ "$left" -lt $((x - 100)) ] && [ $((top + h)) -ge $((y + 40)) ] && [ $((left + w)) -eq $((width - 71)) ]
}
wait_for menu_shown || fail "no menu left of and below the press: the screen changed at $(changed)"
say release
say "move $((x - 20)) $((y + 12))"
say press
say release || fail "the pointer did not click the menu"
copied() { [ "$(wl-paste -n)" = "$expected" ] || [ "$(wl-paste -n)" = "$(today_line)" ]; }
wait_for copied || fail "the clipboard holds '$(wl-paste -n 2>&1)', not '$expected'"

say "move 0 $((height - 1))"  # the pointer is drawn: out of the way

# A second start leaves one strip, where it was.
timeout 10 "$velmora" 2>>"$work/stderr" || fail "a second start ended with status $?"
wait_for strip_shown || fail "after a second start the screen changed at $(changed)"
kill -0 "$app" || fail "the strip ended"
echo "ok (sway $sway_version): the strip at $strip, 129x19; copied '$expected'"
