# kivofs_platform_sources(<variable>): the .cpp files of the calling folder that the target
# platform builds. A file named *_posix.cpp or *_win32.cpp holds one platform's calls and is
# left out on the other.
function(kivofs_platform_sources variable)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(WIN32)
    list(FILTER sources EXCLUDE REGEX "_posix\\.cpp$")
  else()
    list(FILTER sources EXCLUDE REGEX "_win32\\.cpp$")
  endif()
  set(${variable} ${sources} PARENT_SCOPE)
endfunction()
