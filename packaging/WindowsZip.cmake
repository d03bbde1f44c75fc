# The Windows package: kivofs-<version>-win64.zip holding kivofs.exe, the README and the
# licence at its top, and the kit for ROM projects; made by `cpack -G ZIP` in the Windows build
# directory. The program is linked statically, so nothing else needs to travel with it.
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION .)
# The kit for ROM projects: reader/, cmake/ (CMAKE_PREFIX_PATH=<the unpacked zip> finds it)
# and kivofs.mk.
set(KIVOFS_KIT_DATA .)
set(KIVOFS_KIT_CMAKE cmake)
set(KIVOFS_KIT_PROGRAM kivofs.exe)
include(${CMAKE_CURRENT_LIST_DIR}/Kit.cmake)
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME kivofs)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME kivofs-${PROJECT_VERSION}-win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_STRIP_FILES ON)
include(CPack)
