# What `cmake --install` put into a prefix, kept in the prefix itself as
# share/eyesonly/install-manifest.txt, for tools/uninstall.sh: every file it
# installed and every folder it had to make, relative to the prefix. The
# build folder's install_manifest.txt is no use for that: cpack installs
# into a staging folder of its own and rewrites it with the package's paths.
#
# Run as the first and the last step of the install: the first notes which
# folders of the install's destinations are missing; the last (deferred to
# the end of the top directory, so that it follows every install rule)
# writes the list, merged with one an earlier install left.
# EYESONLY_MANIFEST_STEP: start or end; EYESONLY_MANIFEST_BUILD_DIR: the
# build folder, whose cmake_install.cmake scripts name the destinations.
set(manifest_root "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
set(manifest_name share/eyesonly/install-manifest.txt)
set(manifest "${manifest_root}/${manifest_name}")

if(EYESONLY_MANIFEST_STEP STREQUAL "start")
  # Every destination of this build's install rules, as cmake wrote them.
  file(GLOB_RECURSE scripts "${EYESONLY_MANIFEST_BUILD_DIR}/cmake_install.cmake")
  set(EYESONLY_MADE_DIRS "")
  foreach(script ${scripts})
    file(STRINGS "${script}" lines REGEX "file\\(INSTALL DESTINATION \"\\\${CMAKE_INSTALL_PREFIX}/[^\"]*\"")
    foreach(line ${lines})
      string(REGEX REPLACE ".*DESTINATION \"\\\${CMAKE_INSTALL_PREFIX}/([^\"]*)\".*" "\\1" dir "${line}")
      # The destination and each folder above it, up to the prefix.
      while(NOT dir STREQUAL "" AND NOT dir STREQUAL ".")
        if(NOT IS_DIRECTORY "${manifest_root}/${dir}")
          list(APPEND EYESONLY_MADE_DIRS "${dir}")
        endif()
        get_filename_component(dir "${dir}" DIRECTORY)
      endwhile()
    endforeach()
  endforeach()
  # The prefix itself, listed as ".", when the install makes it.
  if(NOT IS_DIRECTORY "${manifest_root}")
    list(APPEND EYESONLY_MADE_DIRS ".")
  endif()
  # The manifest's own folder.
  set(dir share/eyesonly)
  while(NOT dir STREQUAL "")
    if(NOT IS_DIRECTORY "${manifest_root}/${dir}")
      list(APPEND EYESONLY_MADE_DIRS "${dir}")
    endif()
    get_filename_component(dir "${dir}" DIRECTORY)
  endwhile()
  return()
endif()

# end: this install's files and folders, then what an earlier install into
# the same prefix listed and is still there.
set(files "")
foreach(path ${CMAKE_INSTALL_MANIFEST_FILES})
  string(FIND "${path}" "${CMAKE_INSTALL_PREFIX}/" at)
  if(at EQUAL 0)
    string(LENGTH "${CMAKE_INSTALL_PREFIX}/" skip)
    string(SUBSTRING "${path}" ${skip} -1 relative)
    list(APPEND files "${relative}")
  else()
    message(WARNING "${path} is outside the prefix: tools/uninstall.sh will not remove it")
  endif()
endforeach()
set(dirs ${EYESONLY_MADE_DIRS})
if(EXISTS "${manifest}")
  file(STRINGS "${manifest}" earlier)
  foreach(line ${earlier})
    if(line MATCHES "^file (.*)$" AND EXISTS "${manifest_root}/${CMAKE_MATCH_1}")
      list(APPEND files "${CMAKE_MATCH_1}")
    elseif(line MATCHES "^dir (.*)$" AND IS_DIRECTORY "${manifest_root}/${CMAKE_MATCH_1}")
      list(APPEND dirs "${CMAKE_MATCH_1}")
    endif()
  endforeach()
endif()
list(REMOVE_DUPLICATES files)
list(REMOVE_DUPLICATES dirs)
list(SORT files)
list(SORT dirs)
set(text "# What cmake --install put into this prefix (paths relative to it), for tools/uninstall.sh.\n")
foreach(path ${files})
  string(APPEND text "file ${path}\n")
endforeach()
foreach(path ${dirs})
  string(APPEND text "dir ${path}\n")
endforeach()
file(WRITE "${manifest}" "${text}")
message(STATUS "Listed: ${manifest}")
