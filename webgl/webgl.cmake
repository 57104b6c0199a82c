# The GL 1.1 subset over WebGL 1, for the browser build only: the show's GL
# calls and GLU's resolve to it. subset.h says which file holds what.
add_library(webgl STATIC
  ${CMAKE_CURRENT_LIST_DIR}/state.cpp ${CMAKE_CURRENT_LIST_DIR}/matrices.cpp ${CMAKE_CURRENT_LIST_DIR}/draw.cpp
  ${CMAKE_CURRENT_LIST_DIR}/lists.cpp ${CMAKE_CURRENT_LIST_DIR}/pixels.cpp)
target_include_directories(webgl PUBLIC ${CMAKE_CURRENT_LIST_DIR}/..)
