#!/usr/bin/env bash
# Runs a command built with LeakSanitizer and fails on any leak whose
# allocation was made by our own code. What the sanitizer reports as leaked
# inside Qt's, fontconfig's, D-Bus's and the graphics stack's own libraries
# (their one-time start-up state, never freed by design) is listed, not
# failed. A leak made anywhere else fails too.
# usage: leaks.sh SOURCE_DIR COMMAND [ARG...]
set -euo pipefail
source_dir=$1; shift
reports=$(mktemp -d)
trap 'rm -rf "$reports"' EXIT

export ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS="exitcode=0:log_path=$reports/lsan"
"$@"
shopt -s nullglob
set -- "$reports"/lsan.*
[ $# -gt 0 ] || exit 0

# Each leak is owned by the first frame below the allocator that says where
# it is: a source file of ours, or a library. Inlined header frames say
# neither and are passed over.
awk -v ours="$source_dir/" '
/^(Direct|Indirect) leak of/ { leak = $0; bytes = $4; owner = ""; next }
leak != "" && owner == "" && /^ *#[0-9]+ / &&
    !/ in (malloc|calloc|realloc|reallocarray|memalign|posix_memalign|aligned_alloc|strdup|strndup|operator new|__interceptor_)/ {
    if (index($0, ours)) { owner = "ours"; print "FAIL: our code leaks: " leak; print; bad = 1 }
    else if (match($0, /\([^()]*\/lib[^\/()]*\.so[^()]*\+0x/)) {
        owner = substr($0, RSTART + 1, RLENGTH - 4); sub(/.*\//, "", owner); sub(/\.so.*/, "", owner)
        if (owner ~ /^lib(Qt6|fontconfig|freetype|harfbuzz|dbus-1|xcb|X11|EGL|GL|GLX|gbm|drm|glapi|qxcb|qoffscreen)/)
            allowed[owner] += bytes
        else { print "FAIL: a leak in " owner ", which is not on the list: " leak; print; bad = 1 }
    }
}
/^$/ && leak != "" { if (owner == "") { print "FAIL: a leak of unknown origin: " leak; bad = 1 } leak = "" }
END {
    for (library in allowed) printf "libraries own: %d bytes in %s\n", allowed[library], library
    exit bad
}' "$@"
