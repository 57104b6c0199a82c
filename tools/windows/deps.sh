#!/bin/sh
# Builds the Windows build's libraries with MinGW-w64 from Debian's own
# source packages (the versions the Linux build links), static, into PREFIX
# (default: build-windeps/ in the top folder):
#   lib/libSDL2.a, include/SDL2/*.h              window, GL context, sound, events
#   lib/libopenmpt.a, include/libopenmpt/*.h*   the tracker-music player
#   lib/libGLU.a, include/GL/glu.h               GLU's tessellator and quadrics,
#                                                the same code as Linux's
# Runs once per clean build: a stamp records the source versions, the
# compiler and the scripts' own hashes, and a later run with the same stamp
# does nothing. Prints one line a step with its time; on any failure it says
# which step failed, exits non-zero and leaves no stamp.
#
# Needs the deb-src line and the toolchain that ./tools/install-deps.sh
# --windows installs.
set -eu

sdl_version=2.26.5+dfsg-1
openmpt_version=0.6.9-1
glu_version=9.0.2-1.1

here=$(cd "$(dirname "$0")" && pwd)
deps_name=--windows
cc=x86_64-w64-mingw32-gcc-posix cxx=x86_64-w64-mingw32-g++-posix ar=x86_64-w64-mingw32-ar
default_prefix=$(cd "$here/../.." && pwd)/build-windeps
. "$here/../source_packages.sh"
command -v cmake >/dev/null 2>&1 || { echo "deps: cmake is missing: run ./tools/install-deps.sh --windows" >&2; exit 1; }
deps_start "$@"
deps_up_to_date "$(printf 'libsdl2 %s\nlibopenmpt %s\nlibglu %s\ng++ %s\nscript %s\ntoolchain %s' \
  "$sdl_version" "$openmpt_version" "$glu_version" "$($cxx --version | head -n 1)" \
  "$(sha256sum "$0" | cut -d' ' -f1)" "$(sha256sum "$here/mingw.cmake" | cut -d' ' -f1)")" \
  lib/libSDL2.a lib/libopenmpt.a lib/libGLU.a include/SDL2/SDL.h include/libopenmpt/libopenmpt.hpp include/GL/glu.h

# 1. The three source packages, with Debian's changes applied.
begin "fetch libsdl2 $sdl_version"
sdl_src=$(fetch libsdl2 "$sdl_version" "SDL2-${sdl_version%+dfsg-*}")
[ -f "$sdl_src/CMakeLists.txt" ]
done_step
fetch_openmpt_and_glu

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

begin "cut libopenmpt to XM"
cut_openmpt_to_xm
done_step

# 3. libopenmpt reading XM alone (cut_openmpt_to_xm), at -O2, as Debian
# builds it; a static library
# (LIBOPENMPT_NO_DLL... nothing exported, nothing imported).
build_openmpt "-O2"

# 4. GLU, so that the spheres and letters are cut into the same triangles
# as on Linux; its GL calls go to the system's opengl32. Its header declares
# the functions as a DLL's imports under MinGW (whose _DLL means only that
# the C runtime is a DLL); for this static library they are plain external
# functions.
build_glu "-O2"
sed 's/defined(__MINGW32__)) \&\& defined(_DLL)/defined(__MINGW32__)) \&\& defined(GLU_AS_DLL)/' \
  "$glu_src/include/GL/glu.h" >"$prefix/include/GL/glu.h"
grep -q GLU_AS_DLL "$prefix/include/GL/glu.h"
done_step

deps_done
