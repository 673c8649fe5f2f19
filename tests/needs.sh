#!/bin/sh
# Runs a test, or tells CTest that it was skipped (status 77) when what it
# needs is missing here (a tool or face it names, or the command itself), so
# that a packager sees what did not run.
# usage: needs.sh [TOOL | font:FAMILY]... -- COMMAND [ARG...]
while [ "$1" != -- ]; do
    case "$1" in
    font:*) fc-list -q "${1#font:}" 2>/dev/null || { echo "SKIP: no face of ${1#font:} is installed"; exit 77; } ;;
    *) command -v "$1" >/dev/null || { echo "SKIP: $1 is not installed"; exit 77; } ;;
    esac
    shift
done
shift
command -v "$1" >/dev/null || { echo "SKIP: $1 is not installed"; exit 77; }
exec "$@"
