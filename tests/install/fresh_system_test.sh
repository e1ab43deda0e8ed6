#!/usr/bin/env bash
# The full run's installation check: builds the Debian package of the build and hands it to
# chroot_test.sh, which installs it into a fresh Debian 12 system and builds, runs and imports
# it there. It downloads a system from Debian's mirror and needs root and debootstrap, so it
# runs only when DM_FULL_SWEEP=1 and is skipped (77) otherwise.
# Usage: fresh_system_test.sh BUILD_DIR
set -euo pipefail
build=$1
here="$(cd "$(dirname "$0")" && pwd)"
if [[ ${DM_FULL_SWEEP:-} != 1 ]]; then
    echo "skipped: set DM_FULL_SWEEP=1 (downloads Debian 12; needs root and debootstrap)"
    exit 77
fi
[[ $(id -u) -eq 0 ]] || { echo "needs root to build the chroot"; exit 1; }
command -v debootstrap >/dev/null || { echo "needs debootstrap (apt-get install debootstrap)"; exit 1; }

work=$(mktemp -d /var/tmp/dmcodec-fresh.XXXXXX)
trap 'umount "$work/root/proc" 2>/dev/null || true; rm -rf --one-file-system "$work"' EXIT
(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" >/dev/null)
deb=$(find "$work" -maxdepth 1 -name 'dmcodec_*.deb')
[[ -n $deb ]] || { echo "no package written"; exit 1; }
output=$("$here/chroot_test.sh" "$deb" "$work/root")
echo "$output"
# Each consumer prints what it decoded; every one must have read its symbol.
for line in "find_package build: .* Installed DmCodec 0123456789 [A-D]" \
    "pkg-config build: .* Installed DmCodec 0123456789 [A-D]" "python: chroot"; do
    grep -q "^$line" <<<"$output" || { echo "missing from the run: $line"; exit 1; }
done
grep -q "^dmcodec [0-9]" <<<"$output" || { echo "dmcodec --version printed nothing"; exit 1; }
