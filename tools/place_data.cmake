# Puts the data files makedata and glyphpack made (in MADE) into the show's data folder
# (DATA), without ever replacing a file there that the build did not put
# there itself: a user's own photo or song stays, whatever its time stamp.
# DATA/.made-by-build keeps the SHA-256 of every file the build wrote.
#   cmake -DMADE=dir -DDATA=dir -P place_data.cmake
cmake_minimum_required(VERSION 3.25)
set(record "${DATA}/.made-by-build")
set(written "")
if(EXISTS "${record}")
  file(STRINGS "${record}" written)
endif()

file(MAKE_DIRECTORY "${DATA}")
set(kept "")
set(lines "")
foreach(name skorv1.bitmap skorv2.bitmap skorv3.bitmap Tq_outro.xm VELTO63K.XM glyphs.pack)
  file(SHA256 "${MADE}/${name}" made)
  set(target "${DATA}/${name}")
  if(EXISTS "${target}")
    file(SHA256 "${target}" there)
    if(NOT there STREQUAL made AND NOT "${there} ${name}" IN_LIST written)
      # Not the build's: keep it, and remember nothing for it.
      list(APPEND kept "${name}")
      continue()
    endif()
  endif()
  if(NOT EXISTS "${target}" OR NOT there STREQUAL made)
    # A temporary name renamed into place: a file is there whole or not at all.
    file(COPY_FILE "${MADE}/${name}" "${target}.part")
    file(RENAME "${target}.part" "${target}")
  endif()
  string(APPEND lines "${made} ${name}\n")
endforeach()
file(WRITE "${record}.part" "${lines}")
file(RENAME "${record}.part" "${record}")

foreach(name IN LISTS kept)
  message(STATUS "Kept ${DATA}/${name}: the build did not make it (remove it to have the build's own again)")
endforeach()
