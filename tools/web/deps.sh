#!/bin/sh
# Builds the browser build's two libraries with emscripten from Debian's own
# source packages, into PREFIX (default: build-webdeps/ in the top folder):
#   lib/libopenmpt.a, include/libopenmpt/*.h*   the tracker-music player (XM alone)
#   lib/libGLU.a, include/GL/glu.h               GLU's tessellator and quadrics
# Runs once per clean build: a stamp records the source versions, the
# compiler and this script's own hash, and a later run with the same stamp
# does nothing. Prints one line a step with its time; on any failure it says
# which step failed, exits non-zero and leaves no stamp.
#
# Needs the deb-src line and the toolchain that ./tools/install-deps.sh --web
# installs.
set -eu

openmpt_version=0.6.9-1
glu_version=9.0.2-1.1

usage() {
  echo "usage: $0 [PREFIX]   (default PREFIX: build-webdeps/ in the top folder)"
}
case "${1:-}" in
  -h|--help) usage; exit 0 ;;
  -*) usage >&2; exit 2 ;;
esac
if [ $# -gt 1 ]; then
  usage >&2
  exit 2
fi

script=$(cd "$(dirname "$0")" && pwd)/$(basename "$0")
top=$(cd "$(dirname "$0")/../.." && pwd)
prefix=${1:-$top/build-webdeps}
mkdir -p "$prefix"
prefix=$(cd "$prefix" && pwd)
jobs=$(nproc 2>/dev/null || echo 2)
stamp=$prefix/deps.stamp

for tool in emcc em++ emar apt-get dpkg-source make sha256sum; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "deps: $tool is missing: run ./tools/install-deps.sh --web" >&2
    exit 1
  fi
done

want=$(printf 'libopenmpt %s\nlibglu %s\nemcc %s\nscript %s\n' \
  "$openmpt_version" "$glu_version" \
  "$(emcc --version | head -n 1)" \
  "$(sha256sum "$script" | cut -d' ' -f1)")
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$want" ] &&
   [ -f "$prefix/lib/libopenmpt.a" ] && [ -f "$prefix/lib/libGLU.a" ] &&
   [ -f "$prefix/include/libopenmpt/libopenmpt.hpp" ] && [ -f "$prefix/include/GL/glu.h" ]; then
  echo "deps: up to date in $prefix"
  exit 0
fi

if [ -z "$(apt-cache showsrc libopenmpt 2>/dev/null)" ]; then
  echo "deps: apt knows no source packages: run ./tools/install-deps.sh --web" >&2
  exit 1
fi

# A clean start: nothing from an earlier or broken run is reused.
rm -f "$stamp"
rm -rf "$prefix/src" "$prefix/obj" "$prefix/lib" "$prefix/include"
mkdir -p "$prefix/src" "$prefix/obj" "$prefix/lib" "$prefix/include"

step=""
step_start=0
begin() {
  step=$1
  step_start=$(date +%s)
}
done_step() {
  echo "deps: $step ($(( $(date +%s) - step_start )) s)"
  step=""
}
on_exit() {
  rc=$?
  if [ "$rc" -ne 0 ] && [ -n "$step" ]; then
    echo "deps: FAILED: $step (see above); no stamp written" >&2
  fi
  exit "$rc"
}
trap on_exit EXIT

# Runs a command with its output in LOG, which is printed only on failure.
quiet() {
  log=$1
  shift
  if ! "$@" >"$log" 2>&1; then
    cat "$log" >&2
    return 1
  fi
}

# 1. libopenmpt's source package, with Debian's changes applied.
begin "fetch libopenmpt $openmpt_version"
(cd "$prefix/src" && quiet fetch-libopenmpt.log apt-get source -q "libopenmpt=$openmpt_version")
openmpt_src=$prefix/src/libopenmpt-${openmpt_version%-*}
[ -f "$openmpt_src/Makefile.am" ]
done_step

# 2. GLU's source package. The mirror may lack its Debian diff (packaging
# only: the debian/ folder); the orig tarball alone then holds every source
# file built here.
begin "fetch libglu $glu_version"
glu_upstream=${glu_version%-*}
if (cd "$prefix/src" && apt-get source -q "libglu=$glu_version" >fetch-libglu.log 2>&1); then
  glu_src=$prefix/src/libglu-$glu_upstream
else
  (cd "$prefix/src" && apt-get source -q --download-only "libglu=$glu_version" >>fetch-libglu.log 2>&1) || true
  orig=libglu_$glu_upstream.orig.tar.gz
  dsc=$prefix/src/libglu_$glu_version.dsc
  if [ ! -f "$prefix/src/$orig" ] || [ ! -f "$dsc" ]; then
    cat "$prefix/src/fetch-libglu.log" >&2
    exit 1
  fi
  sum=$(sed -n '/^Checksums-Sha256:/,/^[A-Z]/p' "$dsc" | awk -v f="$orig" '$3 == f { print $1 }')
  if [ -z "$sum" ] || ! (cd "$prefix/src" && echo "$sum  $orig" | sha256sum -c --status); then
    echo "deps: $orig does not match the checksum in $(basename "$dsc")" >&2
    exit 1
  fi
  echo "deps: libglu's Debian diff is not on the mirror: using the orig tarball alone (the diff is packaging only)"
  tar -xzf "$prefix/src/$orig" -C "$prefix/src"
  glu_src=$prefix/src/glu-$glu_upstream
fi
[ -f "$glu_src/include/GL/glu.h" ]
done_step

# Compiles SOURCES (relative to SRC) into OBJ and archives them into LIB,
# with make running JOBS compilers at once.
#   build_lib NAME SRC OBJ LIB "CC FLAGS" "CXX FLAGS" SOURCES...
build_lib() {
  name=$1 src=$2 obj=$3 lib=$4 cflags=$5 cxxflags=$6
  shift 6
  mkdir -p "$obj"
  {
    echo "SRC := $src"
    echo "CFLAGS := $cflags"
    echo "CXXFLAGS := $cxxflags"
    printf 'OBJS :='
    for f in "$@"; do printf ' %s.o' "$f"; done
    echo
    echo "$lib: \$(OBJS)"
    printf '\trm -f $@ && emar rcs $@ $(OBJS)\n'
    for f in "$@"; do
      case "$f" in
        *.c) compile='emcc $(CFLAGS)' ;;
        *) compile='em++ $(CXXFLAGS)' ;;
      esac
      echo "$f.o: \$(SRC)/$f"
      printf '\t@mkdir -p $(@D) && %s -c $< -o $@\n' "$compile"
    done
  } >"$obj/Makefile"
  quiet "$obj/build.log" make -C "$obj" -j"$jobs" "$lib"
}

