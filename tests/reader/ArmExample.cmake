# Shared by the tests that run the reader's example programs in an emulator.

# Stands in for the test `name` when what it needs is missing: not skipped quietly, the test
# stays and fails, naming the packages.
function(kivofs_test_needs name packages)
  message(WARNING "${name} needs ${packages}")
  add_test(NAME ${name} COMMAND sh -c "echo 'needs ${packages}'; exit 1")
endfunction()

# Builds reader/examples/<folder> with its Makefile into ${CMAKE_CURRENT_BINARY_DIR}/example,
# as the target <target>: OUTPUTS are its files there, SOURCES globs of the sources it reads
# beyond the reader's and the examples' own.
function(kivofs_arm_example target folder)
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "" "OUTPUTS;SOURCES")
  set(reader ${PROJECT_SOURCE_DIR}/reader)
  set(out ${CMAKE_CURRENT_BINARY_DIR}/example)
  file(GLOB sources CONFIGURE_DEPENDS ${reader}/kivofs_reader.* ${reader}/examples/listing.*
       ${reader}/examples/start.inc ${reader}/examples/${folder}/* ${arg_SOURCES})
  list(TRANSFORM arg_OUTPUTS PREPEND ${out}/ OUTPUT_VARIABLE outputs)
  string(TOUPPER ${folder} platform)
  add_custom_command(OUTPUT ${outputs}
                     COMMAND ${CMAKE_COMMAND} -E env MAKEFLAGS= ${KIVOFS_MAKE} -s
                             -C ${reader}/examples/${folder} OUT=${out} WERROR=-Werror
                     DEPENDS ${sources}
                     COMMENT "Building the ${platform} example with arm-none-eabi-gcc")
  add_custom_target(${target} ALL DEPENDS ${outputs})
endfunction()
