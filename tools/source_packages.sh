# The steps the page's and the Windows build's library scripts share
# (tools/web/deps.sh, tools/windows/deps.sh): Debian's source packages
# fetched, libraries compiled from them by a cross compiler, a stamp that
# makes a second run do nothing. Sourced, not run. The script sets first:
#   deps_name     the build, in messages ("--web", "--windows": install-deps' flag)
#   cc, cxx, ar   the cross compilers and archiver
#   default_prefix  the folder the libraries go to without an argument
# then calls deps_start "$@" and deps_up_to_date, and runs its steps between
# begin and done_step.

shared_script=$(cd "$(dirname "$0")/.." && pwd)/source_packages.sh

# 1. The command line: [PREFIX]. Sets prefix, jobs and stamp.
deps_start() {
  case "${1:-}" in
    -h|--help) echo "usage: $0 [PREFIX]   (default PREFIX: $default_prefix)"; exit 0 ;;
    -*) echo "usage: $0 [PREFIX]   (default PREFIX: $default_prefix)" >&2; exit 2 ;;
  esac
  if [ $# -gt 1 ]; then
    echo "usage: $0 [PREFIX]   (default PREFIX: $default_prefix)" >&2
    exit 2
  fi
  prefix=${1:-$default_prefix}
  mkdir -p "$prefix"
  prefix=$(cd "$prefix" && pwd)
  jobs=$(nproc 2>/dev/null || echo 2)
  stamp=$prefix/deps.stamp
  for tool in $cc $cxx $ar apt-get dpkg-source make sha256sum; do
    if ! command -v "$tool" >/dev/null 2>&1; then
      echo "deps: $tool is missing: run ./tools/install-deps.sh $deps_name" >&2
      exit 1
    fi
  done
}

# 2. Ends the script when the stamp says WANT (with this file's own hash
# added) and the FILES (relative to the prefix) are there; otherwise starts
# clean, nothing from an earlier or broken run reused, and sets want.
deps_up_to_date() {
  want="$1
shared $(sha256sum "$shared_script" | cut -d' ' -f1)"
  shift
  missing=no
  for file in "$@"; do [ -f "$prefix/$file" ] || missing=yes; done
  if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$want" ] && [ "$missing" = no ]; then
    echo "deps: up to date in $prefix"
    exit 0
  fi
  if [ -z "$(apt-cache showsrc libopenmpt 2>/dev/null)" ]; then
    echo "deps: apt knows no source packages: run ./tools/install-deps.sh $deps_name" >&2
    exit 1
  fi
  rm -f "$stamp"
  rm -rf "$prefix/src" "$prefix/obj" "$prefix/lib" "$prefix/include"
  mkdir -p "$prefix/src" "$prefix/obj" "$prefix/lib" "$prefix/include"
  trap on_exit EXIT
}

# The stamp, once every step is done.
deps_done() {
  echo "$want" >"$stamp"
  echo "deps: done in $prefix"
}

# A step: one line with its time when done; a failure names it.
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

# Runs a command with its output in LOG, which is printed only on failure.
quiet() {
  log=$1
  shift
  if ! "$@" >"$log" 2>&1; then
    cat "$log" >&2
    return 1
  fi
}

# Fetches Debian's source package NAME=VERSION into src/, with Debian's
# changes applied, and prints its folder. A mirror may lack a package's
# Debian diff (packaging only: the debian/ folder); the orig tarball alone,
# checked against the .dsc, then holds every source file built here, in
# UPSTREAM_DIR.
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

# The two libraries both builds take: libopenmpt (fetched into openmpt_src)
# and GLU (into glu_src).
fetch_openmpt_and_glu() {
  begin "fetch libopenmpt $openmpt_version"
  openmpt_src=$(fetch libopenmpt "$openmpt_version" "libopenmpt-${openmpt_version%-*}+release.autotools")
  [ -f "$openmpt_src/Makefile.am" ]
  done_step
  begin "fetch libglu $glu_version"
  glu_src=$(fetch libglu "$glu_version" "glu-${glu_version%-*}")
  [ -f "$glu_src/include/GL/glu.h" ]
  done_step
}

