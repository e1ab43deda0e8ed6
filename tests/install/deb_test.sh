#!/usr/bin/env bash
# Builds the Debian package of the build and checks what it holds: the tool and its manual
# pages and completion, the libraries, the public headers and the CMake and pkg-config files
# under /usr, and dependencies on Debian's libraries rather than on anything of the build's.
# Usage: deb_test.sh BUILD_DIR
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" >/dev/null)
deb=$(find "$work" -maxdepth 1 -name 'dmcodec_*.deb')
[[ -n $deb ]] || { echo "no package written"; exit 1; }
contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
for path in ./usr/bin/dmcodec ./usr/share/bash-completion/completions/dmcodec \
    ./usr/include/dmcodec/decoder/decode_image.h ./usr/include/dmcodec/grading/print_quality.h \
    ./usr/include/dmcodec/encoder/symbol_encoder.h ./usr/lib/cmake/DmCodec/DmCodecConfig.cmake \
    ./usr/lib/pkgconfig/dmcodec.pc; do
    grep -qxF "$path" <<<"$contents" || { echo "missing from the package: $path"; exit 1; }
done
# The libraries: static, or the one shared library of a DM_SHARED_LIBS build.
if ! grep -qxF ./usr/lib/libdmcodec.so <<<"$contents"; then
    for path in ./usr/lib/libdmdecoder.a ./usr/lib/libdmencoder.a ./usr/lib/libdmgrading.a; do
        grep -qxF "$path" <<<"$contents" || { echo "missing from the package: $path"; exit 1; }
    done
fi
if [[ -n ${2:-} ]]; then
    grep -qxF ./usr/share/man/man1/dmcodec-decode.1.gz <<<"$contents" ||
        grep -qxF ./usr/share/man/man1/dmcodec-decode.1 <<<"$contents" ||
        { echo "missing from the package: the manual pages"; exit 1; }
fi
if grep -q '^./usr/include/dmcodec/detection/finder_pass' <<<"$contents"; then
    echo "private headers in the package"
    exit 1
fi
depends=$(dpkg-deb -f "$deb" Depends)
for library in libc6 libstdc++6 libturbojpeg0 libpng16-16; do
    grep -q "\b$library\b" <<<"$depends" || { echo "no dependency on $library: $depends"; exit 1; }
done
if grep -qxF ./usr/bin/dmcodec-window <<<"$contents"; then
    for path in ./usr/share/applications/dmcodec-window.desktop \
        ./usr/share/icons/hicolor/64x64/apps/dmcodec-window.png; do
        grep -qxF "$path" <<<"$contents" || { echo "missing from the package: $path"; exit 1; }
    done
    for library in libqt6widgets6 qt6-qpa-plugins; do
        grep -q "\b$library\b" <<<"$depends" || { echo "no dependency on $library: $depends"; exit 1; }
    done
fi
python=$(grep -E '^\./usr/lib/python3/dist-packages/dmcodec\.cpython-[^/]*\.so$' <<<"$contents" || true)
if [[ -n $python ]]; then
    grep -qxF ./usr/lib/python3/dist-packages/dmcodec.pyi <<<"$contents" ||
        { echo "the Python module's stub is not beside it"; exit 1; }
    grep -q '\bpython3-numpy\b' <<<"$depends" || { echo "no dependency on NumPy: $depends"; exit 1; }
fi
echo "$(basename "$deb"): $(wc -l <<<"$contents") entries; Depends: $depends"
