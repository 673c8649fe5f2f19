#!/usr/bin/env bash
# Builds the source and binary packages from a copy of the tree the way Debian
# does (dpkg-buildpackage, which also runs the package's own tests), then
# checks what lintian, AppStream and the desktop-entry rules would object
# to, checks the installed files, and runs the packaged program.
# usage: package.sh SOURCE_DIR VERSION E2E_SCRIPT CONVERT_DATE
set -euo pipefail
source=$1 version=$2 e2e=$3 convert_date=$4
context=package
source "$(dirname "$0")/common.sh"
needs dpkg-buildpackage dh lintian appstreamcli desktop-file-validate

# The tree as it stands, committed or not, without build folders.
tree=$work/velmora-$version
mkdir "$tree"
tar -C "$source" --exclude-vcs --exclude='./build*' --exclude='./obj-*' -cf - . | tar -C "$tree" -xf -

# The newest changelog entry is of this version, a rebuild's or another
# distribution's suffix (+b1, build1, ~ppa1, -0ubuntu1) allowed.
package_version=$(cd "$tree" && dpkg-parsechangelog -S Version)
upstream=$(sed -E 's/^[0-9]+://; s/-[^-]*$//' <<<"$package_version")
[[ "$upstream" == "$version" || "$upstream" =~ ^"$version"[^0-9.] ]] \
    || fail "debian/changelog's newest entry is of $upstream, not of $version"

(cd "$tree" && DEB_BUILD_OPTIONS="parallel=$(nproc)" dpkg-buildpackage -us -uc >"$work/build.log" 2>&1) \
    || { tail -40 "$work/build.log"; fail "dpkg-buildpackage failed"; }
grep -E 'tests passed|Test +#' "$work/build.log" | tail -3

changes=$(echo "$work"/velmora_"${package_version#*:}"_*.changes)
deb=$(echo "$work"/velmora_"${package_version#*:}"_*.deb)
[ -f "$changes" ] && [ -f "$deb" ] || fail "no package built"
# Source, binary and changes: not one error or warning. (An older lintian
# than the package's policy only says that it is older.)
lintian=(lintian --fail-on error,warning --suppress-tags newer-standards-version)
"${lintian[@]}" --info "$changes" 2>&1 | grep -v 'running with root privileges' || true
"${lintian[@]}" "$changes" >/dev/null 2>&1 || fail "lintian found errors or warnings"

depends=$(dpkg-deb -f "$deb" Depends)
for needed in libqt6widgets6 libc6 qt6-qpa-plugins 'fonts-noto-ui-core | fonts-dejavu-core'; do
    [[ "$depends" == *"$needed"* ]] || fail "Depends lacks $needed: $depends"
done
# Without Qt's wayland platform the strip runs through XWayland.
[[ "$depends" != *qt6-wayland* ]] || fail "Depends names qt6-wayland: $depends"

# Installed: what a desktop needs, valid, with one version throughout.
root=$work/root
dpkg-deb -x "$deb" "$root"
id=$VELMORA_APP_ID
for file in applications/$id.desktop metainfo/$id.metainfo.xml icons/hicolor/{16x16,32x32,128x128}/apps/$id.png \
            man/man1/velmora.1.gz; do
    [ -f "$root/usr/share/$file" ] || fail "the package lacks /usr/share/$file"
done
# Built with the layer shell: its module where the program looks, and Qt's wayland platform recommended.
if [ "$(dpkg-query -W -f='${Status}' liblayershellqtinterface-dev 2>/dev/null)" = "install ok installed" ]; then
    [ -f "$root/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/velmora/velmora-layer-shell.so" ] || fail "the package lacks the layer shell's module"
    [[ "$(dpkg-deb -f "$deb" Recommends)" == *qt6-wayland* ]] || fail "Recommends lacks qt6-wayland"
fi
desktop-file-validate "$root/usr/share/applications/$id.desktop"
appstreamcli validate --no-net "$root/usr/share/metainfo/$id.metainfo.xml"
[ "$("$root/usr/bin/velmora" --version)" = "velmora $version" ] || fail "the packaged velmora says $("$root/usr/bin/velmora" --version)"
grep -E "<release version=\"$version\" date=\"[0-9]{4}-[0-9]{2}-[0-9]{2}\"" "$root/usr/share/metainfo/$id.metainfo.xml" \
    >/dev/null || fail "the metadata's release is not $version with a date"
zcat "$root/usr/share/man/man1/velmora.1.gz" | sed -n 1p | grep -E "^\.TH VELMORA 1 \"[A-Z][a-z]+ [0-9]{4}\" \"Velmora $version\"" \
    >/dev/null || fail "the manual page's header is not of $version"
"$e2e" "$root/usr/bin/velmora" "$convert_date" C UTC
