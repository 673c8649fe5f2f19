#!/usr/bin/env bash
# The command line: help and version, refused arguments, and a clear error
# where there is no display, each with its exit status and no core dump.
# usage: cli.sh VELMORA
set -uo pipefail
velmora=$1
out=$(mktemp) err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
failed=0

# expect STATUS STREAM PATTERN [NAME=VALUE...] [ARG...]: velmora, with no
# display or session bus but the one given, exits with STATUS (124: still
# runs after 5 s) and prints a first line matching PATTERN, if any, on STREAM.
expect() {
    local status=$1 stream=$2 pattern=$3 vars=(); shift 3
    while [[ "${1:-}" == *=* ]]; do vars+=("$1"); shift; done
    timeout 5 env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u DBUS_SESSION_BUS_ADDRESS "${vars[@]}" \
        "$velmora" "$@" >"$out" 2>"$err"
    local got=$? file=$out
    [ "$stream" = stderr ] && file=$err
    if [ "$got" -ne "$status" ] || { [ -n "$pattern" ] && ! sed -n 1p "$file" | grep -E "$pattern" >/dev/null; }; then
        echo "FAIL: velmora $* (${vars[*]}): status $got, expected $status; stdout: $(cat "$out"); stderr: $(cat "$err")"
        failed=1
    fi
}

expect 0 stdout '^usage: velmora' --help
expect 0 stdout '^velmora [0-9]+\.[0-9]+$' --version
expect 2 stderr '^velmora: unknown argument "--bogus"$' --bogus
expect 2 stderr '^velmora: unknown argument "notes.txt"$' notes.txt
expect 1 stderr '^velmora: cannot open a display: DISPLAY is not set$'
expect 1 stderr '^velmora: cannot open display ":4242"$' DISPLAY=:4242
expect 1 stderr '^velmora: cannot open display ":4243"$' -display :4243
[ "$(wc -l <"$err")" -eq 1 ] || { echo "FAIL: more than one line without a display: $(cat "$err")"; failed=1; }

# A server that ends when its last client leaves (as a session's does, or
# one that resets): the display, once checked, is held until Qt has it, so
# the strip still runs when the timeout ends it.
Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp -terminate 3>"$out" 2>/dev/null &
for _ in $(seq 100); do [ -s "$out" ] && break; sleep 0.1; done
expect 124 stderr '' DISPLAY=":$(cat "$out")"
kill $! 2>/dev/null
exit $failed
