#!/bin/sh
# Builds the Windows build's libraries with MinGW-w64 from Debian's own
# source packages (the versions the Linux build links), static, into PREFIX
# (default: build-windeps/ in the top folder):
#   lib/libSDL2.a, include/SDL2/*.h              window, GL context, sound, events
#   lib/libopenmpt.a, include/libopenmpt/*.h*   the tracker-music player
#   lib/libGLU.a, include/GL/glu.h               GLU's tessellator and quadrics,
#                                                the same code as Linux's
# Runs once per clean build: a stamp records the source versions, the
# compiler and this script's own hash, and a later run with the same stamp
# does nothing. Prints one line a step with its time; on any failure it says
# which step failed, exits non-zero and leaves no stamp.
#
# Needs the deb-src line and the toolchain that ./tools/install-deps.sh
# --windows installs.
set -eu

sdl_version=2.26.5+dfsg-1
openmpt_version=0.6.9-1
glu_version=9.0.2-1.1

usage() {
  echo "usage: $0 [PREFIX]   (default PREFIX: build-windeps/ in the top folder)"
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
here=$(dirname "$script")
top=$(cd "$here/../.." && pwd)
prefix=${1:-$top/build-windeps}
mkdir -p "$prefix"
prefix=$(cd "$prefix" && pwd)
jobs=$(nproc 2>/dev/null || echo 2)
stamp=$prefix/deps.stamp
cc=x86_64-w64-mingw32-gcc-posix
cxx=x86_64-w64-mingw32-g++-posix

for tool in $cc $cxx x86_64-w64-mingw32-ar cmake apt-get dpkg-source make sha256sum; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "deps: $tool is missing: run ./tools/install-deps.sh --windows" >&2
    exit 1
  fi
done

want=$(printf 'libsdl2 %s\nlibopenmpt %s\nlibglu %s\ng++ %s\nscript %s\ntoolchain %s\n' \
  "$sdl_version" "$openmpt_version" "$glu_version" \
  "$($cxx --version | head -n 1)" \
  "$(sha256sum "$script" | cut -d' ' -f1)" \
  "$(sha256sum "$here/mingw.cmake" | cut -d' ' -f1)")
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$want" ] &&
   [ -f "$prefix/lib/libSDL2.a" ] && [ -f "$prefix/lib/libopenmpt.a" ] && [ -f "$prefix/lib/libGLU.a" ] &&
   [ -f "$prefix/include/SDL2/SDL.h" ] && [ -f "$prefix/include/libopenmpt/libopenmpt.hpp" ] &&
   [ -f "$prefix/include/GL/glu.h" ]; then
  echo "deps: up to date in $prefix"
  exit 0
fi

if [ -z "$(apt-cache showsrc libopenmpt 2>/dev/null)" ]; then
  echo "deps: apt knows no source packages: run ./tools/install-deps.sh --windows" >&2
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

# Fetches Debian's source package NAME=VERSION into src/ and prints its
# folder. A mirror may lack a package's Debian diff (packaging only: the
# debian/ folder); the orig tarball alone, checked against the .dsc, then
# holds every source file built here.
fetch() {
  name=$1 version=$2 upstream_dir=$3
  upstream=${version%-*}
  if (cd "$prefix/src" && apt-get source -q "$name=$version" >"fetch-$name.log" 2>&1); then
    echo "$prefix/src/$name-$upstream"
    return
  fi
  (cd "$prefix/src" && apt-get source -q --download-only "$name=$version" >>"fetch-$name.log" 2>&1) || true
  dsc=$prefix/src/${name}_$version.dsc
  orig=$(cd "$prefix/src" && ls "${name}_$upstream.orig.tar."* 2>/dev/null | head -n 1)
  if [ -z "$orig" ] || [ ! -f "$dsc" ]; then
    cat "$prefix/src/fetch-$name.log" >&2
    return 1
  fi
  sum=$(sed -n '/^Checksums-Sha256:/,/^[A-Z]/p' "$dsc" | awk -v f="$orig" '$3 == f { print $1 }')
  if [ -z "$sum" ] || ! (cd "$prefix/src" && echo "$sum  $orig" | sha256sum -c --status); then
    echo "deps: $orig does not match the checksum in $(basename "$dsc")" >&2
    return 1
  fi
  echo "deps: $name's Debian diff is not on the mirror: using the orig tarball alone (the diff is packaging only)" >&2
  tar -xf "$prefix/src/$orig" -C "$prefix/src"
  echo "$prefix/src/$upstream_dir"
}

# Compiles SOURCES (relative to SRC) into OBJ and archives them into LIB,
# with make running JOBS compilers at once.
#   build_lib SRC OBJ LIB "CC FLAGS" "CXX FLAGS" SOURCES...
build_lib() {
  src=$1 obj=$2 lib=$3 cflags=$4 cxxflags=$5
  shift 5
  mkdir -p "$obj"
  {
    echo "SRC := $src"
    echo "CFLAGS := $cflags"
    echo "CXXFLAGS := $cxxflags"
    printf 'OBJS :='
    for f in "$@"; do printf ' %s.o' "$f"; done
    echo
    echo "$lib: \$(OBJS)"
    printf '\trm -f $@ && x86_64-w64-mingw32-ar rcs $@ $(OBJS)\n'
    for f in "$@"; do
      case "$f" in
        *.c) compile="$cc \$(CFLAGS)" ;;
        *) compile="$cxx \$(CXXFLAGS)" ;;
      esac
      echo "$f.o: \$(SRC)/$f"
      printf '\t@mkdir -p $(@D) && %s -c $< -o $@\n' "$compile"
    done
  } >"$obj/Makefile"
  quiet "$obj/build.log" make -C "$obj" -j"$jobs" "$lib"
}

