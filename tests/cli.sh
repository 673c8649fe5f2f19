#!/usr/bin/env bash
# The command line and the way to a display: help and version, Qt's own
# options, refused arguments, one line and status 1 wherever no display can
# be had, and a start that holds on an X server that ends with its last
# client, or beside a session bus or a Wayland compositor that never answers.
# usage: cli.sh VELMORA VERSION [FAIL_NEW]
set -uo pipefail
velmora=$1 version=$2 fail_new=${3:-}
source "$(dirname "$0")/common.sh"
needs Xvfb xdotool dbus-daemon gdbus
failed=0
fail() { echo "FAIL: $*"; failed=1; }  # and go on

# expect STATUS STREAM PATTERN [NAME=VALUE...] [ARG...]: velmora, with no
# display or session bus but the ones given, exits with STATUS and prints a
# first line matching PATTERN on STREAM; where it ends for want of a display
# (status 1), that line is all it prints.
expect() {
    local status=$1 stream=$2 pattern=$3 vars=(); shift 3
    while [[ "${1:-}" =~ ^[A-Z_]+= ]]; do vars+=("$1"); shift; done
    timeout 10 env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u DBUS_SESSION_BUS_ADDRESS \
        -u XDG_SESSION_TYPE XDG_RUNTIME_DIR="$work" "${vars[@]}" "$velmora" "$@" >"$work/out" 2>"$work/err"
    local got=$? file=$work/out
    [ "$stream" = stderr ] && file=$work/err
    if [ "$got" -ne "$status" ] || ! sed -n 1p "$file" | grep -E "$pattern" >/dev/null \
        || { [ "$status" -eq 1 ] && [ "$(wc -l <"$work/err")" -ne 1 ]; }; then
        fail "velmora $* (${vars[*]}): status $got, expected $status; stdout: $(cat "$work/out"); stderr: $(cat "$work/err")"
    fi
}

expect 0 stdout '^usage: velmora' --help
expect 0 stdout "^velmora $version\$" --version
# Qt's documented options, as Qt parses them, with their values.
expect 0 stdout "^velmora $version\$" -name x -title t -geometry 10x10+0+0 -visual 0x21 -icon i.png -style fusion \
    -style=fusion -stylesheet=s.qss -stylesheet s.qss -reverse -qwindowgeometry 1x1 -qwindowtitle t -qwindowicon i \
    -session s -platformtheme t -plugin p -nograb -dograb -widgetcount -qmljsdebugger=port:1 --name x --version
expect 2 stderr '^velmora: unknown argument "--bogus"$' --bogus
expect 2 stderr '^velmora: unknown argument "notes.txt"$' notes.txt
expect 2 stderr '^velmora: unknown argument "-display=:5"$' -display=:5  # Qt would ignore it
expect 2 stderr '^velmora: a value must follow "-name"$' -name
expect 1 stderr '^velmora: cannot open a display: DISPLAY is not set$'
expect 1 stderr '^velmora: cannot open display ":4242"$' DISPLAY=:4242
expect 1 stderr '^velmora: cannot open display ":4243"$' DISPLAY=:4244 -display :4243
expect 1 stderr '^velmora: cannot connect to the Wayland display "wayland-9"$' XDG_SESSION_TYPE=wayland WAYLAND_DISPLAY=wayland-9
expect 1 stderr '^velmora: cannot connect to the Wayland display "wayland-0"$' QT_QPA_PLATFORM=wayland
expect 1 stderr '^velmora: cannot open display ":4242"; cannot connect to the Wayland display "wayland-0"$' \
    'QT_QPA_PLATFORM=xcb;wayland' DISPLAY=:4242
