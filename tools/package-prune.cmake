# Run by cpack on its staging folder before it packs: the install's list of
# its own files belongs to an install by hand, not to the package, which
# dpkg keeps its own list of.
file(GLOB_RECURSE lists "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/share/eyesonly/install-manifest.txt")
foreach(list ${lists})
  file(REMOVE "${list}")
endforeach()
