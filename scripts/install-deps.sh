#!/usr/bin/env bash
# Installs the Debian 12 packages the workstation needs to build and test,
# asking apt-get only for what is missing.
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config dpkg-dev file lintian
    qt6-base-dev qt6-serialport-dev libgl-dev libqt6sql6-sqlite libqt6sql6-psql libsqlite3-dev
    postgresql poppler-utils fonts-dejavu-core
    nlohmann-json3-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    g++-mingw-w64-i686 g++-mingw-w64-x86-64
    xvfb xauth
    clang-14 libclang-rt-14-dev
    libusb-1.0-0 libusb-1.0-0-dev umockdev libumockdev-dev
    wine64
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

echo "Installing: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
    sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
