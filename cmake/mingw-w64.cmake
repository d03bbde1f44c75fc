# Cross build for 64-bit Windows with Debian's mingw-w64 (POSIX threads variant, which
# std::thread and the test framework need). Programs are linked statically, so that a
# .exe runs on a bare Windows without the compiler's DLLs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MINGW_PREFIX x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_PREFIX})
# wxWidgets for Windows lives in a prefix of its own (scripts/build-wxmsw), which wx-config names.
if(wxWidgets_CONFIG_EXECUTABLE)
  get_filename_component(KIVOFS_WX_PREFIX ${wxWidgets_CONFIG_EXECUTABLE} DIRECTORY)
  get_filename_component(KIVOFS_WX_PREFIX ${KIVOFS_WX_PREFIX} DIRECTORY)
  list(APPEND CMAKE_FIND_ROOT_PATH ${KIVOFS_WX_PREFIX})
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# GCC 12 warns falsely about std::string concatenation at -O3 (GCC bug 105329).
set(CMAKE_CXX_FLAGS_INIT "-Wno-restrict")
# Windows 10 and later: SetFileInformationByHandle and the rest of the Vista API.
add_compile_definitions(_WIN32_WINNT=0x0A00 WIN32_LEAN_AND_MEAN NOMINMAX UNICODE _UNICODE)
