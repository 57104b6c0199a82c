#!/bin/sh
# The show's face is chosen by name, not by fontconfig's taste: with a
# fontconfig configuration that prefers another installed monospaced face
# for "monospace", frames with text (a caption and a title line)
# stay the same and --version names the same face. Where the pinned face is
# hidden, another face is used with one warning, and the frames differ,
# which shows that the comparison sees a change of face.
# $1: the build directory.
set -u
build=$(cd "${1:?usage: face_test.sh BUILD-DIR}" && pwd)
LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$(cd "$(dirname "$0")/.." && pwd)/lsan.supp}
export LSAN_OPTIONS
failures=0
fail() { echo "face_test: FAIL: $*"; failures=$((failures + 1)); }

pinned="DejaVu Sans Mono"
other=$(fc-list :spacing=mono family | sed 's/,.*//' | grep -vx "$pinned" | sort -u | head -n 1)
other_file=$(fc-list ":spacing=mono:family=$other" file | sed 's/: *$//' | head -n 1)
if [ -z "$other" ]; then
    echo "face_test: did not run: it needs a second monospaced face (tools/install-deps.sh installs fonts-liberation)"
    exit 0
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/face.XXXXXX")
trap 'rm -rf "$work"' EXIT

# The system's configuration with "$other" preferred for monospace (the
# alias comes before the system's own, so that it is first), and one that
# knows no face but "$other".
cat >"$work/prefers.conf" <<CONF
<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "urn:fontconfig:fonts.dtd">
<fontconfig>
  <alias binding="strong"><family>monospace</family><prefer><family>$other</family></prefer></alias>
  <include ignore_missing="no">/etc/fonts/fonts.conf</include>
  <cachedir>$work/cache</cachedir>
</fontconfig>
CONF
cat >"$work/only.conf" <<CONF
<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "urn:fontconfig:fonts.dtd">
<fontconfig>
  <dir>$(dirname "$other_file")</dir>
  <cachedir>$work/cache</cachedir>
</fontconfig>
CONF

got=$(FONTCONFIG_FILE="$work/prefers.conf" fc-match -f '%{family[0]}' monospace)
[ "$got" = "$other" ] || fail "the test's configuration should prefer $other for monospace; fc-match gives $got"

# frames NAME: a caption (a bitmap font) and a title line (the outline font),
# at 5 frames a second.
frames() {
    for t in 2.5 66; do
        (cd "$build" && ./showframe --fps 5 "$t" "$work/$1-$t.ppm") 2>>"$work/$1.err" ||
            fail "$1: showframe $t failed: $(cat "$work/$1.err")"
    done
}
frames plain
FONTCONFIG_FILE="$work/prefers.conf" frames prefers
FONTCONFIG_FILE="$work/only.conf" frames only
for t in 2.5 66; do
    cmp -s "$work/plain-$t.ppm" "$work/prefers-$t.ppm" || fail "the frame at $t s changes when fontconfig prefers $other"
    ! cmp -s "$work/plain-$t.ppm" "$work/only-$t.ppm" || fail "the frame at $t s is the same in $other"
done
[ ! -s "$work/prefers.err" ] || fail "warnings with $pinned installed: $(cat "$work/prefers.err")"
[ "$(sort -u "$work/only.err" | wc -l)" = 1 ] && grep -q "; the text is set in .* (/.*)$" "$work/only.err" ||
    fail "without $pinned: expected one warning naming the face used, got: $(cat "$work/only.err")"

version=$(FONTCONFIG_FILE="$work/prefers.conf" "$build/eyesonly" --version | sed -n 2p)
case "$version" in
    "face: $pinned (/"*) ;;
    *) fail "--version says [$version] where fontconfig prefers $other" ;;
esac

[ "$failures" -eq 0 ] || exit 1
echo "face_test: all passed ($pinned kept where fontconfig prefers $other)"
