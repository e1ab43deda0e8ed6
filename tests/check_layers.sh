#!/usr/bin/env bash
# Holds the core's includes to its layers. Bottom up: symbology; the decoder records
# (decoder/decoder_records.h); detection/finder; detection/sampling; the rest of decoder/; grading.
# The encoder stands beside them on symbology alone; its file writers (jpeg_output, symbol_files:
# library dmjpeg, outside the core) also write through platform/file_writing.h. A core file may
# include its own layer and those below; no core file includes Qt or a header of platform/,
# tools/, app/ or tests/.
# Usage: check_layers.sh [SOURCE_ROOT]. Prints each offending include; fails if there is one.
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"

allowed() {
    case "$1" in
        symbology/*) echo "symbology/" ;;
        decoder/decoder_records.h) echo "symbology/ decoder/decoder_records.h" ;;
        detection/finder/*) echo "symbology/ decoder/decoder_records.h detection/finder/" ;;
        detection/sampling/*) echo "symbology/ decoder/decoder_records.h detection/" ;;
        decoder/*) echo "symbology/ decoder/ detection/" ;;
        grading/*) echo "symbology/ decoder/ detection/ grading/" ;;
        encoder/jpeg_output.* | encoder/symbol_files.*) echo "symbology/ encoder/ platform/file_writing.h" ;;
        encoder/*) echo "symbology/ encoder/" ;;
    esac
}

faults=0
for dir in symbology decoder detection grading encoder; do
    [[ -d $dir ]] || continue
    while IFS= read -r file; do
        while IFS=: read -r line text; do
            if [[ $text =~ \<(Q[A-Za-z]*|Qt[A-Za-z]*/.*)\> ]]; then
                echo "$file:$line: includes Qt (${BASH_REMATCH[1]}); the core is standard C++ only"
                faults=$((faults + 1))
            elif [[ $text =~ \"([^\"]+)\" ]]; then
                header=${BASH_REMATCH[1]}
                fits=0
                for prefix in $(allowed "$file"); do
                    [[ $header == "$prefix"* ]] && fits=1
                done
                if ((!fits)); then
                    echo "$file:$line: includes $header, outside its layer and those below (it may include: $(allowed "$file"))"
                    faults=$((faults + 1))
                fi
            fi
        done < <(grep -n -E '^[[:space:]]*#[[:space:]]*include' "$file" || true)
    done < <(find "$dir" -name '*.h' -o -name '*.cpp' | sort)
done
if ((faults)); then
    echo "$faults include(s) break the layering"
    exit 1
fi