# Stops the build where FILE lacks a line a cut changes.
needs() {
  file=$1
  shift
  for line in "$@"; do
    grep -qF -- "$line" "$file" || { echo "deps: $file has no $line: the cut needs a new look" >&2; exit 1; }
  done
}

# The show plays two XM songs and nothing else, so its libopenmpt reads XM
# alone: the list of module loaders in Sndfile.cpp is cut to XM's, and the
# packed containers (XPK, PP20, MMCMP, UMX) are neither probed nor
# unpacked. That leaves the sources below unreferenced (the other formats'
# loaders, the containers, the compressed sample formats, the DSP effects
# and the profiler), and build_openmpt leaves them out:
# the same samples from an XM, in a smaller program, built in less time.
openmpt_unused_after_cut=""
cut_openmpt_to_xm() {
  sndfile=$openmpt_src/soundlib/Sndfile.cpp
  needs "$sndfile" 'MPT_DECLARE_FORMAT(XM),' 'UnpackXPK(containerItems' 'ProbeFileHeaderUMX(file'
  sed -i -e '/^static constexpr FileFormatLoader ModuleFormatLoaders/,/^};/{/MPT_DECLARE_FORMAT(/{/MPT_DECLARE_FORMAT(XM)/!d}}' \
         -e '/MPT_DO_PROBE(result, ProbeFileHeader\(MMCMP\|PP20\|XPK\|UMX\)(/d' \
         -e '/if(packedContainerType == ModContainerType::None && Unpack\(XPK\|PP20\|MMCMP\|UMX\)(/d' "$sndfile"
  [ "$(grep -c 'MPT_DECLARE_FORMAT(' "$sndfile")" -eq 3 ]  # the two defines and XM's line
  if grep -q 'Unpack\(XPK\|PP20\|MMCMP\|UMX\)(\|ProbeFileHeader\(MMCMP\|PP20\|XPK\|UMX\)(' "$sndfile"; then
    echo "deps: $sndfile still probes a packed container after the XM-only cut" >&2; exit 1
  fi
  openmpt_unused_after_cut="common/ComponentManager.cpp common/Profiler.cpp common/mptFileIO.cpp
    sounddsp/AGC.cpp sounddsp/DSP.cpp sounddsp/EQ.cpp
    soundlib/AudioCriticalSection.cpp soundlib/ContainerMMCMP.cpp soundlib/ContainerPP20.cpp
    soundlib/ContainerUMX.cpp soundlib/ContainerXPK.cpp soundlib/Dlsbank.cpp soundlib/Load_669.cpp
    soundlib/Load_amf.cpp soundlib/Load_c67.cpp soundlib/Load_dbm.cpp soundlib/Load_digi.cpp
    soundlib/Load_dsm.cpp soundlib/Load_dsym.cpp soundlib/Load_dtm.cpp soundlib/Load_far.cpp
    soundlib/Load_fmt.cpp soundlib/Load_gdm.cpp soundlib/Load_imf.cpp soundlib/Load_itp.cpp
    soundlib/Load_mdl.cpp soundlib/Load_med.cpp soundlib/Load_mid.cpp soundlib/Load_mo3.cpp
    soundlib/Load_mt2.cpp soundlib/Load_mtm.cpp soundlib/Load_mus_km.cpp soundlib/Load_okt.cpp
    soundlib/Load_plm.cpp soundlib/Load_psm.cpp soundlib/Load_ptm.cpp soundlib/Load_sfx.cpp
    soundlib/Load_stm.cpp soundlib/Load_stp.cpp soundlib/Load_symmod.cpp soundlib/Load_uax.cpp
    soundlib/Load_ult.cpp soundlib/Load_wav.cpp soundlib/MPEGFrame.cpp soundlib/SampleFormatBRR.cpp
    soundlib/SampleFormatFLAC.cpp soundlib/SampleFormatMP3.cpp soundlib/SampleFormatMediaFoundation.cpp
    soundlib/SampleFormatOpus.cpp soundlib/SampleFormatSFZ.cpp soundlib/SampleFormatVorbis.cpp
    soundlib/SampleFormats.cpp soundlib/Tagging.cpp soundlib/UMXTools.cpp soundlib/WAVTools.cpp
    soundlib/load_j2b.cpp soundlib/plugins/dmo/DMOPlugin.cpp"
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
    printf '\trm -f $@ && %s rcs $@ $(OBJS)\n' "$ar"
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

# libopenmpt: the library's own sources, as its autotools build lists them,
# with the defines its configure script sets (the version strings), and
# none of the optional decoders (zlib, mpg123, ogg, vorbis), which only
# compressed samples in other formats need; C++17 as the configure script
# picks it, with FLAGS. Its headers go to include/libopenmpt.
build_openmpt() {
  flags=$1
  begin "build libopenmpt.a"
  am=$openmpt_src/Makefile.am
  openmpt_sources=$(sed -n -E 's/^MPT_FILES_(COMMON|SOUNDBASE|SOUNDLIB|SOUNDDSP) \+= (.*\.cpp)$/\2/p' "$am")
  openmpt_sources="$openmpt_sources $(sed -n -E 's/^libopenmpt_la_SOURCES \+= (libopenmpt\/.*\.cpp)$/\1/p' "$am")"
  [ "$(echo $openmpt_sources | wc -w)" -gt 100 ]
  for unused in $openmpt_unused_after_cut; do
    case " $(echo $openmpt_sources) " in *" $unused "*) ;; *) echo "deps: libopenmpt has no $unused: the cut needs a new look" >&2; exit 1 ;; esac
    openmpt_sources=$(echo $openmpt_sources | tr ' ' '\n' | grep -vxF "$unused")
  done
  defines=""
  for d in MPT_SVNURL MPT_SVNVERSION MPT_SVNDATE MPT_PACKAGE; do
    value=$(sed -n -E "s/^AC_DEFINE\(\[$d\], \[([^]]*)\].*/\1/p" "$openmpt_src/configure.ac")
    [ -n "$value" ]
    defines="$defines -D$d='$value'"
  done
  # shellcheck disable=SC2086
  build_lib "$openmpt_src" "$prefix/obj/libopenmpt" "$prefix/lib/libopenmpt.a" "" \
    "$flags -std=c++17 -DLIBOPENMPT_BUILD $defines -I\$(SRC)/build/svn_version -I\$(SRC) -I\$(SRC)/src -I\$(SRC)/common" \
    $openmpt_sources
  mkdir -p "$prefix/include/libopenmpt"
  for h in $(sed -n -E 's/^nobase_include_HEADERS \+= (libopenmpt\/.*\.h(pp)?)$/\1/p' "$am"); do
    cp "$openmpt_src/$h" "$prefix/include/libopenmpt/"
  done
  [ -f "$prefix/include/libopenmpt/libopenmpt.hpp" ]
  done_step
}

# GLU: the polygon tessellator and the quadrics with their projection
# helpers, nothing else, with FLAGS (priorityq.c includes priorityq-heap.c
# itself). The header is the caller's to place, before its done_step.
build_glu() {
  flags=$1
  begin "build libGLU.a"
  glu_sources=$(cd "$glu_src" && ls src/libtess/*.c | grep -v priorityq-heap.c)
  glu_sources="$glu_sources src/libutil/quad.c src/libutil/project.c"
  # shellcheck disable=SC2086
  build_lib "$glu_src" "$prefix/obj/libGLU" "$prefix/lib/libGLU.a" \
    "$flags -DLIBRARYBUILD -I\$(SRC)/include -I\$(SRC)/src/include" "" \
    $glu_sources
  mkdir -p "$prefix/include/GL"
}
