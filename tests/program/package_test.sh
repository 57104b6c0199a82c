#!/bin/sh
# The installed program and its Debian package: `cmake --install` into a
# temporary prefix and the .deb from CPack unpacked with dpkg-deb each hold
# the program, its data, a valid desktop entry, the icon, a clean manual
# page and the README, and each runs from another directory with the same
# trace as the build's program. lintian reports no error on the package.
# $1: the build directory.
set -u
build=$(cd "${1:?usage: package_test.sh BUILD-DIR}" && pwd)
# Run by hand as well as by ctest: the same leak suppressions either way.
LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$(cd "$(dirname "$0")/.." && pwd)/lsan.supp}
export LSAN_OPTIONS
work=$(mktemp -d "${TMPDIR:-/tmp}/package.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "package_test: FAIL: $*"; failures=$((failures + 1)); }

# Four seconds of the show on the fixed clock: both songs' absence or a
# missing photo would show in the trace and on standard error.
trace_args="--headless --fps 60 --until 4 --trace"
# shellcheck disable=SC2086
(cd "$build" && ./eyesonly $trace_args) >"$work/expected" 2>"$work/expected.err" ||
    fail "the build's program: exit $?"
mkdir "$work/elsewhere" "$work/no-user-data"
export XDG_DATA_HOME="$work/no-user-data"

# check_tree NAME PREFIX: what an installed tree must hold, and its program
# run from a directory without data.
check_tree() {
    for file in bin/eyesonly lib/eyesonly/modules/eyesonly-capture.so share/eyesonly/data/skorv1.bitmap share/eyesonly/data/skorv2.bitmap \
        share/eyesonly/data/skorv3.bitmap share/eyesonly/data/Tq_outro.xm share/eyesonly/data/VELTO63K.XM \
        share/applications/eyesonly.desktop share/icons/hicolor/256x256/apps/eyesonly.png \
        share/man/man6/eyesonly.6.gz share/doc/eyesonly/README.md share/doc/eyesonly/copyright; do
        [ -f "$2/$file" ] || fail "$1: no $file"
    done
    desktop-file-validate "$2/share/applications/eyesonly.desktop" || fail "$1: the desktop entry is not valid"
    grep -qx 'Exec=eyesonly --desktop' "$2/share/applications/eyesonly.desktop" || fail "$1: the entry does not start eyesonly --desktop"
    [ "$(head -c 8 "$2/share/icons/hicolor/256x256/apps/eyesonly.png" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] ||
        fail "$1: the icon is no PNG"
    lint=$(zcat "$2/share/man/man6/eyesonly.6.gz" | groff -man -ww -z 2>&1)
    [ -z "$lint" ] || fail "$1: groff on the manual page: $lint"
    # shellcheck disable=SC2086
    (cd "$work/elsewhere" && "$2/bin/eyesonly" $trace_args) >"$work/got" 2>"$work/got.err"
    code=$?
    [ "$code" = 0 ] || fail "$1: the program run from elsewhere: exit $code, stderr [$(head -c 300 "$work/got.err")]"
    cmp -s "$work/expected" "$work/got" || fail "$1: the trace differs from the build's ($(wc -l <"$work/got") lines)"
    cmp -s "$work/expected.err" "$work/got.err" || fail "$1: standard error differs: [$(head -c 300 "$work/got.err")]"
    # A capture opens the installed capture module.
    (cd "$work/elsewhere" && "$2/bin/eyesonly" --capture "$work/one.mkv" --force --until 1) >/dev/null 2>"$work/got.err" &&
        [ -s "$work/one.mkv" ] || fail "$1: a capture from the installed tree: [$(head -c 300 "$work/got.err")]"
}

# 1. cmake --install into a temporary prefix.
cmake --install "$build" --prefix "$work/prefix" >"$work/install.log" 2>&1 ||
    fail "cmake --install: $(tail -n 3 "$work/install.log")"
check_tree "cmake --install" "$work/prefix"

# 2. The package, unpacked.
(cd "$build" && cpack -G DEB -B "$work/deb") >"$work/cpack.log" 2>&1 || fail "cpack: $(tail -n 5 "$work/cpack.log")"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
deb="$work/deb/eyesonly_${version}_amd64.deb"
if [ ! -f "$deb" ]; then
    fail "no $deb: $(ls "$work/deb")"
else
    depends=$(dpkg-deb -f "$deb" Depends)
    for needed in fonts-dejavu-core libsdl2 libopenmpt libfreetype libfontconfig libavcodec libpng; do
        case "$depends" in *"$needed"*) ;; *) fail "the package does not depend on $needed: $depends" ;; esac
    done
    dpkg-deb -x "$deb" "$work/unpacked" || fail "dpkg-deb -x failed"
    check_tree "the package" "$work/unpacked/usr"
    lintian --fail-on error "$deb" >"$work/lintian" 2>&1 ||
        fail "lintian reports errors: $(grep '^E:' "$work/lintian")"
    sed 's/^/package_test: lintian: /' "$work/lintian"
fi

[ "$failures" -eq 0 ] || exit 1
echo "package_test: all passed"
