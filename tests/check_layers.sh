#!/usr/bin/env bash
# Holds every folder's includes to its layer. Bottom up: symbology; the records and geometry both
# detectors share (detection/shared); the two detectors, neither including the other
# (detection/finder_pass, detection/frame_search); decoder; grading. The encoder stands beside
# them on symbology alone; its file writers (jpeg_output, symbol_files: library dmjpeg, over
# libjpeg-turbo and libpng) also write through platform/file_writing.h. platform/ sits on the
# core; tools/, app/ and python/ on platform/ and the core, none including another. No core file includes Qt, and no file includes a header of the
# project's own with angle brackets (that would find a header installed elsewhere first).
# Usage: check_layers.sh [SOURCE_ROOT]. Prints each offending include; fails if there is one.
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"

core="symbology/ detection/ decoder/ grading/ encoder/"
allowed() {
    case "$1" in
        symbology/*) echo "symbology/" ;;
        detection/shared/*) echo "symbology/ detection/shared/" ;;
        detection/finder_pass/*) echo "symbology/ detection/shared/ detection/finder_pass/" ;;
        detection/frame_search/*) echo "symbology/ detection/shared/ detection/frame_search/" ;;
        decoder/*) echo "symbology/ detection/ decoder/" ;;
        grading/*) echo "symbology/ detection/ decoder/ grading/" ;;
        encoder/jpeg_output.* | encoder/symbol_files.*) echo "symbology/ encoder/ platform/file_writing.h" ;;
        encoder/*) echo "symbology/ encoder/" ;;
        platform/*) echo "$core platform/" ;;
        tools/*) echo "$core platform/ tools/" ;;
        app/*) echo "$core platform/ app/" ;;
        python/*) echo "$core platform/ python/" ;;
        *) echo "" ;;
    esac
}
is_core() { [[ $1 =~ ^(symbology|detection|decoder|grading|encoder)/ ]]; }

faults=0
for dir in symbology detection decoder grading encoder platform tools app python bench fuzz tests; do
    [[ -d $dir ]] || continue
    while IFS= read -r file; do
        while IFS=: read -r line text; do
            if [[ $text =~ \<((symbology|detection|decoder|grading|encoder|platform|tools|app|tests)/[^\>]*)\> ]]; then
                echo "$file:$line: includes the project's ${BASH_REMATCH[1]} with angle brackets; use quotes"
                faults=$((faults + 1))
            elif is_core "$file" && [[ $text =~ \<(Q[A-Za-z]*|Qt[A-Za-z]*/.*)\> ]]; then
                echo "$file:$line: includes Qt (${BASH_REMATCH[1]}); the core is standard C++ only"
                faults=$((faults + 1))
            elif [[ -n $(allowed "$file") && $text =~ \"([^\"]+)\" ]]; then
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