# 3. libopenmpt: the library's own sources, as its autotools build lists
# them, with the defines its configure script sets (the version strings), and
# none of the optional decoders (zlib, mpg123, ogg, vorbis), which only
# compressed samples in other formats need. C++17 and hidden symbols as the
# configure script picks them; -Os, which makes the page's WebAssembly 66 kB
# (gzipped) smaller than Debian's -O2 and mixes the same samples (the
# whole-show browser test holds them against a capture's). The library
# reports every failure by an exception, and catches some itself: built with
# WebAssembly's own exceptions (-fwasm-exceptions), as the page's program is,
# which need no JavaScript call around each call that may throw.
#
# The page plays two XM songs and nothing else, so its library reads XM
# alone: the list of module loaders in Sndfile.cpp is cut to XM's, and the
# packed containers (XPK, PP20, MMCMP, UMX) are neither probed nor
# unpacked, which leaves the other formats' loaders unlinked: the same
# samples from an XM, in less WebAssembly.
begin "build libopenmpt.a"
sndfile=$openmpt_src/soundlib/Sndfile.cpp
for line in 'MPT_DECLARE_FORMAT(XM),' 'UnpackXPK(containerItems' 'ProbeFileHeaderUMX(file'; do
  grep -q "$line" "$sndfile" || { echo "deps: $sndfile has no $line: the XM-only cut needs a new look" >&2; exit 1; }
