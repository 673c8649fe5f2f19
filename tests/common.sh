# What the end-to-end tests share: a work folder and the processes to end
# with the test, the report of a failure (set `context` first), and waits on
# what the X server says and what it says of a window. Sourced.

# needs TOOL...: reports the test skipped when a tool is missing.
needs() { "$(dirname "${BASH_SOURCE[0]}")/needs.sh" "$@" -- true || exit $?; }
work=$(mktemp -d)
pids=() group=
cleanup() {
    [ -z "$group" ] || kill -KILL -- "-$group" 2>/dev/null || true
    kill -KILL "${pids[@]}" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
# Says what failed, and what the program said, if anything.
fail() {
    echo "FAIL ($context): $*" >&2
    sed 's/^/  velmora: /' "$work/stderr" >&2 2>/dev/null || true
    exit 1
}
mkfifo "$work/said"
# x_server COMMAND [ARG...]: starts an X server, which says its display when ready.
x_server() {
    "$@" -displayfd 3 3>"$work/said" >/dev/null 2>&1 &
    pids+=($!)
    read -r -t 20 number <"$work/said" || return 1
    export DISPLAY=:$number
}
# Runs a command in the background until the test ends.
background() { "$@" & pids+=($!); }
# Checks a condition until it holds, for up to 10 s: for what no event tells.
wait_for() {
    local i
    for i in $(seq 200); do
        "$@" >/dev/null 2>&1 && return 0
        sleep 0.05
    done
    return 1
}
# until_property WINDOW PROPERTY TEST...: waits, for up to 10 s, until the
# property (of the root window for "-root") passes TEST, which is given its
# value as its last argument, as it is now or after any change. xprop may
# read the property before it listens for changes, so a second without one
# has the value read again.
until_property() {
    local window=$1 property=$2 line spy pid status deadline=$((SECONDS + 10)); shift 2
    [ "$window" = -root ] || window="-id $window"
    while [ $SECONDS -lt $deadline ]; do
        exec {spy}< <(exec timeout $((deadline - SECONDS)) stdbuf -oL xprop -spy $window "$property" 2>&1)
        pid=$!
        while :; do
            read -r -t 1 -u $spy line && status=0 || status=$?
            [ $status -le 128 ] || line=$(xprop $window "$property" 2>&1)
            [ $status -eq 0 ] || [ $status -gt 128 ] || break  # xprop has ended
            case "$line" in
            *"no such atom"*) break ;;  # no client has named the property yet
            *"not found."*) line= ;;
            *) line=$(sed 's/^[^=#]*[=#] *//' <<<"$line") ;;
            esac
            if "$@" "$line"; then
                kill $pid 2>/dev/null
                exec {spy}<&-
                return 0
            fi
        done
        kill $pid 2>/dev/null
        exec {spy}<&-
        sleep 0.05
    done
    return 1
}
is() { [ "$1" = "$2" ]; }
present() { [ -n "$1" ]; }
is_window() { [ "$(printf '%d' "${2%%,*}" 2>/dev/null)" = "$1" ]; }

# The first window shown with this name, once there is one: not a frame a
# window manager draws and names after it, as mutter's does. (xdotool ends
# at an X error: a window that goes while it looks, as a closing menu does.)
named_window() {
    local found deadline=$((SECONDS + 10))
    while [ $SECONDS -lt $deadline ]; do
        for found in $(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null); do
            [[ "$(xprop -id "$found" WM_CLASS 2>&1)" != *mutter-x11-frames* ]] || continue
            echo "$found"
            return 0
        done
        sleep 0.05
    done
    return 1
}
# A panel (lemonbar) of WIDTHxHEIGHT at the top left, once it has asked for its room.
panel() {
    background lemonbar -p -g "$1x$2+0+0" </dev/null
    bar=$(named_window bar) || fail "no panel"
    until_property "$bar" _NET_WM_STRUT_PARTIAL present || fail "the panel asked for no room"
}
work_area_top() { [ "$(awk -F', ' '{print $2}' <<<"$2")" = "$1" ]; }
# The date line as the strip shows it today ($convert_date: the conversion).
today_line() { echo "امروز: $("$convert_date" "$(date +%-m/%-d/%Y)")"; }
# Running, and not a zombie waiting to be reaped.
running() { [ -r "/proc/$app_pid/stat" ] && [ "$(cut -d' ' -f3 "/proc/$app_pid/stat")" != Z ]; }
# Starts the strip ($velmora; what it says in $work/stderr) and finds its window.
start_x11_strip() {
    "$velmora" 2>>"$work/stderr" &
    app_pid=$!
    pids+=($app_pid)
    strip=$(named_window Velmora) || fail "no strip${1:-}; the program is $(running && echo running || echo gone)"
}
root_property() { xprop -root "$1" 2>/dev/null | sed 's/.*[=#] *//'; }
active_window() { printf '%d' "$(root_property _NET_ACTIVE_WINDOW | sed 's/,.*//')"; }
geometry() { xwininfo -id "$1" | awk '/Absolute upper-left X/{x=$NF} /Absolute upper-left Y/{y=$NF}
                                       /Width/{w=$NF} /Height/{h=$NF} END{print x, y, w, h}'; }
# The width of the manager's frame left of a window and its height above it.
frame() { xprop -id "$1" _NET_FRAME_EXTENTS 2>/dev/null | awk -F'= ' '{split($2, e, ", "); print e[1] + 0, e[3] + 0}'; }

