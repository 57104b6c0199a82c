# The program's sources for its three builds, in one place: what every
# build compiles, and each build's own back ends. The native build
# (CMakeLists.txt), the browser's (tools/web/web.cmake) and the Windows
# build's (tools/windows/windows.cmake) take their lists from here, as
# paths from the source folder.
#
#   EYESONLY_SOURCES          Linux: the system's code, without the program's
#                             entry (app/main.cpp) and the encoders
#   EYESONLY_ENCODER_SOURCES  Linux: the encoders (FFmpeg, libpng), built into
#                             the capture module
#   EYESONLY_WEB_SOURCES      the browser: the system's code with its entry
#   EYESONLY_WINDOWS_SOURCES  Windows: the system's code, without the entry

# Every build: the show, its resources and scenes, the main loop, the
# player, the options, and the platform's parts that use no library.
file(GLOB eyesonly_show_sources CONFIGURE_DEPENDS
  "${CMAKE_SOURCE_DIR}/show/*.cpp" "${CMAKE_SOURCE_DIR}/resources/*.cpp" "${CMAKE_SOURCE_DIR}/scenes/*.cpp")
set(eyesonly_every_build
  app/options.cpp app/loop.cpp app/display.cpp app/player.cpp capture/format.cpp
  platform/display/display.cpp platform/audio/sound.cpp
  platform/system/clock.cpp platform/system/stop.cpp platform/system/testing.cpp)
# SDL's window, desktop and headless displays and its sound device: Linux
# and Windows.
set(eyesonly_sdl
  platform/display/window.cpp platform/display/desktop.cpp platform/display/sdl_gl.cpp
  platform/display/headless.cpp platform/display/framebuffer.cpp platform/audio/sdl_device.cpp)

set(EYESONLY_SOURCES ${eyesonly_every_build} ${eyesonly_sdl}
  capture/output.cpp capture/run.cpp capture/subtitles.cpp
  platform/fonts/fonts.cpp
  platform/system/posix.cpp platform/system/signals.cpp)
set(EYESONLY_ENCODER_SOURCES platform/encode/ffmpeg.cpp platform/encode/png.cpp platform/encode/shared.cpp)
set(EYESONLY_WEB_SOURCES ${eyesonly_every_build}
  app/web.cpp
  platform/display/web.cpp platform/audio/web_device.cpp
  platform/fonts/pack.cpp
  platform/system/posix.cpp platform/system/signals.cpp)
set(EYESONLY_WINDOWS_SOURCES ${eyesonly_every_build} ${eyesonly_sdl}
  capture/unavailable.cpp platform/encode/unavailable.cpp
  platform/fonts/pack.cpp
  platform/system/windows.cpp platform/system/console_events.cpp)
foreach(list EYESONLY_SOURCES EYESONLY_ENCODER_SOURCES EYESONLY_WEB_SOURCES EYESONLY_WINDOWS_SOURCES)
  list(TRANSFORM ${list} PREPEND "${CMAKE_SOURCE_DIR}/")
endforeach()
list(APPEND EYESONLY_SOURCES ${eyesonly_show_sources})
list(APPEND EYESONLY_WEB_SOURCES ${eyesonly_show_sources})
list(APPEND EYESONLY_WINDOWS_SOURCES ${eyesonly_show_sources})
