# What the end-to-end tests share: waits on what the X server says, and
# what it says of a window. Sourced; needs `pids` and `fail`.

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
# value as its last argument, as it is now or after any change.
until_property() {
    local window=$1 property=$2 line spy pid deadline=$((SECONDS + 10)); shift 2
    [ "$window" = -root ] || window="-id $window"
    while [ $SECONDS -lt $deadline ]; do
        exec {spy}< <(exec timeout $((deadline - SECONDS)) stdbuf -oL xprop -spy $window "$property" 2>&1)
        pid=$!
        while read -r -u $spy line; do
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

named_window() { timeout 10 xdotool search --sync --onlyvisible --name "^$1\$" | sed -n 1p; }
root_property() { xprop -root "$1" 2>/dev/null | sed 's/.*[=#] *//'; }
active_window() { printf '%d' "$(root_property _NET_ACTIVE_WINDOW | sed 's/,.*//')"; }
geometry() { xwininfo -id "$1" | awk '/Absolute upper-left X/{x=$NF} /Absolute upper-left Y/{y=$NF}
                                       /Width/{w=$NF} /Height/{h=$NF} END{print x, y, w, h}'; }
# The width of the manager's frame left of a window and its height above it.
frame() { xprop -id "$1" _NET_FRAME_EXTENTS 2>/dev/null | awk -F'= ' '{split($2, e, ", "); print e[1] + 0, e[3] + 0}'; }

