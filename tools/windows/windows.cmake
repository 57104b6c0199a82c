# The Windows build, configured with the MinGW-w64 toolchain file
# (tools/windows.sh does it all): the show's code with the Windows back ends,
# linked statically with SDL2, libopenmpt and GLU as tools/windows/deps.sh
# builds them, into one eyesonly.exe that imports only the system's own
# DLLs; showframe.exe beside it for the tests; and the zip.
set(EYESONLY_WIN_DEPS "${CMAKE_SOURCE_DIR}/build-windeps" CACHE PATH
  "SDL2, libopenmpt and GLU built with MinGW (tools/windows/deps.sh)")
set(EYESONLY_WIN_DATA "${CMAKE_SOURCE_DIR}/build/data" CACHE PATH
  "The show's data folder made by the native build, glyphs.pack included")
foreach(needed lib/libSDL2.a lib/libopenmpt.a lib/libGLU.a include/GL/glu.h include/SDL2/SDL.h)
  if(NOT EXISTS "${EYESONLY_WIN_DEPS}/${needed}")
    message(FATAL_ERROR "${EYESONLY_WIN_DEPS}/${needed} is missing: run tools/windows/deps.sh first")
  endif()
endforeach()
set(EYESONLY_WIN_ICON "${CMAKE_SOURCE_DIR}/build-win/eyesonly.ico" CACHE FILEPATH
  "The show's icon at the sizes Explorer shows, made by tools/windows.sh")
if(NOT EXISTS "${EYESONLY_WIN_ICON}")
  message(FATAL_ERROR "${EYESONLY_WIN_ICON} is missing: tools/windows.sh makes it")
endif()
if(NOT EXISTS "${EYESONLY_WIN_DATA}/glyphs.pack")
  message(FATAL_ERROR "${EYESONLY_WIN_DATA}/glyphs.pack is missing: build the native data target first")
endif()
if(NOT CMAKE_BUILD_TYPE)
  set(CMAKE_BUILD_TYPE Release)
endif()

add_library(eyesonly_windows STATIC ${EYESONLY_WINDOWS_SOURCES})
target_include_directories(eyesonly_windows PUBLIC
  "${CMAKE_SOURCE_DIR}" "${EYESONLY_WIN_DEPS}/include" "${EYESONLY_WIN_DEPS}/include/SDL2")
# The program has its own main (no SDL_main); GL's header is told the two
# words it would otherwise include all of windows.h for, whose WM_ and VK_
# macros would hide the show's own window-message names.
target_compile_definitions(eyesonly_windows PUBLIC
  SDL_MAIN_HANDLED "WINGDIAPI=__declspec(dllimport)" "APIENTRY=__stdcall" EYESONLY_VERSION="${PROJECT_VERSION}")
target_compile_options(eyesonly_windows PUBLIC -Wall -Wextra -Wno-unused-parameter)
target_link_libraries(eyesonly_windows PUBLIC
  "${EYESONLY_WIN_DEPS}/lib/libSDL2.a" "${EYESONLY_WIN_DEPS}/lib/libopenmpt.a" "${EYESONLY_WIN_DEPS}/lib/libGLU.a"
  opengl32 gdi32 user32 winmm imm32 ole32 oleaut32 version uuid advapi32 setupapi shell32 dinput8)
# Everything the compiler brings (libstdc++, libgcc, winpthread) linked in,
# and no symbols: the zip is for playing, not debugging.
target_link_options(eyesonly_windows PUBLIC -static -static-libgcc -static-libstdc++ -s)

# Each program's resources: the manifest, the icon (drawn by the native
# build's showframe into EYESONLY_WIN_ICON, tools/windows.sh) and its
# version information.
set(version_parts "")
foreach(part MAJOR MINOR PATCH TWEAK)
  if("${PROJECT_VERSION_${part}}" STREQUAL "")
    list(APPEND version_parts 0)
  else()
    list(APPEND version_parts ${PROJECT_VERSION_${part}})
  endif()
