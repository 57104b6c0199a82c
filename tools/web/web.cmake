# The browser build, configured with emcmake (tools/web.sh does it all):
# the show's code with the browser's entry and back ends, the GL subset in
# webgl/, and libopenmpt and GLU built for the web by tools/web/deps.sh.
# The static page (HTML, JS, WebAssembly, data) goes to EYESONLY_WEB_SITE.
set(EYESONLY_WEB_DEPS "${CMAKE_SOURCE_DIR}/build-webdeps" CACHE PATH
  "libopenmpt and GLU built for the web (tools/web/deps.sh)")
set(EYESONLY_WEB_DATA "${CMAKE_SOURCE_DIR}/build/data" CACHE PATH
  "The show's data folder made by the native build, glyphs.pack included")
set(EYESONLY_WEB_SITE "${CMAKE_SOURCE_DIR}/build-web" CACHE PATH "Where the static page goes")
set(EYESONLY_WEB_SHOWFRAME "${EYESONLY_WEB_DATA}/../showframe" CACHE FILEPATH
  "The native build's showframe, which draws the page's icons and the position bar's stills")
foreach(needed lib/libopenmpt.a lib/libGLU.a include/GL/glu.h)
  if(NOT EXISTS "${EYESONLY_WEB_DEPS}/${needed}")
    message(FATAL_ERROR "${EYESONLY_WEB_DEPS}/${needed} is missing: run tools/web/deps.sh first")
  endif()
endforeach()
if(NOT EXISTS "${EYESONLY_WEB_DATA}/glyphs.pack")
  message(FATAL_ERROR "${EYESONLY_WEB_DATA}/glyphs.pack is missing: build the native data target first")
endif()
if(NOT EXISTS "${EYESONLY_WEB_SHOWFRAME}")
  message(FATAL_ERROR "${EYESONLY_WEB_SHOWFRAME} is missing: build the native showframe target first")
endif()

include(webgl/webgl.cmake)


set(page_files app/page/index.html app/page/page.js app/page/sound.js app/page/sw.js)
# The show's code, compiled once for both pages.
add_library(eyesonly_web_code OBJECT ${EYESONLY_WEB_SOURCES})
target_include_directories(eyesonly_web_code PRIVATE "${EYESONLY_WEB_DEPS}/include" "${CMAKE_SOURCE_DIR}")
# libopenmpt reports failures by exceptions, which the player catches:
# WebAssembly's own exceptions, as tools/web/deps.sh builds libopenmpt. -Oz:
# the page's download is its start-up time.
target_compile_options(eyesonly_web_code PRIVATE -Oz -fwasm-exceptions -Wall -Wno-format-security)
file(GLOB data_files CONFIGURE_DEPENDS "${EYESONLY_WEB_DATA}/*")
set(web_link_options
  -Oz -fwasm-exceptions -sSUPPORT_LONGJMP=wasm -sENVIRONMENT=web -sALLOW_MEMORY_GROWTH=1 -sINITIAL_MEMORY=32MB -sEXIT_RUNTIME=0
  -sMIN_WEBGL_VERSION=1 -sMAX_WEBGL_VERSION=1
  -sEXPORTED_FUNCTIONS=_main,_eyesonlyPlay,_eyesonlyPress,_eyesonlyJumpTo,_eyesonlyHide,_eyesonlySecond,_eyesonlyPlayerState,_eyesonlyReadingAt,_eyesonlySoundBehind,_eyesonlyDrawHidden,_eyesonlyChapterCount,_eyesonlyChapterName,_eyesonlyChapterStartMs,_eyesonlyChapter,_eyesonlyGoToChapter
  -sEXPORTED_RUNTIME_METHODS=UTF8ToString
  "SHELL:--exclude-file ${EYESONLY_WEB_DATA}/.made-by-build")

