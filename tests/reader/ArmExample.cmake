# Shared by the tests that run the reader's example programs in an emulator.

find_program(KIVOFS_ARM_GCC arm-none-eabi-gcc)
find_program(KIVOFS_MAKE make)

# kivofs_emulator_runner(<runner> <source> TEST <test> PACKAGES <text> FOUND <variable>...
#                        INCLUDE <folder> [LIBS <library>...])
# Builds the program <runner>, which runs an example in an emulator for the test <test>, when
# the ARM compiler, make and every FOUND variable were found, and sets <runner>_READY. When
# something is missing the test is not skipped quietly: it stays and fails, naming the
# packages (the ARM compiler's and <text>).
function(kivofs_emulator_runner runner source)
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "TEST;PACKAGES;INCLUDE" "FOUND;LIBS")
  foreach(variable KIVOFS_ARM_GCC KIVOFS_MAKE ${arg_FOUND})
    if(NOT ${variable})
      set(text "gcc-arm-none-eabi, libnewlib-arm-none-eabi and ${arg_PACKAGES}")
      message(WARNING "${arg_TEST} needs ${text}")
      add_test(NAME ${arg_TEST} COMMAND sh -c "echo 'needs ${text}'; exit 1")
      set(${runner}_READY FALSE PARENT_SCOPE)
      return()
    endif()
  endforeach()
  add_executable(${runner} ${source})
  target_include_directories(${runner} SYSTEM PRIVATE ${arg_INCLUDE})
  target_link_libraries(${runner} PRIVATE ${arg_LIBS})
  set(${runner}_READY TRUE PARENT_SCOPE)
endfunction()

# Builds reader/examples/<folder> with its Makefile into ${CMAKE_CURRENT_BINARY_DIR}/example,
# as the target <target>: OUTPUTS are its files there, SOURCES globs of the sources it reads
# beyond the reader's and the examples' own.
function(kivofs_arm_example target folder)
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "" "OUTPUTS;SOURCES")
  set(reader ${PROJECT_SOURCE_DIR}/reader)
  set(out ${CMAKE_CURRENT_BINARY_DIR}/example)
  file(GLOB sources CONFIGURE_DEPENDS ${reader}/kivofs_reader.* ${reader}/examples/*.*
       ${reader}/examples/${folder}/* ${arg_SOURCES})
  list(TRANSFORM arg_OUTPUTS PREPEND ${out}/ OUTPUT_VARIABLE outputs)
  string(TOUPPER ${folder} platform)
  add_custom_command(OUTPUT ${outputs}
                     COMMAND ${CMAKE_COMMAND} -E env MAKEFLAGS= ${KIVOFS_MAKE} -s
                             -C ${reader}/examples/${folder} OUT=${out} WERROR=-Werror
                     DEPENDS ${sources}
                     COMMENT "Building the ${platform} example with arm-none-eabi-gcc")
  add_custom_target(${target} ALL DEPENDS ${outputs})
endfunction()
