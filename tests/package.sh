#!/usr/bin/env bash
# Builds the Debian package and checks what apt and lintian would object to.
# usage: package.sh BUILD_DIR
set -euo pipefail
build=$1
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

(cd "$build" && cpack -G DEB -B "$out" >/dev/null)
deb=$(echo "$out"/velmora_*.deb)
[ -f "$deb" ] || { echo "FAIL: no package built" >&2; exit 1; }

depends=$(dpkg-deb -f "$deb" Depends)
for needed in libqt6widgets6 libqt6gui6 libc6 qt6-qpa-plugins 'fonts-noto-ui-core | fonts-dejavu-core'; do
    case "$depends" in
    *"$needed"*) ;;
    *) echo "FAIL: Depends lacks $needed: $depends" >&2; exit 1 ;;
    esac
done
dpkg-deb -c "$deb" | grep '\./usr/bin/velmora$' >/dev/null || { echo "FAIL: no /usr/bin/velmora in the package" >&2; exit 1; }

status=0
lintian --fail-on error "$deb" >"$out/lintian.txt" 2>&1 || status=$?
grep -v 'running with root privileges' "$out/lintian.txt" || true
exit "$status"
