#!/bin/sh
# dib2ppm as a user runs it: a good file becomes the reference PPM byte for
# byte, a refused file exits 1 with the reader's message on standard error,
# an output that cannot be written exits 1 and leaves no cut file, and wrong
# arguments exit 2. $1: the build directory.
set -u
build="$1"
src=$(cd "$(dirname "$0")/../.." && pwd)
suite="$src/../shared/bmpsuite"
tool="$build/dib2ppm"
failures=0

fail() {
    echo "dib2ppm_test: $*" >&2
    failures=$((failures + 1))
}

[ -f "$suite/MANIFEST.tsv" ] || { echo "dib2ppm_test: the BMP suite is missing at $suite" >&2; exit 1; }
[ -x "$tool" ] || { echo "dib2ppm_test: $tool not built" >&2; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/dib2ppm.XXXXXX")
disk="$work/disk"
trap 'umount "$disk" 2>/dev/null; rm -rf "$work"' EXIT

for name in pal1 pal4 pal8 pal8os2 pal8w126 rgb24; do
    "$tool" "$suite/g/$name.bmp" "$work/$name.ppm" 2>"$work/err"
    status=$?
    [ "$status" -eq 0 ] || fail "g/$name.bmp: expected exit 0, got $status ($(cat "$work/err"))"
    cmp -s "$work/$name.ppm" "$suite/ref/g/$name.ppm" || fail "g/$name.bmp: output differs from ref/g/$name.ppm"
done

"$tool" "$suite/g/pal8v5.bmp" "$work/v5.ppm" 2>"$work/err"
status=$?
[ "$status" -eq 1 ] || fail "g/pal8v5.bmp: expected exit 1, got $status"
printf 'Error\nUnknown DIB file format.\n' | cmp -s - "$work/err" ||
    fail "g/pal8v5.bmp: expected the message \"Unknown DIB file format.\" on stderr, got: $(cat "$work/err")"
[ ! -e "$work/v5.ppm" ] || fail "g/pal8v5.bmp: an output file was written for a refused input"

"$tool" "$suite/b/shortfile.bmp" "$work/short.ppm" 2>"$work/err"
status=$?
[ "$status" -eq 1 ] || fail "b/shortfile.bmp: expected exit 1, got $status"
grep -qx "Image file conversion error." "$work/err" || fail "b/shortfile.bmp: message was: $(cat "$work/err")"

"$tool" "$work/missing.bmp" "$work/missing.ppm" 2>"$work/err"
status=$?
[ "$status" -eq 1 ] || fail "missing file: expected exit 1, got $status"
printf 'Error\nFailed to open DIB file %s.\n' "$work/missing.bmp" | cmp -s - "$work/err" ||
    fail "missing file: expected the caption and one line of text, got: $(cat "$work/err")"

"$tool" "$suite/g/rgb24.bmp" "$work/none/out.ppm" 2>"$work/err"
status=$?
[ "$status" -eq 1 ] || fail "output in a missing directory: expected exit 1, got $status"
grep -qx "dib2ppm: cannot write $work/none/out.ppm: No such file or directory" "$work/err" ||
    fail "output in a missing directory: message was: $(cat "$work/err")"

# A disk of 40 KiB holds one 24 KiB picture but not a second: rewriting it
# fails and keeps the first whole, a new one is not made, and no temporary
# is left. Lines: output, expected exit.
if [ "$(id -u)" -ne 0 ]; then
    echo "dib2ppm_test: full-disk cases skipped: mounting a small tmpfs needs root"
elif ! { mkdir "$disk" && mount -t tmpfs -o size=40k tmpfs "$disk" 2>/dev/null; }; then
    echo "dib2ppm_test: full-disk cases skipped: cannot mount a tmpfs here"
else
    while read -r name expected; do
        "$tool" "$suite/g/rgb24.bmp" "$disk/$name" 2>"$work/err"
        status=$?
        [ "$status" -eq "$expected" ] || fail "full disk, $name: expected exit $expected, got $status"
        [ "$status" -eq 0 ] || grep -qx "dib2ppm: cannot write $disk/$name: No space left on device" "$work/err" ||
            fail "full disk, $name: message was: $(cat "$work/err")"
        cmp -s "$disk/first.ppm" "$suite/ref/g/rgb24.ppm" || fail "full disk, $name: first.ppm is not whole"
        [ "$(ls -A "$disk")" = first.ppm ] || fail "full disk, $name: the disk holds $(ls -A "$disk" | tr '\n' ' ')"
    done <<CASES
first.ppm 0
first.ppm 1
second.ppm 1
CASES
fi

"$tool" "$suite/g/pal8.bmp" >/dev/null 2>&1
status=$?
[ "$status" -eq 2 ] || fail "one argument: expected exit 2, got $status"
"$tool" --help | grep -q "usage: dib2ppm IN OUT.ppm" || fail "--help prints no usage"

[ "$failures" -eq 0 ] || exit 1
echo "dib2ppm_test: all passed"
