# Read by CPack while it packs (CPACK_PROJECT_CONFIG_FILE): the staging tree
# is known only now. dpkg-shlibdeps looks for the program's private libraries
# there, so they count as part of the package and add no dependency.
if(CPACK_GENERATOR STREQUAL "DEB" AND CPACK_TEMPORARY_DIRECTORY)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS
    "${CPACK_TEMPORARY_DIRECTORY}${CPACK_TOVEK_PRIVATE_LIB_DIR}")
endif()
