#!/usr/bin/env bash
# Installs the Debian packages Kolpex needs to build, test, package and run, when any is missing.
set -euo pipefail
packages=(cmake g++ make clang libclang-rt-dev qt6-base-dev libmicrohttpd-dev pkg-config
          libbenchmark-dev xvfb xauth fonts-liberation python3 imagemagick
          pandoc file dpkg-dev lintian appstream desktop-file-utils iproute2 util-linux
          python3-pyatspi at-spi2-core dbus xdotool x11-utils weston qt6-wayland
          orca speech-dispatcher dunst nginx-light wrk)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    sudo_cmd=()
    [[ $(id -u) -ne 0 ]] && sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}"
fi
