#!/usr/bin/env bash
# The strip on a Wayland compositor with no screen, beside a terminal the user
# types in, which keeps the keyboard throughout. Each compositor is run as a
# user made for the test where this is root (they will not run as root).
#   sway: two outputs and a bar on each. Started through a connection a
#     launcher hands over, the strip shows under the bar at the top right of
#     the output the user is on, on every workspace; its menu copies the line;
#     a second start leaves one strip. When its output is unplugged it shows
#     on the one that remains, 20 times over; with none left it waits without
#     waking, and shows on the next.
#   labwc: the terminal keeps the keyboard, not losing it even for a moment,
#     until the user clicks into the line, which one click lets them edit.
#   kwin: KDE's KWin keeps the terminal active; the strip is on all desktops
#     at the top right.
#   weston, which has no layer shell: forced onto Qt's wayland platform, the
#     strip is an ordinary window, without a complaint.
# usage: wayland.sh sway|labwc|kwin|weston VELMORA CONVERT_DATE WAYLAND_POINTER HAND_OVER
set -euo pipefail
compositor=$1 velmora=$2 convert_date=$3 pointer_tool=$4 hand_over=$5
context="wayland, $compositor"
source "$(dirname "$0")/common.sh"
case "$compositor" in
sway) needs sway swaymsg Xwayland xhost grim magick foot wl-paste jq ;;
labwc) needs labwc grim magick foot wtype ;;
kwin) needs kwin_wayland foot gdbus ;;
weston) needs weston ;;
esac
needs dbus-daemon dbus-run-session
unset DISPLAY WAYLAND_DISPLAY WAYLAND_SOCKET QT_QPA_PLATFORM
export LC_ALL=C.UTF-8 XDG_SESSION_TYPE=wayland
chmod 755 "$work"
bar=24

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
export XDG_RUNTIME_DIR=$runtime
# The compositor in a session bus of its own user's, saying its socket.
start_compositor() {
    setsid bash -c 'echo $$ >"$0"; exec "$@"' "$work/group" "${as_user[@]}" env XDG_RUNTIME_DIR="$runtime" HOME="$runtime" \
        WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 QT_QPA_PLATFORM=offscreen \
        dbus-run-session -- "$@" >"$work/compositor.log" 2>&1 &
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

# The terminal the user types in; under WAYLAND_DEBUG, what the compositor
# tells it of the keyboard.
terminal() {
    (cd "$work" && WAYLAND_DEBUG=1 exec foot --app-id users-terminal cat >/dev/null 2>"$work/terminal.log") &
    pids+=($!)
}
keyboard_left() { grep -a -E 'wl_keyboard#[0-9]+\.leave' "$work/terminal.log"; }
# The strip, its Wayland requests logged.
start_strip() {
    WAYLAND_DEBUG=1 "$@" >/dev/null 2>"$work/strip.log" &
    app=$!
    pids+=($app)
}
# A pointer, plugged in before the strip starts, as a user's is: a client
# that binds it only when it comes may miss the first press. WIDTH HEIGHT:
# the extent of the outputs together.
plug_pointer() {
    coproc pointer { "$pointer_tool" "$1" "$2" 2>/dev/null; }
    pids+=($pointer_PID)
    say "move 0 $(($2 - 1))" || fail "no pointer"
}
say() { echo "$1" >&"${pointer[1]}"; read -r -t 10 answer <&"${pointer[0]}" && [ "$answer" = ok ]; }
# The strip has said it may take the keyboard, in a commit.
keyboard_asked() { grep -a -A30 'set_keyboard_interactivity(2)' "$work/strip.log" | grep -a -c 'wl_surface#[0-9]*\.commit'; }
today_line() { echo "امروز: $("$convert_date" "$(date +%-m/%-d/%Y)")"; }

case "$compositor" in
labwc)
    mkdir "$work/labwc"
    echo '<?xml version="1.0"?><labwc_config></labwc_config>' >"$work/labwc/rc.xml"
    start_compositor labwc -C "$work/labwc"
    terminal
    # A keyboard, kept plugged in while the test runs (its key comes later).
    wtype -s 60000 x &
    pids+=($!)
    wait_for grep -a -E 'wl_keyboard#[0-9]+\.enter' "$work/terminal.log" || fail "the terminal got no keyboard"
    plug_pointer 1280 720
    grim "$work/before.png"
    start_strip "$velmora"
    strip_shown() { [ "$(grim - | magick "$work/before.png" - -compose difference -composite -threshold 0 -format '%@' info:)" \
        = "129x19+$((1280 - 200))+3" ]; }
    wait_for strip_shown || fail "the strip is not at the top right"
    # The pointer over the line: the strip may take the keyboard at a click now.
    say "move 1120 12"
    wait_for keyboard_asked || fail "the strip did not ask for the keyboard when the pointer came"
    # A key typed now reaches the terminal, after anything the strip did.
    wtype x
    wait_for grep -a -E 'wl_keyboard#[0-9]+\.key' "$work/terminal.log" || fail "the terminal did not get the key typed"
    ! keyboard_left >/dev/null || fail "the terminal lost the keyboard: $(keyboard_left)"
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
    # line marked as this call's.
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
    terminal
    terminal_active() { grep -q '^users-terminal .* true$' <<<"$(windows)"; }
    wait_for terminal_active || fail "the terminal is not active: $(windows)"
    start_strip "$velmora"
    strip_listed() { grep -q '^[^ ]* {"x":1166,"y":3,"width":129,"height":19,' <<<"$(windows)"; }
    wait_for strip_listed || fail "KWin lists no strip: $(windows)"
    listed=$(windows)
    grep -q '^[^ ]* {"x":1166,"y":3,"width":129,"height":19,.*} true false$' <<<"$listed" \
        || fail "the strip is not at the top right on all desktops, inactive: $listed"
    grep -q '^users-terminal .* true$' <<<"$listed" || fail "the terminal is no longer active: $listed"
    echo "ok (KWin $(kwin_wayland --version | awk '{print $2}')): the strip at 1166,3 on all desktops; the terminal active"
    exit 0
    ;;
