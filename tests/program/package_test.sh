#!/bin/sh
# The installed program and its Debian package: `cmake --install` into a
# temporary prefix and the .deb from CPack unpacked with dpkg-deb each hold
# the program, its data, a valid desktop entry, the icons, a clean manual
# page and the README, and each runs from another directory with the same
# trace as the build's program. lintian reports no error or warning on the
# package. tools/uninstall.sh empties the prefix again, after a package was
# built in between, and refuses a tree that it did not install.
# On a bare Debian (a minbase root made by debootstrap from the machine's
# own package source, kept in /var/cache/eyesonly between runs), apt installs
# the package with all it needs, the show runs headless and captures an mp4
# there, uninstall.sh keeps the package's files, and dpkg -r leaves none.
# $1: the build directory.
set -u
build=$(cd "${1:?usage: package_test.sh BUILD-DIR}" && pwd)
# Run by hand as well as by ctest: the same leak suppressions either way.
LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$(cd "$(dirname "$0")/.." && pwd)/lsan.supp}
export LSAN_OPTIONS
top=$(cd "$(dirname "$0")/../.." && pwd)
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
        share/applications/eyesonly.desktop \
        share/man/man6/eyesonly.6.gz share/doc/eyesonly/README.md share/doc/eyesonly/copyright; do
        [ -f "$2/$file" ] || fail "$1: no $file"
    done
    desktop-file-validate "$2/share/applications/eyesonly.desktop" || fail "$1: the desktop entry is not valid"
    grep -qx 'Exec=eyesonly --desktop' "$2/share/applications/eyesonly.desktop" || fail "$1: the entry does not start eyesonly --desktop"
    for size in 16 32 48 128 256; do
        # The PNG signature, then IHDR's width and height (4 bytes each, big-endian).
        [ "$(head -c 24 "$2/share/icons/hicolor/${size}x$size/apps/eyesonly.png" 2>/dev/null | od -An -v -tx1 | tr -d ' \n')" = \
          "89504e470d0a1a0a0000000d49484452$(printf '%08x%08x' "$size" "$size")" ] ||
            fail "$1: no $size x $size PNG icon"
    done
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
    for needed in fonts-dejavu-core libsdl2 libopenmpt libfreetype libfontconfig libavcodec libpng libgl1-mesa-dri libegl-mesa0; do
        case "$depends" in *"$needed"*) ;; *) fail "the package does not depend on $needed: $depends" ;; esac
    done
    dpkg-deb -x "$deb" "$work/unpacked" || fail "dpkg-deb -x failed"
    check_tree "the package" "$work/unpacked/usr"
    lintian --fail-on error,warning "$deb" >"$work/lintian" 2>&1 ||
        fail "lintian reports errors or warnings: $(grep '^[EW]:' "$work/lintian")"
    sed 's/^/package_test: lintian: /' "$work/lintian"
fi

# 3. Uninstalling the prefix of step 1, after cpack's own install: nothing
#    of it is left, the prefix it made included, and a tree that cmake
#    --install did not make is refused.
cp "$work/prefix/share/eyesonly/install-manifest.txt" "$work/manifest" 2>/dev/null ||
    fail "cmake --install left no list of what it installed"
"$top/tools/uninstall.sh" "$work/prefix" >"$work/uninstall.log" 2>&1 || fail "uninstall.sh: exit $?: $(tail -n 3 "$work/uninstall.log")"
[ ! -e "$work/prefix" ] || fail "uninstall.sh left $(cd "$work/prefix" && find . | head -n 5)"
# A list it cannot trust is refused whole and kept, nothing removed: one
# that reaches outside, one cut short or edited (CRLF, two spaces, only
# comments, empty). A link on a listed path that leads outside keeps the
# file behind it (the rest goes, the list stays, exit 1). A prefix named
# -P or - is that folder, not cd's option or $OLDPWD.
tampered() {  # NAME LIST: a prefix holding "inside" and LIST as its list
    # shellcheck disable=SC2059
    mkdir -p "$work/$1/share/eyesonly" && touch "$work/$1/inside" && printf "$2" >"$work/$1/share/eyesonly/install-manifest.txt"
}
touch "$work/outside"
for row in 'dotdot|file inside\nfile ../outside\n' 'crlf|file inside\r\n' 'spaces|file  inside\n' 'comments|# file inside\n' 'empty|'; do
    name=${row%%|*} && tampered "$name" "${row#*|}"
    "$top/tools/uninstall.sh" "$work/$name" >/dev/null 2>&1 && fail "uninstall.sh took the list $name"
    [ -f "$work/outside" ] && [ -f "$work/$name/inside" ] && [ -f "$work/$name/share/eyesonly/install-manifest.txt" ] ||
        fail "uninstall.sh removed files or its list on the refused list $name"
