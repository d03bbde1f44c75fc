# Installs the build into a scratch prefix and checks what a desktop needs to list the program:
# both binaries, the desktop entry naming them, and the icon it names in the hicolor theme;
# where bash looks for the completion and Debian for the copyright and changelog; and the kit
# for ROM projects: the CMake package, kivofs.mk and every file of reader/ as it stands (but
# its CMakeLists.txt files).
#   cmake -DBUILD_DIR=<build> -DPREFIX=<scratch> -P tests/packaging/InstallLayout.cmake
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${result}")
endif()

set(desktop ${PREFIX}/share/applications/kivofs-utils.desktop)
foreach(file bin/kivofs-utils bin/kivofs share/applications/kivofs-utils.desktop
             share/icons/hicolor/16x16/apps/kivofs-utils.png share/icons/hicolor/32x32/apps/kivofs-utils.png
             share/bash-completion/completions/kivofs share/doc/kivofs-utils/copyright
             share/doc/kivofs-utils/changelog.gz share/kivofs/kivofs.mk
             lib/cmake/KivoFS/KivoFSConfig.cmake lib/cmake/KivoFS/KivoFSConfigVersion.cmake
             lib/cmake/KivoFS/KivoFS.cmake)
  if(NOT EXISTS ${PREFIX}/${file})
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()
foreach(program kivofs-utils kivofs)
  execute_process(COMMAND test -x ${PREFIX}/bin/${program} RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "not executable: bin/${program}")
  endif()
endforeach()

file(STRINGS ${desktop} lines)
foreach(expected "[Desktop Entry]" "Type=Application" "Name=Kivo FS Utils" "Exec=kivofs-utils"
                 "Icon=kivofs-utils" "Terminal=false")
  list(FIND lines "${expected}" found)
  if(found EQUAL -1)
    message(FATAL_ERROR "the desktop entry lacks '${expected}'")
  endif()
endforeach()

# The PNGs are real images of the stated sizes: width and height sit in the IHDR chunk.
foreach(size 16 32)
  file(READ ${PREFIX}/share/icons/hicolor/${size}x${size}/apps/kivofs-utils.png header LIMIT 24 HEX)
  string(SUBSTRING "${header}" 0 16 signature)
  string(SUBSTRING "${header}" 32 16 dimensions)
  math(EXPR hex "${size}" OUTPUT_FORMAT HEXADECIMAL)
  string(REPLACE "0x" "" hex "${hex}")
  string(LENGTH "${hex}" length)
  while(length LESS 8)
    string(PREPEND hex "0")
    string(LENGTH "${hex}" length)
  endwhile()
  string(TOLOWER "${hex}${hex}" expected)
  if(NOT signature STREQUAL "89504e470d0a1a0a" OR NOT dimensions STREQUAL expected)
    message(FATAL_ERROR "icon ${size}x${size} is not a ${size}x${size} PNG: ${header}")
  endif()
endforeach()
get_filename_component(reader ${CMAKE_CURRENT_LIST_DIR}/../../reader ABSOLUTE)
file(GLOB_RECURSE reader_files RELATIVE ${reader} ${reader}/*)
list(FILTER reader_files EXCLUDE REGEX "(^|/)CMakeLists\\.txt$")
foreach(file IN LISTS reader_files)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${reader}/${file}
                          ${PREFIX}/share/kivofs/reader/${file} RESULT_VARIABLE different)
  if(NOT different EQUAL 0)
    message(FATAL_ERROR "share/kivofs/reader/${file} is not reader/${file}")
  endif()
endforeach()
message(STATUS "install layout complete under ${PREFIX}")
