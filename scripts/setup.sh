#!/usr/bin/env bash
# Installs the Debian packages the build, the tools and the tests need (Debian 12, as root).
# Does nothing when they are all present already.
set -euo pipefail
packages=(
    cmake ninja-build g++ clang libclang-rt-14-dev clang-format pkg-config dpkg-dev file lintian
    libgtest-dev googletest libbenchmark-dev
    g++-mingw-w64-x86-64-posix mingw-w64-tools binutils-mingw-w64-x86-64
    wine wine64 fonts-wine xvfb xdotool x11-utils x11-apps imagemagick
    libcairo2-dev libpng-dev libsndfile1-dev libfftw3-dev fonts-dejavu-core fonts-dejavu-extra
    libgl-dev libglu1-mesa-dev libgl1-mesa-dri libx11-dev
    lsp-plugins-vst zam-plugins
    lv2-dev sordi lilv-utils liblilv-dev python3
    ardour
    qtractor
)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    apt-get update -q
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}"
fi
