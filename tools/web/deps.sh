#!/bin/sh
# Builds the browser build's two libraries with emscripten from Debian's own
# source packages, into PREFIX (default: build-webdeps/ in the top folder):
#   lib/libopenmpt.a, include/libopenmpt/*.h*   the tracker-music player (XM alone)
#   lib/libGLU.a, include/GL/glu.h               GLU's tessellator and quadrics
# Runs once per clean build: a stamp records the source versions, the
# compiler and the scripts' own hashes, and a later run with the same stamp
# does nothing. Prints one line a step with its time; on any failure it says
# which step failed, exits non-zero and leaves no stamp.
#
# Needs the deb-src line and the toolchain that ./tools/install-deps.sh --web
# installs.
set -eu

openmpt_version=0.6.9-1
glu_version=9.0.2-1.1

deps_name=--web
cc=emcc cxx=em++ ar=emar
default_prefix=$(cd "$(dirname "$0")/../.." && pwd)/build-webdeps
. "$(dirname "$0")/../source_packages.sh"
deps_start "$@"
deps_up_to_date "$(printf 'libopenmpt %s\nlibglu %s\nemcc %s\nscript %s' \
  "$openmpt_version" "$glu_version" "$(emcc --version | head -n 1)" "$(sha256sum "$0" | cut -d' ' -f1)")" \
  lib/libopenmpt.a lib/libGLU.a include/libopenmpt/libopenmpt.hpp include/GL/glu.h

# 1. The source packages, with Debian's changes applied.
fetch_openmpt_and_glu

# 2. The page plays two XM songs and nothing else: libopenmpt reads XM
# alone (cut_openmpt_to_xm), in less WebAssembly.
begin "cut libopenmpt to XM and its default mixing"
cut_openmpt_to_xm

# The songs are mixed with libopenmpt's default 8-tap sinc (and, while a
# jump catches the music up, with none). The mixer's two other tables, the
# 8-tap windowed FIR's and the Amiga resampler's, which only an Amiga format
# (cut above) or an instrument's own setting in a file that OpenMPT wrote
# selects, are made at the first song's load and again at each change of
# filter: most of a song's load here. They are not made, and those two
# modes mix as libopenmpt falls back for a mode it does not know (the FIR's
# with the default sinc, the Amiga's with linear interpolation).
tables=$openmpt_src/soundlib/Tables.cpp mixfuncs=$openmpt_src/soundlib/MixFuncTable.cpp
needs "$tables" 'blepTables.InitTables();' 'm_WindowedFIR.InitTable(m_Settings.gdWFIRCutoff, m_Settings.gbWFIRType);'
needs "$mixfuncs" 'case SRCMODE_SINC8:   return ndxFIRFilter;' 'case SRCMODE_AMIGA:   return ndxAmigaBlep;'
sed -i -e '/^\t*blepTables\.InitTables();$/d' -e '/^\t*m_WindowedFIR\.InitTable(m_Settings\.gdWFIRCutoff, m_Settings\.gbWFIRType);$/d' "$tables"
sed -i -e 's/case SRCMODE_SINC8:   return ndxFIRFilter;/case SRCMODE_SINC8:   return ndxKaiser;/' \
       -e 's/case SRCMODE_AMIGA:   return ndxAmigaBlep;/case SRCMODE_AMIGA:   return ndxLinear;/' "$mixfuncs"
if grep -q 'InitTables();\|m_WindowedFIR\.InitTable(' "$tables" || grep -q 'return ndxFIRFilter;\|return ndxAmigaBlep;' "$mixfuncs"; then
  echo "deps: the table cut left a table or a mode in $tables or $mixfuncs" >&2; exit 1
fi
done_step

# The sinc tables (three of 32768 taps, a Bessel series each) are most of
# the first song's load. A Kaiser-windowed sinc is even: each tap left of
# the centre is made as its mirror right of it, the same bits (the same
# operations on a negated x), in half the time.
begin "make the sinc tables' left halves from their right"
needs "$tables" '		if(ix == (4 * SINC_PHASES))' '		*psinc++ = mpt::saturate_round<SINC_TYPE>(coeff * (1 << SINC_QUANTSHIFT));' \
  '		*psinc++ = static_cast<SINC_TYPE>(coeff);'
perl -0pi -e 's/\n(\t\tif\(ix == \(4 \* SINC_PHASES\)\)\n)/\n\t\tif(ix > 0 && ix < (4 * SINC_PHASES)) continue;\n$1/;
  s/\*psinc\+\+ = (mpt::saturate_round<SINC_TYPE>\(coeff \* \(1 << SINC_QUANTSHIFT\)\);)/psinc[isrc] = $1/;
  s/\*psinc\+\+ = (static_cast<SINC_TYPE>\(coeff\);\n#endif\n\t\}\n)/psinc[isrc] = $1\tfor(int isrc = 0; isrc < 8 * SINC_PHASES; isrc++)\n\t{\n\t\tconst int ix = (7 - (isrc & 7)) * SINC_PHASES + (isrc >> 3);\n\t\tconst int mirror = 8 * SINC_PHASES - ix;\n\t\tif(ix > 0 && ix < (4 * SINC_PHASES))\n\t\t\tpsinc[isrc] = psinc[((mirror % SINC_PHASES) << 3) | (7 - mirror \/ SINC_PHASES)];\n\t}\n/' "$tables"
if [ "$(grep -c 'ix > 0 && ix < (4 \* SINC_PHASES)' "$tables")" -ne 2 ] || grep -q 'psinc++' "$tables"; then
  echo "deps: the sinc tables' mirror did not go in as meant in $tables" >&2; exit 1
fi
done_step

# 3. libopenmpt with hidden symbols, as its configure script picks them;
# -Os, which makes the page's WebAssembly 66 kB (gzipped) smaller than
# Debian's -O2 and mixes the same samples (the whole-show browser test holds
# them against a capture's). The library reports every failure by an
# exception, and catches some itself: built with WebAssembly's own
# exceptions (-fwasm-exceptions), as the page's program is, which need no
# JavaScript call around each call that may throw.
build_openmpt "-Os -fvisibility=hidden -fwasm-exceptions"

# 4. GLU, its GL calls resolved when the program is linked. The tessellator
# leaves a failed polygon by longjmp: WebAssembly's own, beside its
# exceptions.
build_glu "-O2 -sSUPPORT_LONGJMP=wasm -fvisibility=hidden"
cp "$glu_src/include/GL/glu.h" "$prefix/include/GL/"
done_step

deps_done
