# The Windows packages, made in the Windows build directory:
#   cpack -G ZIP   kivofs-<version>-win64.zip: kivofs.exe, kivofs-utils.exe, the README and the
#                  licence at its top, and the kit for ROM projects, to unpack anywhere;
#   cpack -G NSIS  kivofs-utils-<version>-win64-setup.exe: installs the same under Program
#                  Files with a Start-menu entry, an optional PATH entry and an uninstaller
#                  registered with Windows; /S installs silently (/PATH=user or /PATH=all adds
#                  the PATH entry then).
# The programs are linked statically, so nothing else needs to travel with them.
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION .)
# The kit for ROM projects: reader/, cmake/ (CMAKE_PREFIX_PATH=<the unpacked zip> finds it)
# and kivofs.mk.
set(KIVOFS_KIT_DATA .)
set(KIVOFS_KIT_CMAKE cmake)
set(KIVOFS_KIT_PROGRAM kivofs.exe)
include(${CMAKE_CURRENT_LIST_DIR}/Kit.cmake)
set(CPACK_GENERATOR "ZIP;NSIS")
set(CPACK_PACKAGE_NAME kivofs)
set(CPACK_PACKAGE_VENDOR "Kivo FS Utils developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME kivofs-${PROJECT_VERSION}-win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_STRIP_FILES ON)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
# The installer's own file name is set per generator.
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_SOURCE_DIR}/WindowsPackageNames.cmake)

# The installer. Debian's Wine is 64-bit only and cannot run NSIS's default 32-bit stub.
set(KIVOFS_DISPLAY_NAME "Kivo FS Utils")
set(CPACK_PACKAGE_INSTALL_DIRECTORY "${KIVOFS_DISPLAY_NAME}")
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "${KIVOFS_DISPLAY_NAME}")
set(CPACK_NSIS_PACKAGE_NAME "${KIVOFS_DISPLAY_NAME}")
set(CPACK_NSIS_DISPLAY_NAME "${KIVOFS_DISPLAY_NAME}")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
set(CPACK_PACKAGE_EXECUTABLES kivofs-utils "${KIVOFS_DISPLAY_NAME}")
set(CPACK_NSIS_INSTALLED_ICON_NAME kivofs-utils.exe)
set(CPACK_NSIS_MUI_ICON ${PROJECT_BINARY_DIR}/app/kivofs-utils.ico)
set(CPACK_NSIS_MUI_UNIICON ${PROJECT_BINARY_DIR}/app/kivofs-utils.ico)
set(CPACK_NSIS_MANIFEST_DPI_AWARE ON)
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
# The options page offers the PATH entry; CPack's own PATH code looks for a bin folder, which
# this layout has not, so it never runs: KivoPath.nsh adds the entry without cutting a long PATH.
set(CPACK_NSIS_MODIFY_PATH ON)
string(JOIN "\n" CPACK_NSIS_DEFINES
  "Target amd64-unicode"
  "!define KIVO_REGISTRY_KEY '${CPACK_PACKAGE_INSTALL_REGISTRY_KEY}'"
  "!define KIVO_VENDOR '${CPACK_PACKAGE_VENDOR}'"
  "!include '${CMAKE_CURRENT_SOURCE_DIR}/KivoPath.nsh'")
set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS "Call KivoAddToPath")
set(CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS "Call un.KivoRemoveFromPath")
include(CPack)
