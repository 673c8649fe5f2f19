#!/usr/bin/env bash
# Installs into a scratch DESTDIR and checks what a desktop needs of the
# installed tree, then runs the installed program end to end.
# usage: install.sh BUILD_DIR APP_ID E2E_SCRIPT CONVERT_DATE
set -euo pipefail
build=$1 id=$2 e2e=$3 convert_date=$4
dest=$(mktemp -d)
trap 'rm -rf "$dest"' EXIT

DESTDIR=$dest cmake --install "$build" --prefix /usr >/dev/null
root=$dest/usr
for file in bin/velmora \
            share/applications/$id.desktop \
            share/metainfo/$id.metainfo.xml \
            share/icons/hicolor/16x16/apps/$id.png \
            share/icons/hicolor/32x32/apps/$id.png \
            share/man/man1/velmora.1.gz \
            share/doc/velmora/copyright; do
    [ -f "$root/$file" ] || { echo "FAIL: $file is not installed" >&2; exit 1; }
done
[ -x "$root/bin/velmora" ] || { echo "FAIL: velmora is not executable" >&2; exit 1; }

desktop-file-validate "$root/share/applications/$id.desktop"
appstreamcli validate --no-net "$root/share/metainfo/$id.metainfo.xml"
grep -q '<release version="1.5"' "$root/share/metainfo/$id.metainfo.xml" \
    || { echo "FAIL: the metadata lacks release 1.5" >&2; exit 1; }

"$e2e" "$root/bin/velmora" "$convert_date" C UTC
