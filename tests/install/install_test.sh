#!/usr/bin/env bash
# Installs the build into a fresh prefix and uses it as a program outside the project would:
# the installed tool writes and reads a symbol, every installed header compiles on its own, and
# the consumer program builds and runs once through find_package(DmCodec) and once through
# pkg-config. Usage: install_test.sh BUILD_DIR CONSUMER_SOURCE_DIR [COMPILER [FLAGS]]; FLAGS are
# those the libraries need of the program that links them (the sanitizers of a sanitizer build).
set -euo pipefail
build=$1
consumer=$2
cxx=${3:-g++}
read -r -a cxx_flags <<<"${4:-}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

cmake --install "$build" --prefix "$prefix" >/dev/null

# The installed tool.
"$prefix/bin/dmcodec" encode "installed tool" -o "$work/symbol.png" >/dev/null
[[ $("$prefix/bin/dmcodec" decode "$work/symbol.png") == "installed tool" ]] ||
    { echo "the installed tool did not read back its own symbol"; exit 1; }

# The Python module, when built: in Debian's dist-packages layout, its stub beside it.
modules=$prefix/lib/python3/dist-packages
# (Not in a sanitizer build, whose module needs the sanitizers loaded before Python.)
if [[ ${4:-} != *sanitize* ]] && compgen -G "$modules/dmcodec.cpython-*.so" >/dev/null; then
    [[ -f $modules/dmcodec.pyi ]] || { echo "the Python module's stub is not installed"; exit 1; }
    out=$(cd "$work" && PYTHONPATH=$modules /usr/bin/python3 -c '
import dmcodec
print(dmcodec.decode(dmcodec.encode("installed module")).text, dmcodec.__file__)') ||
        { echo "the installed Python module does not work: $out"; exit 1; }
    [[ $out == "installed module $modules/"* ]] || { echo "the Python module printed: $out"; exit 1; }
fi

# Only the public headers, each complete on its own.
include=$prefix/include/dmcodec
for private in decoder/decoder.h detection/finder_pass/finder_search.h platform/image_files.h; do
    [[ ! -e $include/$private ]] || { echo "private header installed: $private"; exit 1; }
done
while IFS= read -r header; do
    echo "#include <dmcodec/${header#"$include"/}>" |
        "$cxx" -std=c++20 -fsyntax-only -Wall -Wextra -Wpedantic -Werror \
            -I"$prefix/include" -I"$include" -x c++ - ||
        { echo "installed header does not compile alone: $header"; exit 1; }
done < <(find "$include" -name '*.h' | sort)

# find_package(DmCodec CONFIG).
cmake -S "$consumer" -B "$work/consumer-cmake" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_CXX_FLAGS="${cxx_flags[*]}" \
    -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/consumer-cmake" >/dev/null
# (LD_LIBRARY_PATH for the library of a DM_SHARED_LIBS build.)
check() {
    local out
    out=$(LD_LIBRARY_PATH=$3 "$1") || { echo "$2: the consumer failed: $out"; exit 1; }
    [[ $out =~ ^[0-9]+x[0-9]+\ Installed\ DmCodec\ 0123456789\ A$ ]] ||
        { echo "$2: the consumer printed: $out"; exit 1; }
    echo "$2: $out"
}
check "$work/consumer-cmake/consumer" find_package "$prefix/lib"

# pkg-config, with the prefix moved elsewhere: dmcodec.pc finds it from where it lies.
mv "$prefix" "$work/moved"
pc_dir=$(dirname "$(find "$work/moved" -name dmcodec.pc)")
flags=$(PKG_CONFIG_PATH=$pc_dir pkg-config --cflags --libs dmcodec)
# shellcheck disable=SC2086
"$cxx" -std=c++20 -O1 "${cxx_flags[@]}" "$consumer/consumer.cpp" $flags -o "$work/consumer-pc"
check "$work/consumer-pc" pkg-config "$work/moved/lib"