# 1. The three source packages, with Debian's changes applied.
begin "fetch libsdl2 $sdl_version"
sdl_src=$(fetch libsdl2 "$sdl_version" "SDL2-${sdl_version%+dfsg-*}")
[ -f "$sdl_src/CMakeLists.txt" ]
done_step
begin "fetch libopenmpt $openmpt_version"
openmpt_src=$(fetch libopenmpt "$openmpt_version" "libopenmpt-${openmpt_version%-*}+release.autotools")
[ -f "$openmpt_src/Makefile.am" ]
done_step
begin "fetch libglu $glu_version"
glu_src=$(fetch libglu "$glu_version" "glu-${glu_version%-*}")
[ -f "$glu_src/include/GL/glu.h" ]
done_step

# 2. SDL2 with its own CMake build: the static library only, with the video,
# sound, events and timers the show uses and none of the game controllers
# or sensors it does not.
begin "build libSDL2.a"
quiet "$prefix/obj/sdl-configure.log" cmake -S "$sdl_src" -B "$prefix/obj/sdl" \
  -DCMAKE_TOOLCHAIN_FILE="$here/mingw.cmake" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DSDL_SHARED=OFF -DSDL_STATIC=ON -DSDL_TEST=OFF -DSDL2_DISABLE_SDL2MAIN=ON -DSDL_INSTALL_TESTS=OFF \
  -DSDL_JOYSTICK=OFF -DSDL_HAPTIC=OFF -DSDL_HIDAPI=OFF -DSDL_SENSOR=OFF -DSDL_POWER=OFF -DSDL_LOCALE=OFF \
  -DSDL_MISC=OFF
quiet "$prefix/obj/sdl-build.log" cmake --build "$prefix/obj/sdl" -j"$jobs"
quiet "$prefix/obj/sdl-install.log" cmake --install "$prefix/obj/sdl"
[ -f "$prefix/lib/libSDL2.a" ]
done_step

# 3. libopenmpt: the library's own sources, as its autotools build lists
# them, with the defines its configure script sets (the version strings), and
# none of the optional decoders (zlib, mpg123, ogg, vorbis), which only
# compressed samples in other formats need. C++17 as the configure script
# picks it; -O2 as Debian's build; a static library (LIBOPENMPT_NO_DLL...
# nothing exported, nothing imported).
begin "build libopenmpt.a"
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
build_lib "$openmpt_src" "$prefix/obj/libopenmpt" "$prefix/lib/libopenmpt.a" "" \
  "-O2 -std=c++17 -DLIBOPENMPT_BUILD $defines -I\$(SRC)/build/svn_version -I\$(SRC) -I\$(SRC)/src -I\$(SRC)/common" \
  $openmpt_sources
mkdir -p "$prefix/include/libopenmpt"
for h in $(sed -n -E 's/^nobase_include_HEADERS \+= (libopenmpt\/.*\.h(pp)?)$/\1/p' "$am"); do
  cp "$openmpt_src/$h" "$prefix/include/libopenmpt/"
done
[ -f "$prefix/include/libopenmpt/libopenmpt.hpp" ]
done_step

# 4. GLU: the polygon tessellator and the quadrics with their projection
# helpers, nothing else, so that the spheres and letters are cut into the
# same triangles as on Linux; their GL calls go to the system's opengl32.
begin "build libGLU.a"
glu_sources=$(cd "$glu_src" && ls src/libtess/*.c | grep -v priorityq-heap.c)
glu_sources="$glu_sources src/libutil/quad.c src/libutil/project.c"
build_lib "$glu_src" "$prefix/obj/libGLU" "$prefix/lib/libGLU.a" \
  "-O2 -DLIBRARYBUILD -I\$(SRC)/include -I\$(SRC)/src/include" "" \
  $glu_sources
# Its header declares the functions as a DLL's imports under MinGW (whose
# _DLL means only that the C runtime is a DLL); for this static library they
# are plain external functions.
mkdir -p "$prefix/include/GL"
sed 's/defined(__MINGW32__)) \&\& defined(_DLL)/defined(__MINGW32__)) \&\& defined(GLU_AS_DLL)/' \
  "$glu_src/include/GL/glu.h" >"$prefix/include/GL/glu.h"
grep -q GLU_AS_DLL "$prefix/include/GL/glu.h"
done_step

echo "$want" >"$stamp"
echo "deps: done in $prefix"