expect 1 stderr '^velmora: Qt could not start a platform: .*"garbage"' QT_QPA_PLATFORM=garbage
# Memory that runs out at the program's first request: one line, status 1.
[ -z "$fail_new" ] || expect 1 stderr '^velmora: out of memory$' DISPLAY=:4242 LD_PRELOAD="$fail_new"
# Of Qt's several warnings, the first: the cause.
expect 1 stderr '^velmora: Qt could not start a platform: could not connect to display$' 'QT_QPA_PLATFORM=xcb;garbage'

# starts NAME=VALUE... [ARG...]: velmora starts on this X server and maps its
# strip; it is then ended. With WAIT_FOR_BUS, nothing else connects to the
# server until the strip holds its name on the session bus, and so is
# connected itself.
starts() {
    local vars=() app
    while [[ "${1:-}" =~ ^[A-Z_]+= ]]; do vars+=("$1"); shift; done
    env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u XDG_SESSION_TYPE XDG_RUNTIME_DIR="$work" "${vars[@]}" \
        "$velmora" "$@" 2>"$work/err" &
    app=$!
    if [ -n "${WAIT_FOR_BUS:-}" ] && ! timeout 10 gdbus wait --session "$VELMORA_APP_ID"; then
        fail "velmora $* (${vars[*]}) claimed no name; $(kill -0 $app 2>/dev/null && echo running || echo gone): $(cat "$work/err")"
    elif ! timeout 10 xdotool search --sync --onlyvisible --name '^Velmora$' >/dev/null; then
        fail "velmora $* (${vars[*]}) showed no strip; $(kill -0 $app 2>/dev/null && echo running || echo gone): $(cat "$work/err")"
    fi
    kill $app 2>/dev/null
    wait $app 2>/dev/null
}

# A server that ends when its last client leaves (as a session's does, or
# one that resets): nothing ahead of Qt may connect to it and leave.
xvfb() { x_server Xvfb -screen 0 640x480x24 -nolisten tcp "$@" || { echo "FAIL: Xvfb did not start"; exit 1; }; }
xvfb -terminate
WAIT_FOR_BUS=1 dbus-run-session -- bash -c "$(declare -f starts fail); work=$work velmora=$velmora failed=0; starts; exit \$failed" \
    || failed=1

# A list of platforms falls back as Qt falls back.
xvfb
unset DBUS_SESSION_BUS_ADDRESS
starts 'QT_QPA_PLATFORM=wayland;xcb'

# A session bus that takes connections and never answers (its daemon
# stopped): the strip starts without it, and says so in one line.
dbus-daemon --session --nofork --print-address=3 3>"$work/said" &
pids+=($!)
read -r -t 10 bus <"$work/said"
kill -STOP "${pids[-1]}"
starts DBUS_SESSION_BUS_ADDRESS="$bus"
grep -x 'velmora: the session bus did not answer within 5 s; running without it' "$work/err" >/dev/null \
    && [ "$(wc -l <"$work/err")" -eq 1 ] || fail "beside a silent bus it said: $(cat "$work/err")"
kill -CONT "${pids[-1]}"

# A Wayland compositor that takes connections and does not answer (here a
# stopped daemon's socket), or answers out of Wayland's protocol: left aside
# for the X display at hand, else one line.
dbus-daemon --session --nofork --address="unix:path=$work/wayland-7" &
pids+=($!)
timeout 10 sh -c "until [ -S '$work/wayland-7' ]; do sleep 0.05; done"
kill -STOP "${pids[-1]}"
expect 1 stderr '^velmora: the Wayland display "wayland-7" did not answer within 5 s$' XDG_SESSION_TYPE=wayland WAYLAND_DISPLAY=wayland-7
starts XDG_SESSION_TYPE=wayland WAYLAND_DISPLAY=wayland-7 DBUS_SESSION_BUS_ADDRESS=disabled:
kill -CONT "${pids[-1]}"
expect 1 stderr '^velmora: the Wayland display "wayland-7" (hung up before it answered|does not answer in Wayland.s protocol)$' \
    WAYLAND_DISPLAY=wayland-7
exit $failed