weston)
    "${as_user[@]}" env XDG_RUNTIME_DIR="$runtime" weston --backend=headless --renderer=pixman --socket=wayland-test \
        --width=1366 --height=768 >"$work/compositor.log" 2>&1 &
    pids+=($!)
    wait_for test -S "$runtime/wayland-test" || fail "weston did not start: $(tail -3 "$work/compositor.log")"
    export WAYLAND_DISPLAY=wayland-test
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
left=1366 width=1280 layout=$((1366 + 1280))
# An X server at hand too, as in a user's session: the strip must still
# choose the layer shell.
wait_for test -s "$runtime/display" || fail "sway started no XWayland"
export DISPLAY=$(cat "$runtime/display")
wait_for "${as_user[@]}" xhost "+si:localuser:$(id -un)" || fail "XWayland on $DISPLAY does not answer"
bar_shown() { grim -g "$left,0 ${width}x$bar" - | magick - -format '%[fx:maxima]' info: | grep -qv '^0$'; }
wait_for bar_shown || fail "the bar is not drawn"
terminal
focused_app() { swaymsg -t get_tree | jq -r '.. | objects | select(.focused == true) | .app_id // .name'; }
terminal_focused() { [ "$(focused_app)" = users-terminal ]; }
wait_for terminal_focused || fail "the terminal got no focus: $(focused_app) has it"

plug_pointer $layout 768
say "move $left 700"

# The top right of the user's output, where the strip and its menu show; the
# pointer, drawn, is kept out of it when it is not pressing.
area="$((left + width / 2)),0 $((width / 2))x200"
grim -g "$area" "$work/before.png"
expected=$(today_line)
# Through a connection handed over, with no socket named that works.
start_strip "$hand_over" env WAYLAND_DISPLAY=wayland-none "$velmora"

# Where the strip is: what changed on the screen since it started.
changed() { grim -g "$area" - | magick "$work/before.png" - -compose difference -composite -threshold 0 -format '%@' info:; }
strip=$((left + width - 71 - 129)),$((bar + 3))
strip_shown() { [ "$(changed)" = "129x19+$((width / 2 - 71 - 129))+$((bar + 3))" ]; }
wait_for strip_shown || fail "the strip is at $(changed), not 129x19 at $strip; running: $(kill -0 $app && echo yes || echo no)"
grim "$work/strip.png"
terminal_focused || fail "the strip took the keyboard: $(focused_app) has it"

# On the second workspace too, where nothing else is.
swaymsg -q workspace 2
strip_on_second() { [ "$(grim - | magick - "$work/strip.png" -crop "129x19+${strip/,/+}" +repage \
    -compose difference -composite -format '%[fx:maxima]' info:)" = 0 ]; }
strip_on_second || fail "the strip is not drawn on the second workspace"
swaymsg -q workspace 1

# Copy through the menu: a press on ">", then a click on its first command.
# There is no room right of the press: the menu opens left of and below it,
# and nothing of it goes past the strip's right edge.
x=$((left + width - 71 - 129 + 120)) y=$((bar + 3 + 9))
say "move $x $y" || fail "the pointer did not move"
say press || fail "the pointer did not press"
menu_shown() {
    local w h l top
    IFS='x+' read -r w h l top <<<"$(changed)"
    ((l += left + width / 2))
    [ "$l" -lt $((x - 100)) ] && [ $((top + h)) -ge $((y + 40)) ] && [ $((l + w)) -eq $((left + width - 71)) ]
}
wait_for menu_shown || fail "no menu left of and below the press: the screen changed at $(changed)"
say release
say "move $((x - 20)) $((y + 12))"
say press
say release || fail "the pointer did not click the menu"
copied() { [ "$(wl-paste -n)" = "$expected" ] || [ "$(wl-paste -n)" = "$(today_line)" ]; }
wait_for copied || fail "the clipboard holds '$(wl-paste -n 2>&1)', not '$expected'"
say "move $left 700"

# A second start leaves one strip, where it was.
timeout 10 "$velmora" 2>/dev/null || fail "a second start ended with status $?"
wait_for strip_shown || fail "after a second start the screen changed at $(changed)"

# Outputs that go: the strip on one that remains, at its top right; never on two.
magick "$work/strip.png" -crop "129x19+${strip/,/+}" +repage "$work/strip-only.png"  # as first shown, unfocused
strip_on() {
    local w
    w=$(swaymsg -t get_outputs | jq -r ".[] | select(.name == \"$1\") | .rect.width")
    [ "$(timeout 5 grim -o "$1" - | magick - -crop "129x19+$((w - 200))+$((bar + 3))" +repage "$work/strip-only.png" \
        -compose difference -composite -format '%[fx:maxima]' info:)" = 0 ]
}
newest() { swaymsg -t get_outputs | jq -r '.[-1].name'; }
carrier=HEADLESS-2 other=HEADLESS-1
for round in $(seq 20); do
    swaymsg -q output "$carrier" unplug
    wait_for strip_on "$other" || fail "round $round: no strip on $other once $carrier was unplugged"
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
echo "ok (sway $(swaymsg -t get_version | jq -r .human_readable)): the strip at $strip, 129x19, on the user's output;" \
     "copied '$expected'; on the remaining output in 20 of 20 unplugs; woken $woken times in 2 s with none"
