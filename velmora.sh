#!/usr/bin/env bash
# Set up, build and start or test Velmora on Debian 12 (as root, or with sudo).
#   ./velmora.sh run    install what is missing, build, start the strip
#   ./velmora.sh test   install what is missing, build, run every test
set -euo pipefail
cd "$(dirname "$0")"

# Everything the build and the program need, then what the tests add.
RUN_PACKAGES=(build-essential cmake ninja-build qt6-base-dev fonts-noto-ui-core fonts-dejavu-core)
TEST_PACKAGES=(xvfb xauth xdotool xclip x11-utils desktop-file-utils appstream dpkg-dev lintian)

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

install_missing() {
    local missing=() package
    for package in "$@"; do
        dpkg-query -W -f='${Status}\n' "$package" 2>/dev/null | grep -q '^install ok installed$' \
            || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return
    echo "Installing: ${missing[*]}"
    as_root apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

build() {
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
    cmake --build build
}

case "${1:-}" in
run)
    install_missing "${RUN_PACKAGES[@]}"
    build -DBUILD_TESTING=OFF
    exec build/velmora
    ;;
test)
    install_missing "${RUN_PACKAGES[@]}" "${TEST_PACKAGES[@]}"
    build -DBUILD_TESTING=ON
    cd build && ctest --output-on-failure
    ;;
*)
    echo "usage: $0 run|test" >&2
    exit 2
    ;;
esac
