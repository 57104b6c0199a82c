# makedata's file writers (bitmap, XM, whole files or nothing) are a small
# library that the tests and benchmarks use as well.
set(MAKEDATA_WRITER_SOURCES
  ${CMAKE_SOURCE_DIR}/tools/makedata/atomic_file.cpp
  ${CMAKE_SOURCE_DIR}/tools/makedata/bmp_writer.cpp
  ${CMAKE_SOURCE_DIR}/tools/makedata/xm_writer.cpp)
add_library(makedata_writers STATIC ${MAKEDATA_WRITER_SOURCES})
target_include_directories(makedata_writers PUBLIC ${CMAKE_SOURCE_DIR})

# makedata links nothing of the show, so that changes to the show do not
# remake the data.
file(GLOB MAKEDATA_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/makedata/*.cpp)
list(REMOVE_ITEM MAKEDATA_SOURCES ${MAKEDATA_WRITER_SOURCES})
add_executable(makedata ${MAKEDATA_SOURCES})
target_link_libraries(makedata PRIVATE makedata_writers)

# The show's data files: three photos and two songs, made by our own tool
# into build/made-data/ (what the package installs), then put into
# build/data/ on every build, so that the program run from the build
# directory finds them. A file in build/data/ that the build did not put
# there (a user's own photo) is never replaced.
set(EYESONLY_MADE_DATA_DIR ${CMAKE_BINARY_DIR}/made-data)
set(EYESONLY_DATA_DIR ${CMAKE_BINARY_DIR}/data)
set(EYESONLY_MADE_DATA_FILES
  ${EYESONLY_MADE_DATA_DIR}/skorv1.bitmap
  ${EYESONLY_MADE_DATA_DIR}/skorv2.bitmap
  ${EYESONLY_MADE_DATA_DIR}/skorv3.bitmap
  ${EYESONLY_MADE_DATA_DIR}/Tq_outro.xm
  ${EYESONLY_MADE_DATA_DIR}/VELTO63K.XM)

# The same bytes on every machine: no fused multiply-add in the float
# arithmetic that paints the photos and synthesizes the samples.
target_compile_options(makedata PRIVATE -ffp-contract=off)

add_custom_command(
  OUTPUT ${EYESONLY_MADE_DATA_FILES}
  COMMAND makedata ${EYESONLY_MADE_DATA_DIR}
  DEPENDS makedata
  COMMENT "Making the photos and songs in ${EYESONLY_MADE_DATA_DIR}"
  VERBATIM)
# The glyph pack: the show's glyphs from the desktop's face, for the browser
# build (the desktop program does not read it, and the package does not
# carry it). glyphpack links the show, so it is written again whenever the
# show changes; the same face gives the same bytes, which then stay put.
set(EYESONLY_GLYPH_PACK ${EYESONLY_MADE_DATA_DIR}/glyphs.pack)
add_custom_command(
  OUTPUT ${EYESONLY_GLYPH_PACK}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${EYESONLY_MADE_DATA_DIR}
  # A sanitized build's glyphpack: fontconfig keeps some memory for the
  # life of the process, which the tests' list lets pass.
  COMMAND ${CMAKE_COMMAND} -E env LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/lsan.supp
          $<TARGET_FILE:glyphpack> ${EYESONLY_GLYPH_PACK}
  DEPENDS glyphpack
  COMMENT "Writing the glyph pack ${EYESONLY_GLYPH_PACK}"
  VERBATIM)
add_custom_target(data ALL
  COMMAND ${CMAKE_COMMAND} -DMADE=${EYESONLY_MADE_DATA_DIR} -DDATA=${EYESONLY_DATA_DIR}
          -P ${CMAKE_SOURCE_DIR}/tools/place_data.cmake
  DEPENDS ${EYESONLY_MADE_DATA_FILES} ${EYESONLY_GLYPH_PACK}
  COMMENT "Putting the photos, songs and glyph pack into ${EYESONLY_DATA_DIR}"
  VERBATIM)

# The data test compares fresh runs of the tool with build/data/, so it
# needs the data made first; its target exists only once tests/ is read.
function(eyesonly_data_test_needs_data)
  if(TARGET data_test)
    add_dependencies(data_test data)
  endif()
endfunction()
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL eyesonly_data_test_needs_data)
