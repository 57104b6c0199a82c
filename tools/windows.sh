#!/bin/sh
# Builds the show for 64-bit Windows with MinGW-w64 into build-win/:
# build-win/eyesonly-windows-x64.zip holds eyesonly.exe (linked statically:
# it needs no DLL that Windows does not have), eyesonly.com for command
# prompts, the show's data, a README.txt and the licence. showframe.exe is
# built beside it for the tests.
#   tools/windows.sh               build the zip
#   tools/windows.sh --native DIR  take the show's data and icon from the
#                                  native build in DIR (which has made its
#                                  data and showframe targets)
#
# Needs the toolchain: ./tools/install-deps.sh --windows. The first build
# also builds SDL2, libopenmpt and GLU for Windows from Debian's sources into
# build-windeps/ (several minutes); later builds reuse them.
set -eu
cd "$(dirname "$0")/.."
native=""
while [ "$#" -gt 0 ]; do
    case "$1" in
    --native) [ "$#" -ge 2 ] || { echo "windows: --native needs a build folder" >&2; exit 2; }; native=$2; shift ;;
    --help) sed -n '2,14s/^# \{0,1\}//p' "$0"; exit 0 ;;
    *) echo "windows: unknown argument $1 (try --help)" >&2; exit 2 ;;
    esac
    shift
done
command -v x86_64-w64-mingw32-g++-posix >/dev/null ||
    { echo "windows: x86_64-w64-mingw32-g++-posix not found: run ./tools/install-deps.sh --windows" >&2; exit 1; }
. tools/native_data.sh

# 1. The show's data, its glyphs and its icon, made natively.
native_data windows "$native" data showframe

# The icon, drawn by the native build's showframe at the sizes Explorer
# shows, as one .ico of PNG pictures: a 6-byte header, a 16-byte entry a
# picture, then the pictures.
[ -x "$native/showframe" ] || { echo "windows: $native/showframe not found: build it there first" >&2; exit 1; }
mkdir -p build-win/icon
top=$(pwd)
sizes="16 24 32 48 64 256"
le() { # VALUE BYTES: VALUE little-endian
    v=$1 n=$2
    while [ "$n" -gt 0 ]; do printf "\\$(printf %03o $((v & 255)))"; v=$((v >> 8)); n=$((n - 1)); done
}
offset=$((6 + 16 * $(echo $sizes | wc -w)))
{
    le 0 2; le 1 2; le "$(echo $sizes | wc -w)" 2
    for size in $sizes; do
        (cd "$native" && LSAN_OPTIONS=suppressions=$top/tests/lsan.supp ./showframe --icon "$size" \
            "$top/build-win/icon/$size.png" >/dev/null)
        bytes=$(wc -c <"build-win/icon/$size.png")
        le $((size & 255)) 1; le $((size & 255)) 1; le 0 2; le 1 2; le 32 2; le "$bytes" 4; le "$offset" 4
        offset=$((offset + bytes))
    done
    for size in $sizes; do cat "build-win/icon/$size.png"; done
} >build-win/eyesonly.ico.new
mv build-win/eyesonly.ico.new build-win/eyesonly.ico

# 2. SDL2, libopenmpt and GLU for Windows, once.
./tools/windows/deps.sh build-windeps

# 3. The program and the zip.
cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE="$(pwd)/tools/windows/mingw.cmake" -DCMAKE_BUILD_TYPE=Release \
    -DEYESONLY_WIN_DEPS="$(pwd)/build-windeps" -DEYESONLY_WIN_DATA="$data" \
    -DEYESONLY_WIN_ICON="$(pwd)/build-win/eyesonly.ico" >/dev/null
cmake --build build-win -j"$jobs"
echo "windows: $(pwd)/build-win/eyesonly-windows-x64.zip"
