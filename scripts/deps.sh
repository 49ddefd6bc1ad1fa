#!/usr/bin/env bash
# Installs the Debian 12 packages that Vorrindel needs to build, run and test; skips what is there.
set -euo pipefail

build=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-base-dev-tools qt6-svg-dev qcoro-qt6-dev
       libical-dev libicu-dev libxcb1-dev libxcb-keysyms1-dev libxcb-xinput-dev libxcb-xfixes0-dev libxcb-shape0-dev libxcb-randr0-dev libcanberra-dev libgl-dev
       sound-theme-freedesktop fonts-roboto-unhinted fonts-material-design-icons-iconfont fonts-noto-color-emoji xdg-utils)
tests=(libbenchmark-dev clang-16 libclang-rt-16-dev dbus-daemon xvfb xdotool x11-utils trayer xcompmgr x11-xserver-utils xserver-xorg-core xserver-xorg-video-dummy khal tzdata desktop-file-utils curl clang-format faketime fuse3)

want=("${build[@]}")
[ "${1:-}" = "--tests" ] && want+=("${tests[@]}")

missing=()
for p in "${want[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