endforeach()
list(JOIN version_parts "," WIN_VERSION_COMMAS)
list(JOIN version_parts "." WIN_VERSION)
set(WIN_MANIFEST "${CMAKE_BINARY_DIR}/eyesonly.manifest")
set(WIN_ICON "${EYESONLY_WIN_ICON}")
configure_file("${CMAKE_SOURCE_DIR}/tools/windows/eyesonly.manifest" "${WIN_MANIFEST}" @ONLY)
function(windows_resources target file description)
  set(WIN_FILE "${file}")
  set(WIN_DESCRIPTION "${description}")
  configure_file("${CMAKE_SOURCE_DIR}/tools/windows/eyesonly.rc" "${CMAKE_BINARY_DIR}/${target}.rc" @ONLY)
  set_source_files_properties("${CMAKE_BINARY_DIR}/${target}.rc" PROPERTIES OBJECT_DEPENDS "${WIN_MANIFEST};${WIN_ICON}")
  target_sources(${target} PRIVATE "${CMAKE_BINARY_DIR}/${target}.rc")
endfunction()

# A windowed program: a double-click opens no console.
add_executable(eyesonly WIN32 app/main.cpp)
target_link_libraries(eyesonly PRIVATE eyesonly_windows)
windows_resources(eyesonly eyesonly.exe "eyesonly, a small real-time audio-visual show")
# eyesonly.com, for a command prompt: starts eyesonly.exe, waits, ends with
# its exit code.
add_executable(eyesonly_console tools/windows/console.cpp)
set_target_properties(eyesonly_console PROPERTIES OUTPUT_NAME eyesonly SUFFIX .com)
target_compile_options(eyesonly_console PRIVATE -Wall -Wextra)
target_link_options(eyesonly_console PRIVATE -static -static-libgcc -static-libstdc++ -s)
windows_resources(eyesonly_console eyesonly.com "eyesonly, a small real-time audio-visual show (command prompt)")
add_executable(showframe tools/showframe.cpp)
target_link_libraries(showframe PRIVATE eyesonly_windows)
windows_resources(showframe showframe.exe "eyesonly's frames as pictures, for the tests")

# The zip: one folder with the program, its data, a README.txt and the
# licence.
set(zip_folder "${CMAKE_BINARY_DIR}/eyesonly-windows-x64")
set(zip_file "${CMAKE_BINARY_DIR}/eyesonly-windows-x64.zip")
file(GLOB data_files CONFIGURE_DEPENDS "${EYESONLY_WIN_DATA}/*")
list(FILTER data_files EXCLUDE REGEX "/\\.made-by-build$")
add_custom_command(OUTPUT "${zip_file}"
  COMMAND ${CMAKE_COMMAND} -E rm -rf "${zip_folder}" "${zip_file}"
  COMMAND ${CMAKE_COMMAND} -E make_directory "${zip_folder}/data"
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:eyesonly> $<TARGET_FILE:eyesonly_console> "${zip_folder}/"
  COMMAND ${CMAKE_COMMAND} -E copy ${data_files} "${zip_folder}/data/"
  COMMAND ${CMAKE_COMMAND} -E copy "${CMAKE_SOURCE_DIR}/tools/windows/README.txt" "${zip_folder}/"
  COMMAND ${CMAKE_COMMAND} -E copy "${CMAKE_SOURCE_DIR}/LICENSE" "${zip_folder}/LICENSE.txt"
  COMMAND ${CMAKE_COMMAND} -E tar cf "${zip_file}" --format=zip eyesonly-windows-x64
  DEPENDS eyesonly eyesonly_console ${data_files} "${CMAKE_SOURCE_DIR}/tools/windows/README.txt" "${CMAKE_SOURCE_DIR}/LICENSE"
  WORKING_DIRECTORY "${CMAKE_BINARY_DIR}")
add_custom_target(zip ALL DEPENDS "${zip_file}")
