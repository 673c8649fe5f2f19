#!/usr/bin/env bash
# Proves the README's commands on a fresh Debian: builds a minbase chroot of
# RELEASE with debootstrap (once, kept under FRESH_DEBIAN_CACHE), copies it,
# clones the committed tree into the copy and runs `./velmora.sh COMMAND`
# there. For `run`, the strip is shown on an Xvfb of the host's and counts as
# started once its window is mapped. `package` does instead what the README's
# "Build the Debian package" says, installs the package and runs its
# autopkgtest against it. `buildd` builds the package as Debian's build
# machines and Launchpad do: with only the first alternative of each build
# dependency installed, under the profiles in DEB_BUILD_PROFILES. Needs root,
# debootstrap and, for `run`, Xvfb and xdotool on the host.
# usage: [DEB_BUILD_PROFILES=...] tools/fresh-debian.sh RELEASE [test|run|package|buildd]
set -euo pipefail
usage="usage: $0 RELEASE [test|run|package|buildd]"
release=${1:?$usage} command=${2:-test}
case "$command" in test|run|package|buildd) ;; *) echo "$usage" >&2; exit 2 ;; esac
[ "$(id -u)" -eq 0 ] || { echo "$0: run as root (debootstrap and chroot need it)" >&2; exit 1; }
repo=$(git -C "$(dirname "$0")" rev-parse --show-toplevel)
cache=${FRESH_DEBIAN_CACHE:-/var/cache/velmora-fresh}

# Debian's archive as apt is set up here: the first source serving the
# "debian" archive itself (not its security updates).
mirror=$(apt-get indextargets --format '$(REPO_URI)' 'Created-By: Packages' 2>/dev/null \
         | grep -E '/debian/?$' | sort -u | sed -n 1p || true)
[ -n "$mirror" ] || { echo "$0: no Debian archive in apt's sources; run apt-get update" >&2; exit 1; }

base=$cache/$release
if [ ! -d "$base" ]; then
    echo "== debootstrap $release from $mirror"
    mkdir -p "$cache"
    rm -rf "$base.new"
    debootstrap --variant=minbase "$release" "$base.new" "$mirror" >"$cache/$release.log"
    mv "$base.new" "$base"
fi

root=$(mktemp -d /var/tmp/fresh-$release.XXXXXX)
xvfb_pid=
# Ends whatever still runs inside the chroot (the strip, a test's X server).
stop_inside() {
    local proc
    for proc in /proc/[0-9]*; do
        [ "$(readlink "$proc/root" 2>/dev/null)" != "$root" ] || kill "${proc#/proc/}" 2>/dev/null || true
    done
}
cleanup() {
    stop_inside
    [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true
    rm -rf --one-file-system "$root"
}
trap cleanup EXIT
cp -a "$base/." "$root/"
cp /etc/resolv.conf "$root/etc/resolv.conf"
git clone -q --no-local "$repo" "$root/velmora"

inside="cd /velmora && ./velmora.sh $command"
if [ "$command" = package ]; then
    inside='set -eo pipefail; cd /velmora; export DEBIAN_FRONTEND=noninteractive
        apt-get update -qq; apt-get build-dep -y -qq ./ >/dev/null
        dpkg-buildpackage -us -uc -b >/tmp/build.log 2>&1 || { tail -30 /tmp/build.log; exit 1; }
        apt-get install -y -qq --no-install-recommends lintian autopkgtest >/dev/null
        echo "== lintian:"; lintian --fail-on error,warning --pedantic -I -E --suppress-tags newer-standards-version ../velmora_*.changes; echo "== lintian: no errors or warnings"
        apt-get install -y -qq ../velmora_*.deb >/dev/null; echo "== installed: $(velmora --version)"
        autopkgtest . -- null 2>&1 | tail -25'
fi
if [ "$command" = buildd ]; then
    inside='set -eo pipefail; cd /velmora; export DEBIAN_FRONTEND=noninteractive
        apt-get update -qq; apt-get install -y -qq --no-install-recommends dpkg-dev >/dev/null
        first=$(perl -MDpkg::Control::Info -MDpkg::Deps -e '"'"'
            my $source = Dpkg::Control::Info->new("debian/control")->get_source;
            my $deps = deps_parse($source->{"Build-Depends"}, build_dep => 1, reduce_arch => 1, reduce_profiles => 1,
                                  build_profiles => [split " ", $ENV{DEB_BUILD_PROFILES} // ""]);
            print join(", ", map { ($_->isa("Dpkg::Deps::OR") ? ($_->get_deps)[0] : $_)->output } $deps->get_deps);
        '"'"')
        echo "== first alternatives under profiles \"$DEB_BUILD_PROFILES\": $first"
        apt-get satisfy -y -qq --no-install-recommends "build-essential, $first" >/dev/null
        dpkg-buildpackage -us -uc -b >/tmp/build.log 2>&1 || { tail -30 /tmp/build.log; exit 1; }
        dpkg-deb -x ../velmora_*.deb /tmp/installed; echo "== built: $(/tmp/installed/usr/bin/velmora --version)"'
    inside="export DEB_BUILD_PROFILES='${DEB_BUILD_PROFILES:-}'; $inside"
fi
if [ "$command" = run ]; then
    mkdir -p "$root/tmp/.X11-unix"
    Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$root/display" 2>/dev/null &
    xvfb_pid=$!
    for _ in $(seq 100); do [ -s "$root/display" ] && break; sleep 0.1; done
    display=:$(cat "$root/display")
    inside="export DISPLAY=$display; $inside"
fi

# A mount namespace of its own: the chroot's mounts go when the run ends.
start=$(date +%s)
status=0
unshare -m --propagation private bash -euc '
    root=$1 inside=$2 command=$3
    mount -t proc proc "$root/proc"
    mount --rbind /sys "$root/sys"
    mount --rbind /dev "$root/dev"
    [ "$command" != run ] || mount --bind /tmp/.X11-unix "$root/tmp/.X11-unix"
    exec chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 bash -c "$inside"
' bash "$root" "$inside" "$command" &
run_pid=$!

if [ "$command" = run ]; then
    # Started once the strip is mapped; then the run is ended.
    shown=no
    while kill -0 "$run_pid" 2>/dev/null; do
        if DISPLAY=$display xdotool search --onlyvisible --name '^Velmora$' >/dev/null 2>&1; then
            shown=yes
            break
        fi
        sleep 1
    done
    stop_inside
    wait "$run_pid" || true
    [ "$shown" = yes ] || status=1
    echo "== $release: ./velmora.sh run: strip shown: $shown ($(( $(date +%s) - start )) s)"
else
    wait "$run_pid" || status=$?
    echo "== $release: $command: exit status $status ($(( $(date +%s) - start )) s)"
fi
exit "$status"