done
sed -i -e '/^static constexpr FileFormatLoader ModuleFormatLoaders/,/^};/{/MPT_DECLARE_FORMAT(/{/MPT_DECLARE_FORMAT(XM)/!d}}' \
       -e '/MPT_DO_PROBE(result, ProbeFileHeader\(MMCMP\|PP20\|XPK\|UMX\)(/d' \
       -e '/if(packedContainerType == ModContainerType::None && Unpack\(XPK\|PP20\|MMCMP\|UMX\)(/d' "$sndfile"
[ "$(grep -c 'MPT_DECLARE_FORMAT(' "$sndfile")" -eq 3 ]  # the two defines and XM's line
! grep -q 'Unpack\(XPK\|PP20\|MMCMP\|UMX\)(\|ProbeFileHeader\(MMCMP\|PP20\|XPK\|UMX\)(' "$sndfile"
am=$openmpt_src/Makefile.am
openmpt_sources=$(sed -n -E 's/^MPT_FILES_(COMMON|SOUNDBASE|SOUNDLIB|SOUNDDSP) \+= (.*\.cpp)$/\2/p' "$am")
openmpt_sources="$openmpt_sources $(sed -n -E 's/^libopenmpt_la_SOURCES \+= (libopenmpt\/.*\.cpp)$/\1/p' "$am")"
[ "$(echo $openmpt_sources | wc -w)" -gt 100 ]
defines=""
for d in MPT_SVNURL MPT_SVNVERSION MPT_SVNDATE MPT_PACKAGE; do
  value=$(sed -n -E "s/^AC_DEFINE\(\[$d\], \[([^]]*)\].*/\1/p" "$openmpt_src/configure.ac")
  [ -n "$value" ]
  defines="$defines -D$d='$value'"
done
build_lib libopenmpt "$openmpt_src" "$prefix/obj/libopenmpt" "$prefix/lib/libopenmpt.a" "" \
  "-Os -std=c++17 -fvisibility=hidden -fwasm-exceptions -DLIBOPENMPT_BUILD $defines -I\$(SRC)/build/svn_version -I\$(SRC) -I\$(SRC)/src -I\$(SRC)/common" \
  $openmpt_sources
mkdir -p "$prefix/include/libopenmpt"
for h in $(sed -n -E 's/^nobase_include_HEADERS \+= (libopenmpt\/.*\.h(pp)?)$/\1/p' "$am"); do
  cp "$openmpt_src/$h" "$prefix/include/libopenmpt/"
done
[ -f "$prefix/include/libopenmpt/libopenmpt.hpp" ]
done_step

# 4. GLU: the polygon tessellator and the quadrics with their projection
# helpers, nothing else; their GL calls are resolved when the program is
# linked. (priorityq.c includes priorityq-heap.c itself.) The tessellator
# leaves a failed polygon by longjmp: WebAssembly's own, beside its exceptions.
begin "build libGLU.a"
glu_sources=$(cd "$glu_src" && ls src/libtess/*.c | grep -v priorityq-heap.c) 
glu_sources="$glu_sources src/libutil/quad.c src/libutil/project.c"
build_lib libGLU "$glu_src" "$prefix/obj/libGLU" "$prefix/lib/libGLU.a" \
  "-O2 -sSUPPORT_LONGJMP=wasm -fvisibility=hidden -DLIBRARYBUILD -I\$(SRC)/include -I\$(SRC)/src/include" "" \
  $glu_sources
mkdir -p "$prefix/include/GL"
cp "$glu_src/include/GL/glu.h" "$prefix/include/GL/"
done_step

echo "$want" >"$stamp"
echo "deps: done in $prefix"