done
mkdir -p "$work/beyond" && touch "$work/beyond/secret.txt" && tampered linked 'file inside\nfile share/elsewhere/secret.txt\n'
ln -s ../../beyond "$work/linked/share/elsewhere"
"$top/tools/uninstall.sh" "$work/linked" >"$work/linked.log" 2>&1 && fail "uninstall.sh said all went through a link outside"
[ -f "$work/beyond/secret.txt" ] && grep -q "kept $work/beyond/secret.txt" "$work/linked.log" || fail "uninstall.sh removed a file through a link: $(cat "$work/linked.log")"
[ ! -e "$work/linked/inside" ] && [ -f "$work/linked/share/eyesonly/install-manifest.txt" ] || fail "uninstall.sh, with a link outside: not the rest removed and the list kept"
mkdir "$work/home" && tampered home 'file inside\n' && tampered -P 'file inside\n' && tampered - 'file inside\n'
(cd "$work" && HOME=$work/home OLDPWD=$work/home "$top/tools/uninstall.sh" -P && OLDPWD=$work/home "$top/tools/uninstall.sh" -) >/dev/null 2>&1 ||
    fail "uninstall.sh -P or - failed"
[ ! -e "$work/-P/inside" ] && [ ! -e "$work/-/inside" ] && [ -f "$work/home/inside" ] || fail "uninstall.sh -P or - removed another folder's install"
if [ -d "$work/unpacked/usr" ]; then
    before=$(find "$work/unpacked" | wc -l)
    "$top/tools/uninstall.sh" "$work/unpacked/usr" >/dev/null 2>&1 && fail "uninstall.sh took on a tree it did not install"
    [ "$(find "$work/unpacked" | wc -l)" = "$before" ] || fail "uninstall.sh removed files from a tree it did not install"
fi

