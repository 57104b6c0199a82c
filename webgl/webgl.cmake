# The GL 1.1 subset over WebGL 1, for the browser build only: the show's GL
# calls and GLU's resolve to it.
add_library(webgl STATIC ${CMAKE_CURRENT_LIST_DIR}/gl.cpp)
target_include_directories(webgl PUBLIC ${CMAKE_CURRENT_LIST_DIR}/..)
