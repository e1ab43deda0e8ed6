#!/usr/bin/env bash
# Sanitizer and fuzzing run: the core tests under AddressSanitizer + UBSan, then every fuzz
# target for FUZZ_SECONDS (default 60) from its generated seed corpus. Any finding fails.
set -euo pipefail

here="$(cd "$(dirname "$0")/.." && pwd)"
cd "$here"
seconds="${FUZZ_SECONDS:-60}"

cmake --preset asan
cmake --build --preset asan
ctest --preset asan -j2

cmake --preset fuzz
cmake --build --preset fuzz

corpus_root="$(mktemp -d)"
trap 'rm -rf "$corpus_root"' EXIT
for target in decode_frame decode_data extract_correct encode grade; do
    echo "Fuzzing $target for ${seconds}s"
    mkdir -p "$corpus_root/$target"
    log="$corpus_root/$target.log"
    if ! (cd "$corpus_root" && "$here/build-fuzz/fuzz/fuzz_$target" -max_total_time="$seconds" \
            -rss_limit_mb=4096 -timeout=10 -print_final_stats=1 \
            "$corpus_root/$target" "$here/build-fuzz/fuzz/seeds/$target" >"$log" 2>&1); then
        cat "$log"
        echo "fuzz_$target found a problem (see above)" >&2
        exit 1
    fi
    grep -E "^Done|stat::number_of_executed_units" "$log" || true
done
echo "Fuzzing finished without findings"
