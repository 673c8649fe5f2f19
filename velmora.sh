#!/usr/bin/env bash
# Set up, build and start or test Velmora on Debian 12 or 13 (as root, or with sudo).
#   ./velmora.sh run    install what is missing, build, start the strip
#   ./velmora.sh test   install what is missing, build, run every test
#   ./velmora.sh bench [PROGRAM...]
#                       install what is missing, build, measure start-up and idle cost;
#                       further programs (a build before a change) in the same rounds
set -euo pipefail
cd "$(dirname "$0")"

# What the build and its own tests need comes from debian/control (apt-get
# build-dep); these are what the program needs at run time, then what the
# desktop, package and sanitizer tests add.
RUN_PACKAGES=(build-essential dpkg-dev ninja-build qt6-qpa-plugins qt6-wayland qt6-translations-l10n fonts-noto-ui-core)
TEST_PACKAGES=(x11-utils x11-xserver-utils xclip wmctrl openbox icewm mutter lemonbar dbus-bin xserver-xorg-core
               xserver-xorg-video-dummy desktop-file-utils appstream lintian
               locales clang libclang-rt-dev llvm)
# Where the Wayland layer-shell strip is built: compositors to test it under.
WAYLAND_TEST_PACKAGES=(sway xwayland grim foot wl-clipboard jq imagemagick labwc wtype kwin-wayland weston)
BENCH_PACKAGES=(xvfb xauth dbus-daemon fontconfig fonts-noto-core)
# Where the layer shell is built: a compositor to measure the native strip on.
BENCH_WAYLAND_PACKAGES=(sway qt6-wayland)
# The end-to-end tests run the strip under each of these (and under C).
TEST_LOCALES=(en_US.UTF-8 fa_IR.UTF-8)

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

install_missing() {
    local missing=() package
    for package in "$@"; do
        [ "$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null)" = "install ok installed" ] \
            || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return
    echo "Installing: ${missing[*]}"
    as_root apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# build_dependencies [PROFILE]: what debian/control's Build-Depends name for
# this release (without the test-only ones under the nocheck profile).
build_dependencies() {
    local profile=()
    [ -z "${1:-}" ] || profile=(-P "$1")
    dpkg-checkbuilddeps "${profile[@]}" >/dev/null 2>&1 && return
    echo "Installing the build dependencies${1:+ (profile $1)}"
    as_root apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive apt-get build-dep -y -qq --no-install-recommends "${profile[@]}" ./
}

generate_locales() {
    local available missing=() name
    available=$(locale -a)
    for name in "$@"; do
        grep -qix "${name%.UTF-8}.utf8" <<<"$available" || missing+=("$name")
    done
    [ ${#missing[@]} -eq 0 ] && return
    echo "Generating locales: ${missing[*]}"
    for name in "${missing[@]}"; do
        grep -q "^$name UTF-8" /etc/locale.gen 2>/dev/null || echo "$name UTF-8" | as_root tee -a /etc/locale.gen >/dev/null
    done
    as_root locale-gen >/dev/null
}

# build DIR [CMAKE OPTION...]
build() {
    local dir=$1; shift
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
    cmake --build "$dir"
}

case "${1:-}" in
run)
    install_missing "${RUN_PACKAGES[@]}"
    build_dependencies nocheck
    build build -DBUILD_TESTING=OFF
    exec build/velmora
    ;;
test)
    install_missing "${RUN_PACKAGES[@]}" "${TEST_PACKAGES[@]}"
    build_dependencies
    if [ "$(dpkg-query -W -f='${Status}' liblayershellqtinterface-dev 2>/dev/null)" = "install ok installed" ]; then
        install_missing "${WAYLAND_TEST_PACKAGES[@]}"
    fi
    generate_locales "${TEST_LOCALES[@]}"
    # Every test on the release build; then the conversion, widget, leak and
    # fuzz tests again built by clang with AddressSanitizer and UBSan.
    build build -DBUILD_TESTING=ON
    (cd build && ctest --output-on-failure)
    CC=clang CXX=clang++ build build-sanitize -DBUILD_TESTING=ON -DVELMORA_SANITIZE=ON
    (cd build-sanitize && ctest --output-on-failure)
    ;;
bench)
    install_missing "${RUN_PACKAGES[@]}" "${BENCH_PACKAGES[@]}"
    build_dependencies nocheck
    build build-bench -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DVELMORA_BENCH=ON
    echo "machine:$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2), $(nproc) cores," \
         "$(free -g | awk '/Mem:/{print $2}') GiB, Qt $(qtpaths6 --qt-version), Xvfb"
    XDG_RUNTIME_DIR=$(mktemp -d)
    export XDG_RUNTIME_DIR
    # A bare desktop's few faces, then every face installed here; each in a
    # D-Bus session, as a desktop has, so the strip's claim of its name and
    # every program's accessibility lookup count.
    programs=(build-bench/velmora build-bench/bench/bench_label build-bench/bench/bench_empty "${@:2}")
    for fonts in minimal full; do
        export FONTCONFIG_FILE=$PWD/tests/fonts/$fonts.conf
        echo "== X11, fonts: $fonts ($(fc-list | wc -l) faces)"
        dbus-run-session -- xvfb-run -a -s "-screen 0 1280x800x24 -nolisten tcp" \
            env QT_QPA_PLATFORM=xcb build-bench/bench/startup_bench 201 "${programs[@]}"
    done
    # Native Wayland, where the layer shell is built: a headless sway, run as
    # nobody (it will not run as root), that logs the requests it takes; the
    # programs choose their platform as in a user's Wayland session.
    if [ -e build-bench/velmora-layer-shell.so ]; then
        install_missing "${BENCH_WAYLAND_PACKAGES[@]}"
        chown nobody "$XDG_RUNTIME_DIR"
        echo "output HEADLESS-1 resolution 1280x800" >"$XDG_RUNTIME_DIR/config"
        setpriv --reuid=nobody --regid=nogroup --clear-groups -- env WLR_BACKENDS=headless WLR_RENDERER=pixman \
            WLR_LIBINPUT_NO_DEVICES=1 WAYLAND_DEBUG=server sway -c "$XDG_RUNTIME_DIR/config" 2>"$XDG_RUNTIME_DIR/sway.log" &
        sway=$!
        until socket=$(ls "$XDG_RUNTIME_DIR" | grep -m1 -x 'wayland-[0-9]'); do kill -0 $sway; sleep 0.1; done
        export FONTCONFIG_FILE=$PWD/tests/fonts/minimal.conf
        echo "== Wayland (sway $(sway --version | awk '{print $3}')), fonts: minimal ($(fc-list | wc -l) faces)"
        dbus-run-session -- env -u DISPLAY WAYLAND_DISPLAY="$socket" XDG_SESSION_TYPE=wayland \
            BENCH_COMPOSITOR_LOG="$XDG_RUNTIME_DIR/sway.log" build-bench/bench/startup_bench 201 "${programs[@]}"
        kill $sway
    fi
    rm -rf "$XDG_RUNTIME_DIR"
    ;;
*)
    echo "usage: $0 run|test|bench [PROGRAM...]" >&2
    exit 2
    ;;
esac
