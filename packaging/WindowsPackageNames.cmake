# Read by cpack for each generator: the installer gets a name of its own beside the .zip.
if(CPACK_GENERATOR STREQUAL "NSIS")
  set(CPACK_PACKAGE_FILE_NAME "kivofs-utils-${CPACK_PACKAGE_VERSION}-win64-setup")
endif()
