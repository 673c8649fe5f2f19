#!/usr/bin/env bash
# Installs into a scratch DESTDIR and checks what a desktop needs of the
# installed tree, with one version throughout, then runs the installed
# program end to end.
# usage: install.sh BUILD_DIR APP_ID VERSION E2E_SCRIPT CONVERT_DATE
set -euo pipefail
build=$1 id=$2 version=$3 e2e=$4 convert_date=$5
dest=$(mktemp -d)
trap 'rm -rf "$dest"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

DESTDIR=$dest cmake --install "$build" --prefix /usr >/dev/null
root=$dest/usr
for file in bin/velmora \
            share/applications/$id.desktop \
            share/metainfo/$id.metainfo.xml \
            share/icons/hicolor/{16x16,32x32,128x128}/apps/$id.png \
            share/man/man1/velmora.1; do
    [ -f "$root/$file" ] || fail "$file is not installed"
done
[ -x "$root/bin/velmora" ] || fail "velmora is not executable"
# Debian's own tools write the docs and compress the manual.
[ ! -e "$root/share/doc" ] || fail "the install writes share/doc, which is the packager's"

[ "$("$root/bin/velmora" --version)" = "velmora $version" ] || fail "--version says $("$root/bin/velmora" --version)"
grep -E "<release version=\"$version\" date=\"[0-9]{4}-[0-9]{2}-[0-9]{2}\"" "$root/share/metainfo/$id.metainfo.xml" \
    >/dev/null || fail "the metadata's release is not $version with a date"
sed -n 1p "$root/share/man/man1/velmora.1" | grep -E "^\.TH VELMORA 1 \"[A-Z][a-z]+ [0-9]{4}\" \"Velmora $version\"" \
    >/dev/null || fail "the manual page's header: $(sed -n 1p "$root/share/man/man1/velmora.1")"

"$e2e" "$root/bin/velmora" "$convert_date" C UTC
