#!/bin/sh
# dib2ppm as a user runs it: a good file becomes the reference PPM byte for
# byte, a refused file exits 1 with the reader's message on standard error,
# an output that cannot be written exits 1 and leaves no cut file, and wrong
# arguments exit 2. The files come from the public BMP suite
# (../shared/bmpsuite or BMPSUITE_DIR); where it is absent, from the show's
# own photos, with a refused and a cut file made from them. $1: the build
# directory.
set -u
build="$1"
src=$(cd "$(dirname "$0")/../.." && pwd)
suite="${BMPSUITE_DIR:-$src/../shared/bmpsuite}"
name=dib2ppm_test
tool="$build/dib2ppm"
. "$src/tests/support/tool_preamble.sh"

# Pairs of a good file and its reference decode; a file with a 124-byte
# header (refused as unknown), a cut one, and the good file the full-disk
# cases write.
if [ -f "$suite/MANIFEST.tsv" ]; then
    pairs=""
    for name in pal1 pal4 pal8 pal8os2 pal8w126 rgb24; do
        pairs="$pairs $suite/g/$name.bmp:$suite/ref/g/$name.ppm"
    done
    v5="$suite/g/pal8v5.bmp"
    short="$suite/b/shortfile.bmp"
    good="$suite/g/rgb24.bmp"
    good_ref="$suite/ref/g/rgb24.ppm"
else
    echo "dib2ppm_test: the BMP suite is not at $suite (BMPSUITE_DIR=...): checking with the show's own photos"
    "$build/makedata" "$work/made" --ppm >/dev/null || fail "makedata failed"
    pairs=""
    # The 24-bit photos decode to makedata's own pictures of them (the
    # 8-bit one is a palette's approximation of its picture).
    for n in 1 3; do pairs="$pairs $work/made/skorv$n.bitmap:$work/made/skorv$n.ppm"; done
    # skorv1.bitmap has the 14-byte file header and a 40-byte info header.
    v5="$work/v5.bmp"
    cp "$work/made/skorv1.bitmap" "$v5"
    printf '\174' | dd of="$v5" bs=1 seek=14 conv=notrunc 2>/dev/null
    short="$work/short.bmp"
    head -c 1000 "$work/made/skorv1.bitmap" >"$short"
    good="$work/made/skorv3.bitmap"
    good_ref="$work/made/skorv3.ppm"
fi
good_kib=$((($(wc -c <"$good_ref") + 4095) / 4096 * 4))

for pair in $pairs; do
    file=${pair%%:*}
    ref=${pair#*:}
    "$tool" "$file" "$work/out.ppm" 2>"$work/err"
    status=$?
    [ "$status" -eq 0 ] || fail "$file: expected exit 0, got $status ($(cat "$work/err"))"
    cmp -s "$work/out.ppm" "$ref" || fail "$file: output differs from $ref"
done

"$tool" "$v5" "$work/v5.ppm" 2>"$work/err"
status=$?
[ "$status" -eq 1 ] || fail "$v5: expected exit 1, got $status"
printf 'Error\nUnknown DIB file format.\n' | cmp -s - "$work/err" ||
    fail "$v5: expected the message \"Unknown DIB file format.\" on stderr, got: $(cat "$work/err")"
[ ! -e "$work/v5.ppm" ] || fail "$v5: an output file was written for a refused input"

"$tool" "$short" "$work/short.ppm" 2>"$work/err"
status=$?
[ "$status" -eq 1 ] || fail "$short: expected exit 1, got $status"
grep -qx "Image file conversion error." "$work/err" || fail "$short: message was: $(cat "$work/err")"

"$tool" "$work/missing.bmp" "$work/missing.ppm" 2>"$work/err"
status=$?
[ "$status" -eq 1 ] || fail "missing file: expected exit 1, got $status"
printf 'Error\nFailed to open DIB file %s.\n' "$work/missing.bmp" | cmp -s - "$work/err" ||
    fail "missing file: expected the caption and one line of text, got: $(cat "$work/err")"

"$tool" "$good" "$work/none/out.ppm" 2>"$work/err"
status=$?
[ "$status" -eq 1 ] || fail "output in a missing directory: expected exit 1, got $status"
grep -qx "dib2ppm: cannot write $work/none/out.ppm: No such file or directory" "$work/err" ||
    fail "output in a missing directory: message was: $(cat "$work/err")"

# A disk of one and a half pictures holds one but not a second: rewriting it
# fails and keeps the first whole, a new one is not made, and no temporary
# is left. Lines: output, expected exit.
if small_disk $((good_kib * 3 / 2)); then
    while read -r name expected; do
        "$tool" "$good" "$disk/$name" 2>"$work/err"
        status=$?
        [ "$status" -eq "$expected" ] || fail "full disk, $name: expected exit $expected, got $status"
        [ "$status" -eq 0 ] || grep -qx "dib2ppm: cannot write $disk/$name: No space left on device" "$work/err" ||
            fail "full disk, $name: message was: $(cat "$work/err")"
        cmp -s "$disk/first.ppm" "$good_ref" || fail "full disk, $name: first.ppm is not whole"
        [ "$(ls -A "$disk")" = first.ppm ] || fail "full disk, $name: the disk holds $(ls -A "$disk" | tr '\n' ' ')"
    done <<CASES
first.ppm 0
first.ppm 1
second.ppm 1
CASES
fi

"$tool" "$good" >/dev/null 2>&1
status=$?
[ "$status" -eq 2 ] || fail "one argument: expected exit 2, got $status"
"$tool" --help | grep -q "usage: dib2ppm IN OUT.ppm" || fail "--help prints no usage"

test_end