# The five-file page: the program, its WebAssembly and its data fetched
# beside index.html.
add_executable(eyesonly $<TARGET_OBJECTS:eyesonly_web_code>)
set_target_properties(eyesonly PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${EYESONLY_WEB_SITE}" SUFFIX ".js")
target_link_libraries(eyesonly PRIVATE "${EYESONLY_WEB_DEPS}/lib/libGLU.a" webgl "${EYESONLY_WEB_DEPS}/lib/libopenmpt.a")
target_link_options(eyesonly PRIVATE ${web_link_options} "SHELL:--preload-file ${EYESONLY_WEB_DATA}@/data")
set_property(TARGET eyesonly APPEND PROPERTY LINK_DEPENDS ${data_files})

# The one-file page (eyesonly.html): the program with its WebAssembly and
# its data inside one script, and the page's files around it, so that it
# plays opened from disk.
add_executable(eyesonly_single $<TARGET_OBJECTS:eyesonly_web_code>)
set_target_properties(eyesonly_single PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/single" SUFFIX ".js")
target_link_libraries(eyesonly_single PRIVATE "${EYESONLY_WEB_DEPS}/lib/libGLU.a" webgl "${EYESONLY_WEB_DEPS}/lib/libopenmpt.a")
target_link_options(eyesonly_single PRIVATE ${web_link_options} -sSINGLE_FILE=1 "SHELL:--embed-file ${EYESONLY_WEB_DATA}@/data")
set_property(TARGET eyesonly_single APPEND PROPERTY LINK_DEPENDS ${data_files})
find_program(NODE node REQUIRED)
add_custom_command(OUTPUT "${EYESONLY_WEB_SITE}/eyesonly.html"
  COMMAND ${NODE} "${CMAKE_SOURCE_DIR}/tools/web/onefile.mjs" "${CMAKE_SOURCE_DIR}/app/page"
          "${CMAKE_BINARY_DIR}/single/eyesonly_single.js" "${EYESONLY_WEB_SITE}/eyesonly.html"
  DEPENDS eyesonly_single ${page_files} "${CMAKE_SOURCE_DIR}/tools/web/onefile.mjs"
  WORKING_DIRECTORY "${CMAKE_SOURCE_DIR}")
add_custom_target(single_page ALL DEPENDS "${EYESONLY_WEB_SITE}/eyesonly.html")

# The page's own files beside the program.
foreach(page_file app/page/page.js app/page/sound.js)
  get_filename_component(name ${page_file} NAME)
  add_custom_command(OUTPUT "${EYESONLY_WEB_SITE}/${name}"
    COMMAND ${CMAKE_COMMAND} -E copy "${CMAKE_SOURCE_DIR}/${page_file}" "${EYESONLY_WEB_SITE}/${name}"
    DEPENDS "${CMAKE_SOURCE_DIR}/${page_file}")
  list(APPEND page_outputs "${EYESONLY_WEB_SITE}/${name}")
endforeach()

# Drawn by the native showframe: the icon, and the position bar's stills.
# (A sanitized build's showframe: the font and GL libraries keep some
# memory for the life of the process, which the tests' list lets pass.)
set(showframe_env ${CMAKE_COMMAND} -E env LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/lsan.supp)
foreach(size 192)
  add_custom_command(OUTPUT "${EYESONLY_WEB_SITE}/icon-${size}.png"
    COMMAND ${showframe_env} "${EYESONLY_WEB_SHOWFRAME}" --icon ${size} "${EYESONLY_WEB_SITE}/icon-${size}.png"
    DEPENDS "${EYESONLY_WEB_SHOWFRAME}" ${data_files}
    WORKING_DIRECTORY "${EYESONLY_WEB_DATA}/..")
  list(APPEND page_outputs "${EYESONLY_WEB_SITE}/icon-${size}.png")
endforeach()
add_custom_command(OUTPUT "${EYESONLY_WEB_SITE}/stills.png"
  COMMAND ${showframe_env} ${NODE} "${CMAKE_SOURCE_DIR}/tools/web/stills.mjs" "${EYESONLY_WEB_SHOWFRAME}"
          "${EYESONLY_WEB_SITE}/stills.png"
  DEPENDS "${EYESONLY_WEB_SHOWFRAME}" ${data_files} "${CMAKE_SOURCE_DIR}/tools/web/stills.mjs")
list(APPEND page_outputs "${EYESONLY_WEB_SITE}/stills.png")

# Then the page, its manifest and its service worker, with the build's
# hash over all of these (tools/web/site.mjs).
add_custom_command(OUTPUT "${EYESONLY_WEB_SITE}/index.html" "${EYESONLY_WEB_SITE}/sw.js"
                          "${EYESONLY_WEB_SITE}/manifest.webmanifest"
  COMMAND ${NODE} "${CMAKE_SOURCE_DIR}/tools/web/site.mjs" "${CMAKE_SOURCE_DIR}/app/page" "${EYESONLY_WEB_SITE}"
  DEPENDS eyesonly ${page_outputs} ${page_files} "${CMAKE_SOURCE_DIR}/tools/web/site.mjs"
          "${CMAKE_SOURCE_DIR}/tools/web/stills.mjs")
add_custom_target(page ALL DEPENDS "${EYESONLY_WEB_SITE}/index.html")

include(tests/web/web_tests.cmake OPTIONAL)
