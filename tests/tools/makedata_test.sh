#!/bin/sh
# makedata as a user runs it: --help and wrong arguments make nothing, and a
# disk that fills up while it writes leaves whole files or none, never a cut
# file or a temporary. $1: the build directory.
set -u
build=$(cd "${1:?usage: makedata_test.sh BUILD-DIR}" && pwd)
name=makedata_test
tool="$build/makedata"
data="$build/data"
. "$(dirname "$0")/../support/tool_preamble.sh"

# Arguments, the exit status, and the stream with the usage (the other one
# stays empty). Each runs in an empty directory that must stay empty.
while IFS='|' read -r args status usage; do
    quiet=err
    [ "$usage" = err ] && quiet=out
    rm -rf "$work/run" && mkdir "$work/run"
    # shellcheck disable=SC2086 # the arguments split at spaces
    (cd "$work/run" && "$tool" $args >"$work/out" 2>"$work/err")
    got=$?
    [ "$got" -eq "$status" ] || fail "makedata $args: expected exit $status, got $got"
    grep -q "^usage: makedata OUTDIR" "$work/$usage" || fail "makedata $args: no usage on std$usage"
    [ ! -s "$work/$quiet" ] || fail "makedata $args: std$quiet was not empty: $(cat "$work/$quiet")"
    [ -z "$(ls -A "$work/run")" ] || fail "makedata $args: made $(ls -A "$work/run" | tr '\n' ' ')"
done <<CASES
--help|0|out
-h|0|out
out --ppm --help|0|out
|2|err
-x|2|err
--frobnicate out|2|err
out --ppm -p|2|err
out other|2|err
CASES

# A 300 KiB disk holds the first two photos (264 KiB in pages) but not the
# third; a second run finds no room even for the first one's temporary.
# $1: the file the run fails on; the files already there must be whole.
expect_full_disk() {
    "$tool" "$disk/out" >/dev/null 2>"$work/err"
    got=$?
    [ "$got" -eq 1 ] || fail "full disk at $1: expected exit 1, got $got"
    grep -qF "makedata: cannot write $disk/out/$1: No space left on device" "$work/err" ||
        fail "full disk at $1: message was: $(cat "$work/err")"
    [ "$(ls -A "$disk/out" | tr '\n' ' ')" = "skorv1.bitmap skorv2.bitmap " ] ||
        fail "full disk at $1: the directory holds: $(ls -A "$disk/out" | tr '\n' ' ')"
    for name in skorv1.bitmap skorv2.bitmap; do
        cmp -s "$disk/out/$name" "$data/$name" || fail "full disk at $1: $name is not the whole file"
    done
}
if small_disk 300; then
    expect_full_disk skorv3.bitmap
    expect_full_disk skorv1.bitmap
fi

# The build's step that puts the made files into build/data/ never replaces
# a file there that it did not put there itself, whatever its time stamp:
# it fills in what is missing, renews what it wrote before, and keeps the
# rest. Its folders: made (what makedata made) and data.
place() {
    cmake -DMADE="$work/made" -DDATA="$work/data" -P "$src/tools/place_data.cmake" >"$work/place.log" 2>&1 ||
        fail "placing the data: $(cat "$work/place.log")"
}
src=$(cd "$(dirname "$0")/../.." && pwd)
rm -rf "$work/made" "$work/data"
mkdir "$work/made" "$work/data"
cp "$build/made-data"/* "$work/made/"
place
for name in skorv1.bitmap skorv2.bitmap skorv3.bitmap Tq_outro.xm VELTO63K.XM; do
    cmp -s "$work/made/$name" "$work/data/$name" || fail "an empty data folder did not get $name"
done
# A user's photo, older than everything (as cp -p and tar leave it); a song
# the build wrote, then made anew; a photo deleted.
cp "$work/made/skorv2.bitmap" "$work/data/skorv1.bitmap"
touch -d 2000-01-01 "$work/data/skorv1.bitmap"
printf 'a newer song' >>"$work/made/Tq_outro.xm"
rm "$work/data/skorv3.bitmap"
place
cmp -s "$work/made/skorv2.bitmap" "$work/data/skorv1.bitmap" || fail "the user's own skorv1.bitmap was replaced"
grep -q "Kept $work/data/skorv1.bitmap" "$work/place.log" || fail "no word about the kept file: $(cat "$work/place.log")"
cmp -s "$work/made/Tq_outro.xm" "$work/data/Tq_outro.xm" || fail "the build's own older song was not renewed"
cmp -s "$work/made/skorv3.bitmap" "$work/data/skorv3.bitmap" || fail "a deleted photo was not made again"
place
cmp -s "$work/made/skorv2.bitmap" "$work/data/skorv1.bitmap" || fail "the user's own skorv1.bitmap was replaced on a second build"

test_end
