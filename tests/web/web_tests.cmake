# The browser's half of the GL comparison (tests/web/gl.test.mjs): the
# scenes of gl_scenes.cpp drawn by the webgl subset, on a page of their own
# in tests/web/ of the build tree beside gl_scenes.js and .wasm.
get_filename_component(EYESONLY_ROOT ${CMAKE_CURRENT_LIST_DIR}/../.. ABSOLUTE)
set(EYESONLY_WEBDEPS_DIR "${EYESONLY_ROOT}/build-webdeps" CACHE PATH
  "Where tools/web/deps.sh put the web build's libraries (include/, lib/)")

add_executable(gl_scenes_web ${CMAKE_CURRENT_LIST_DIR}/gl_scenes.cpp)
set_target_properties(gl_scenes_web PROPERTIES
  OUTPUT_NAME gl_scenes SUFFIX .js
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/web)
target_include_directories(gl_scenes_web BEFORE PRIVATE ${EYESONLY_WEBDEPS_DIR}/include)
target_include_directories(gl_scenes_web PRIVATE ${EYESONLY_ROOT})
# GLU's quadrics and projections call GL: the subset comes after them.
target_link_libraries(gl_scenes_web PRIVATE ${EYESONLY_WEBDEPS_DIR}/lib/libGLU.a webgl)
target_link_options(gl_scenes_web PRIVATE
  -sALLOW_MEMORY_GROWTH=1
  "-sEXPORTED_FUNCTIONS=_glScenesStart,_glScenesCount,_glSceneName,_glSceneDraw,_glSceneNotes"
  "-sEXPORTED_RUNTIME_METHODS=UTF8ToString")
configure_file(${CMAKE_CURRENT_LIST_DIR}/gl_scenes.html ${CMAKE_BINARY_DIR}/tests/web/gl_scenes.html COPYONLY)