# 4. A bare Debian: the package and nothing else, from the machine's own
#    package source. The root needs root's chroot; it is made once and kept.
bare_system() {
    if [ "$(id -u)" -ne 0 ]; then
        echo "package_test: skipped the bare-system install: it needs root (chroot)"
        return
    fi
    for tool in debootstrap unshare flock; do
        command -v "$tool" >/dev/null || { fail "no $tool (tools/install-deps.sh installs it)"; return; }
    done
    # The root runs in a mount namespace of its own, which a container or a
    # chroot may not give (a root filesystem that is not a mount point).
    if ! unshare --mount --propagation private true 2>"$work/unshare.err"; then
        echo "package_test: skipped the bare-system install: no private mount namespace here ($(head -n 1 "$work/unshare.err"))"
        return
    fi
    cache=${EYESONLY_ROOT_CACHE:-/var/cache/eyesonly}
    made=$cache/bookworm-minbase
    mkdir -p "$cache"
    # shellcheck disable=SC2094
    exec 9>"$cache/lock"
    flock 9
    if [ ! -f "$made/.eyesonly-ready" ]; then
        mirror=$("$top/tools/apt-sources.sh" | awk '$1 == "deb" && $3 == "bookworm" { print $2; exit }')
        if [ -z "$mirror" ]; then
            echo "package_test: skipped the bare-system install: the machine's apt sources have no deb line for bookworm"
            exec 9>&-
            return
        fi
        echo "package_test: making a minbase bookworm root from $mirror in $made (once)"
        rm -rf "$made" "$made.making"
        started=$(date +%s)
        if ! debootstrap --variant=minbase bookworm "$made.making" "$mirror" >"$work/debootstrap.log" 2>&1; then
            rm -rf "$made.making"
            exec 9>&-
            if grep -q "Failed getting release file\|Couldn't download\|Failed getting release signature" "$work/debootstrap.log"; then
                echo "package_test: skipped the bare-system install: debootstrap could not reach $mirror ($(grep -m1 '^E:' "$work/debootstrap.log"))"
            else
                fail "debootstrap: $(tail -n 3 "$work/debootstrap.log")"
            fi
            return
        fi
        # The machine's other bookworm suites (updates, security) as well,
        # so that the root's libraries are as new as the ones built against.
        "$top/tools/apt-sources.sh" | awk '$1 == "deb" && $3 ~ /^bookworm(-|$)/ {
            opt = ($4 == "-") ? "" : " [signed-by=" $4 "]"; comps = ""
            for (i = 5; i <= NF; i++) comps = comps " " $i
            print "deb" opt " " $2 " " $3 comps }' >"$made.making/etc/apt/sources.list"
        touch "$made.making/.eyesonly-ready"
        mv "$made.making" "$made"
        echo "package_test: the root took $(($(date +%s) - started)) s and holds $(du -sh "$made" | cut -f1)"
    fi
    exec 9>&-

    # A copy of the kept root for this run, so that it stays bare.
    root=$work/root
    cp -a --reflink=auto "$made" "$root" || { fail "cannot copy $made"; return; }
    cp "$deb" "$root/tmp/" && cp "$work/manifest" "$root/tmp/install-manifest.txt" && cp "$top/tools/uninstall.sh" "$root/tmp/"
    # in_root CMD...: CMD in the root, with its own /proc (which the
    # sanitizers read) in a mount namespace that ends with it, and a plain
    # environment: no display, no host settings.
    in_root() {
        unshare --mount --propagation private sh -c 'mount -t proc proc "$0/proc" && exec chroot "$0" "$@"' "$root" \
            env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 ASAN_OPTIONS=detect_leaks=0 \
            DEBIAN_FRONTEND=noninteractive "$@"
    }
    in_root apt-get update -qq >"$work/apt.log" 2>&1 &&
        in_root apt-get install -y -q --no-install-recommends "/tmp/$(basename "$deb")" >>"$work/apt.log" 2>&1 ||
        { fail "apt-get install of the package in the bare root: $(tail -n 5 "$work/apt.log")"; return; }
    in_root sh -c 'cd /tmp && eyesonly --headless --fps 30 --until 3' >"$work/bare.log" 2>&1 ||
        fail "eyesonly --headless --fps 30 --until 3 in the bare root: exit $?: $(tail -n 5 "$work/bare.log")"
    in_root sh -c 'cd /tmp && eyesonly --capture /tmp/three.mp4 --until 3' >"$work/bare.log" 2>&1 ||
        fail "a 3 s mp4 capture in the bare root: exit $?: $(tail -n 5 "$work/bare.log")"
    [ -s "$root/tmp/three.mp4" ] || fail "the capture in the bare root left no /tmp/three.mp4"
    # The prefix's list laid over the package's files, as if cmake --install
    # had put them in /usr: uninstall.sh keeps every one of them.
    cp "$root/tmp/install-manifest.txt" "$root/usr/share/eyesonly/install-manifest.txt"
    in_root sh /tmp/uninstall.sh /usr >"$work/bare.log" 2>&1 || fail "uninstall.sh /usr over the package: exit $?: $(tail -n 3 "$work/bare.log")"
    [ -z "$(in_root dpkg --verify eyesonly)" ] || fail "uninstall.sh touched the package's files: $(in_root dpkg --verify eyesonly)"
    in_root dpkg -L eyesonly >"$work/listed"
    in_root dpkg -r eyesonly >"$work/bare.log" 2>&1 || fail "dpkg -r eyesonly: $(tail -n 3 "$work/bare.log")"
    while IFS= read -r path; do
        [ -d "$root$path" ] && [ ! -L "$root$path" ] && continue
        [ ! -e "$root$path" ] || fail "dpkg -r left $path"
    done <"$work/listed"
    [ ! -e "$root/usr/share/eyesonly" ] || fail "dpkg -r left /usr/share/eyesonly: $(ls -A "$root/usr/share/eyesonly")"
    echo "package_test: the bare root took the package and its needs: $(grep -c '^Setting up' "$work/apt.log" || true) packages set up"
}
[ ! -f "$deb" ] || bare_system

[ "$failures" -eq 0 ] || exit 1
echo "package_test: all passed"
