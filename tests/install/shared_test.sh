#!/usr/bin/env bash
# Builds the codec as the shared library DM_SHARED_LIBS makes, in a build of its own (the library
# alone, unoptimised, to keep it short), installs it into a fresh prefix and uses it as a program
# outside the project would: the consumer program built once through find_package(DmCodec) and
# once through pkg-config, linked to libdmcodec.so and run. Checks the SONAME and that the library
# exports the functions the installed headers declare and nothing else of the codec.
# Usage: shared_test.sh SOURCE_DIR CONSUMER_SOURCE_DIR [COMPILER]
set -euo pipefail
source=$1
consumer=$2
cxx=${3:-g++}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
build=$work/build
prefix=$work/prefix
fail() {
    echo "$*"
    exit 1
}

cmake -S "$source" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-O0 \
    -DCMAKE_CXX_COMPILER="$cxx" -DDM_WERROR=ON -DDM_SHARED_LIBS=ON -DDM_BUILD_TESTS=OFF \
    -DDM_BUILD_APP=OFF -DDM_BUILD_BENCH=OFF -DDM_PYTHON=OFF >"$work/configure.log" ||
    { cat "$work/configure.log"; fail "the shared build does not configure"; }
ninja -C "$build" -j1 dmcodec_shared >"$work/build.log" ||
    { tail -40 "$work/build.log"; fail "the shared library does not build"; }
for component in runtime development; do
    cmake --install "$build" --prefix "$prefix" --component "$component" >/dev/null
done

# The library, its SONAME and links; no static library beside it.
lib=$prefix/lib
real=$(readlink -f "$lib/libdmcodec.so")
soname=$(readelf -d "$real" | sed -n 's/.*Library soname: \[\(.*\)\]/\1/p')
[[ $soname =~ ^libdmcodec\.so\.[0-9]+(\.[0-9]+)?$ ]] || fail "SONAME is '$soname'"
[[ -L $lib/$soname && $(readlink -f "$lib/$soname") == "$real" ]] ||
    fail "no $soname link to $(basename "$real")"
[[ $(basename "$real") == "$soname".* ]] || fail "$(basename "$real") does not extend $soname"
[[ -z $(find "$lib" -name 'libdm*.a') ]] || fail "static libraries installed beside the shared one"

# What it exports of the codec: exactly the functions the installed headers mark DM_API
# (constructors, destructors and operators of the classes among them).
declared=$(grep -rhoz 'DM_API [^(;]*(' "$prefix/include/dmcodec" | tr '\0\n' '  ' |
    grep -oE '(~?[A-Za-z_][A-Za-z0-9_]*|operator[^ (]+)\(' | tr -d '(' | sort -u)
exported=$(nm -DC --defined-only "$real" | grep -o ' dm::[^(]*(' | sed 's/^ dm::\(.*\)($/\1/' |
    sed 's/.*:://' | sort -u)
for name in decodeImage decodeAllSymbols encodeSymbols drawModules gradeImage gradeSymbol \
    statusMeaning isComplete; do
    grep -qxF "$name" <<<"$exported" || fail "the public $name is not exported"
done
unexpected=$(comm -23 <(echo "$exported") <(echo "$declared"))
[[ -z $unexpected ]] || fail "exported but not in the public headers: $(tr "\n" " " <<<"$unexpected")"
for internal in findFinder searchWholeFrame readStillImage decodeModuleMatrix symbolSize; do
    ! grep -qxF "$internal" <<<"$exported" || fail "the internal $internal is exported"
done
echo "libdmcodec: SONAME $soname, $(wc -l <<<"$exported") functions exported," \
    "$(nm -DC --defined-only "$real" | grep -c ' dm::') symbols of the codec"

check() {
    local out
    readelf -d "$1" | grep -qF "[$soname]" || fail "$2: the consumer does not need $soname"
    out=$(LD_LIBRARY_PATH=$3 "$1") || fail "$2: the consumer failed: $out"
    [[ $out =~ ^[0-9]+x[0-9]+\ Installed\ DmCodec\ 0123456789\ A$ ]] ||
        fail "$2: the consumer printed: $out"
    echo "$2: $out"
}

# find_package(DmCodec CONFIG): the layers' names stand for the one library.
cmake -S "$consumer" -B "$work/consumer-cmake" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/consumer-cmake" >/dev/null
check "$work/consumer-cmake/consumer" find_package "$lib"

# pkg-config, with the prefix moved elsewhere.
mv "$prefix" "$work/moved"
flags=$(PKG_CONFIG_PATH=$work/moved/lib/pkgconfig pkg-config --cflags --libs dmcodec)
[[ $flags == *-ldmcodec* ]] || fail "pkg-config gives $flags"
# shellcheck disable=SC2086
"$cxx" -std=c++20 -O1 "$consumer/consumer.cpp" $flags -o "$work/consumer-pc"
check "$work/consumer-pc" pkg-config "$work/moved/lib"
