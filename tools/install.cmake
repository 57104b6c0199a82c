# Installing the show, and its Debian package:
#   cmake --install build --prefix P      P/bin/eyesonly, P/lib/eyesonly/modules/eyesonly-capture.so,
#                                          P/share/eyesonly/data/, ...
#   cd build && cpack -G DEB               eyesonly_<version>_amd64.deb
# The program finds its data as ../share/eyesonly/data from its own folder,
# so the installed tree and an unpacked package work under any prefix. The
# helper tools (showframe, dib2ppm, makedata) stay in the build folder.
include(GNUInstallDirs)

# The icon at the sizes desktops look for, drawn by the show's own code
# (showframe --icon: the red wire sphere before a photo), made at build time.
set(EYESONLY_ICON_SIZES 16 32 48 128 256)
set(EYESONLY_ICONS "")
foreach(size ${EYESONLY_ICON_SIZES})
  set(icon ${CMAKE_BINARY_DIR}/icons/${size}x${size}/eyesonly.png)
  add_custom_command(
    OUTPUT ${icon}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/icons/${size}x${size}
    # A sanitized build's showframe: the font and GL libraries keep some
    # memory for the life of the process, which the tests' list lets pass.
    COMMAND ${CMAKE_COMMAND} -E env LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/lsan.supp
            $<TARGET_FILE:showframe> --icon ${size} ${icon}
    DEPENDS showframe data
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
    COMMENT "Drawing the ${size} x ${size} icon"
    VERBATIM)
  list(APPEND EYESONLY_ICONS ${icon})
endforeach()

# The manual page and the changelog, compressed as Debian keeps them.
configure_file(${CMAKE_SOURCE_DIR}/doc/eyesonly.6 ${CMAKE_BINARY_DIR}/doc/eyesonly.6 @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/doc/changelog ${CMAKE_BINARY_DIR}/doc/changelog @ONLY)
foreach(page eyesonly.6 changelog)
  add_custom_command(
    OUTPUT ${CMAKE_BINARY_DIR}/doc/${page}.gz
    COMMAND gzip -9nkf ${CMAKE_BINARY_DIR}/doc/${page}
    DEPENDS ${CMAKE_BINARY_DIR}/doc/${page}
    VERBATIM)
endforeach()
add_custom_target(installables ALL DEPENDS
  ${EYESONLY_ICONS} ${CMAKE_BINARY_DIR}/doc/eyesonly.6.gz ${CMAKE_BINARY_DIR}/doc/changelog.gz)

# The licence as a Debian copyright file: the MIT text, indented, with "."
# for its empty lines.
file(READ ${CMAKE_SOURCE_DIR}/LICENSE licence)
string(REGEX REPLACE "^MIT License\n\n[^\n]*\n\n" "" licence "${licence}")
string(REGEX REPLACE "\n$" "" licence "${licence}")
string(REPLACE "\n\n" "\n.\n" licence "${licence}")
string(REPLACE "\n" "\n " licence "${licence}")
file(WRITE ${CMAKE_BINARY_DIR}/doc/copyright
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: eyesonly
Comment: The photos and songs in share/eyesonly/data are made at build time
 by the project's own tool from code alone, and are under the same licence.

Files: *
Copyright: 2026 the eyesonly authors
License: Expat
 ${licence}
")

# The prefix's own list of what was installed (tools/uninstall.sh reads it):
# its first step here, before every install rule, its last at the end of the
# top directory, after all of them. The package leaves it out.
install(CODE "set(EYESONLY_MANIFEST_STEP start)\nset(EYESONLY_MANIFEST_BUILD_DIR \"${CMAKE_BINARY_DIR}\")")
install(SCRIPT ${CMAKE_SOURCE_DIR}/tools/install-manifest.cmake)
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL install CODE "set(EYESONLY_MANIFEST_STEP end)")
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL install SCRIPT ${CMAKE_SOURCE_DIR}/tools/install-manifest.cmake)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/tools/package-prune.cmake)

install(TARGETS eyesonly RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The capture module, which the program opens from ../lib/eyesonly/modules:
# a fixed folder, not the multiarch one, so that the path from bin/ is the
# same under every prefix, and not lib/eyesonly itself, where the package
# would run ldconfig for a module no other program links.
install(TARGETS eyesonly-capture LIBRARY DESTINATION lib/eyesonly/modules)
install(FILES ${EYESONLY_MADE_DATA_FILES} DESTINATION ${CMAKE_INSTALL_DATADIR}/eyesonly/data)
install(FILES ${CMAKE_SOURCE_DIR}/doc/eyesonly.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
foreach(size ${EYESONLY_ICON_SIZES})
  install(FILES ${CMAKE_BINARY_DIR}/icons/${size}x${size}/eyesonly.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
install(FILES ${CMAKE_BINARY_DIR}/doc/eyesonly.6.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man6)
install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_BINARY_DIR}/doc/copyright ${CMAKE_BINARY_DIR}/doc/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/eyesonly)
# The README's guides and pictures, in doc/ beside it as in the source tree,
# so that its links lead to them.
file(GLOB EYESONLY_GUIDES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/doc/*.md)
install(FILES ${EYESONLY_GUIDES} ${CMAKE_SOURCE_DIR}/doc/show.jpg ${CMAKE_SOURCE_DIR}/doc/sizes.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/eyesonly/doc)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME eyesonly)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "small real-time audio-visual show (a demo)")
set(CPACK_PACKAGE_DESCRIPTION
"A photo slideshow over a tumbling square, six flying 3-D title lines, a
tumbling ring tunnel, a block-letter scroller and a bouncing wire sphere with
credits and greetings, in time with two tracker songs, 146.5 s (2:26)
long at 60 frames a second. It plays full screen, in a window
or on the desktop's own mode, and can render itself with its music to a
video file.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# "games" would need the program in /usr/games; the show is watched, not played.
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${EYESONLY_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# What dpkg-shlibdeps cannot see: the face the show's text is set in where
# "Lucida Console" is not installed, and the drawing that SDL and GLVND open
# at run time: the GLX and EGL front ends (libgl1 for windows, libegl1 for
# the offscreen frame of --headless and captures), Mesa's EGL vendor (so
# that another vendor's EGL alone does not satisfy it) and Mesa's drivers,
# whose software rasteriser draws where there is no GPU.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-dejavu-core, libgl1, libegl1, libegl-mesa0, libgl1-mesa-dri")
include(CPack)
