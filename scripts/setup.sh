#!/usr/bin/env bash
# Installs every Debian package the build, tests and benchmarks need, then configures and
# builds the project in ./build. Safe to run again: installed packages are kept, the build
# is incremental.
set -euo pipefail

here="$(cd "$(dirname "$0")/.." && pwd)"
build_dir="${BUILD_DIR:-$here/build}"

packages=(
    cmake ninja-build g++ pkg-config help2man dpkg-dev debootstrap
    libgtest-dev libgmock-dev libbenchmark-dev
    libturbojpeg0-dev libpng-dev libcli11-dev nlohmann-json3-dev libhwy-dev
    libzxing-dev libdmtx-dev libzint-dev
    qt6-base-dev qt6-multimedia-dev qt6-qpa-plugins qt6-translations-l10n
    gstreamer1.0-plugins-base gstreamer1.0-plugins-good
    fonts-wqy-microhei xvfb xauth openbox xdotool chromium
    clang libclang-rt-14-dev
    pybind11-dev python3-dev python3-numpy python3-pil python3-pytest python3-zxing-cpp
    python3-pylibdmtx
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
    sudo_cmd=()
    [[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
    echo "Installing: ${missing[*]}"
    "${sudo_cmd[@]}" apt-get update
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
fi

cmake -S "$here" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDM_WERROR=ON
cmake --build "$build_dir"
