# The kit for ROM projects, installed beside kivofs: the reader's sources and examples (the
# one copy, taken from reader/ as it stands; its CMakeLists.txt serves this build only, the
# package's KivoFS::reader takes its place), the CMake package KivoFS and the Makefile
# include kivofs.mk. The includer names the places:
#   KIVOFS_KIT_DATA     the folder that holds reader/ and kivofs.mk
#   KIVOFS_KIT_CMAKE    the folder of KivoFSConfig.cmake
#   KIVOFS_KIT_PROGRAM  the installed kivofs
# all relative to the prefix, so that the package finds its files from where it lies.
include(CMakePackageConfigHelpers)

install(DIRECTORY ${PROJECT_SOURCE_DIR}/reader/ DESTINATION ${KIVOFS_KIT_DATA}/reader
        PATTERN CMakeLists.txt EXCLUDE)
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/kivofs.mk DESTINATION ${KIVOFS_KIT_DATA})

# Beside the sources, which a project copies: their licence, and the README's sections on
# the reader and on the kit.
file(READ ${PROJECT_SOURCE_DIR}/README.md readme)
set(reader_readme "# The Kivo FS reader\n\nFrom the README of Kivo FS Utils ${PROJECT_VERSION}.\n")
foreach(section "The reader for the program in the ROM" "Using Kivo FS in your ROM project")
  string(FIND "${readme}" "\n## ${section}\n" start)
  if(start EQUAL -1)
    message(FATAL_ERROR "README.md has no section '${section}'")
  endif()
  string(SUBSTRING "${readme}" ${start} -1 text)
  string(SUBSTRING "${text}" 1 -1 text)
  string(FIND "${text}" "\n## " end)
  string(SUBSTRING "${text}" 0 ${end} text)
  string(APPEND reader_readme "\n${text}")
endforeach()
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/kit/README.md.new "${reader_readme}")
configure_file(${CMAKE_CURRENT_BINARY_DIR}/kit/README.md.new ${CMAKE_CURRENT_BINARY_DIR}/kit/README.md
               COPYONLY)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/README.md)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/kit/README.md ${PROJECT_SOURCE_DIR}/LICENSE
        DESTINATION ${KIVOFS_KIT_DATA}/reader)

set(KIVOFS_PROGRAM ${KIVOFS_KIT_PROGRAM})
set(KIVOFS_READER ${KIVOFS_KIT_DATA}/reader)
set(kit ${CMAKE_CURRENT_BINARY_DIR}/kit)
configure_package_config_file(${CMAKE_CURRENT_SOURCE_DIR}/cmake/KivoFSConfig.cmake.in
                              ${kit}/KivoFSConfig.cmake
                              INSTALL_DESTINATION ${KIVOFS_KIT_CMAKE}
                              PATH_VARS KIVOFS_PROGRAM KIVOFS_READER
                              NO_CHECK_REQUIRED_COMPONENTS_MACRO)
# The package is the same on every architecture: it names a program, it holds none.
write_basic_package_version_file(${kit}/KivoFSConfigVersion.cmake
                                 VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion
                                 ARCH_INDEPENDENT)
install(FILES ${kit}/KivoFSConfig.cmake ${kit}/KivoFSConfigVersion.cmake
              ${CMAKE_CURRENT_SOURCE_DIR}/cmake/KivoFS.cmake
        DESTINATION ${KIVOFS_KIT_CMAKE})
