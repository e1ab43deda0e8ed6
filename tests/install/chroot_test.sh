#!/usr/bin/env bash
# Installs the Debian package into a fresh Debian 12 system (debootstrap, minimal variant) and
# there builds and runs the consumer program with find_package(DmCodec) and with pkg-config,
# runs the tool and imports the Python module. Needs root and Debian's mirror; not part of the
# test suite (it downloads a system), run by hand or in the full run:
#   tests/install/chroot_test.sh build/dmcodec_*.deb [CHROOT_DIR]
set -euo pipefail
deb=$(realpath "$1")
root=${2:-$(mktemp -d /var/tmp/dmcodec-chroot.XXXXXX)}
here="$(cd "$(dirname "$0")" && pwd)"
mirror=${DEBIAN_MIRROR:-http://deb.debian.org/debian}

[[ -x $root/bin/bash ]] || debootstrap --variant=minbase bookworm "$root" "$mirror" >/dev/null
mkdir -p "$root/work"
cp "$deb" "$root/work/"
cp -r "$here/consumer" "$root/work/"
mount --bind /proc "$root/proc"
trap 'umount "$root/proc"' EXIT
chroot "$root" /bin/bash -euo pipefail -c "
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends /work/$(basename "$deb") cmake g++ make \
        pkg-config >/dev/null
    cd /work
    cmake -S consumer -B with-cmake >/dev/null
    cmake --build with-cmake >/dev/null
    echo \"find_package build: \$(with-cmake/consumer)\"
    g++ -std=c++20 consumer/consumer.cpp -o with-pkg-config \$(pkg-config --cflags --libs dmcodec)
    echo \"pkg-config build: \$(./with-pkg-config)\"
    dmcodec --version
    python3 -c 'import dmcodec, numpy; a = dmcodec.encode(\"chroot\"); print(\"python:\", dmcodec.decode(a).text)'
"
