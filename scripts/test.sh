#!/usr/bin/env bash
# Builds everything (installing what is missing) and runs the whole test suite.
set -euo pipefail

here="$(cd "$(dirname "$0")/.." && pwd)"
"$here/scripts/setup.sh"
ctest --test-dir "$here/build" --output-on-failure -j2
