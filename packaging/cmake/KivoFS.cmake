# Drive images for a GBA or DS ROM, made and attached as part of a CMake build.
#
# Imported and defined targets
#   KivoFS::kivofs   the kivofs program. It runs on the build machine, also when the project
#                    is cross-compiled for the ARM.
#   KivoFS::reader   the reader for the program in the ROM, a static library compiled from
#                    KIVOFS_READER_DIR with this project's own (cross) compiler and flags:
#                    target_link_libraries(game PRIVATE KivoFS::reader) also gives the include
#                    folder. Defined when C is enabled before find_package(KivoFS).
# Variables
#   KIVOFS_EXECUTABLE   the program's path
#   KIVOFS_READER_DIR   the reader's sources (kivofs_reader.h, kivofs_reader.c) and examples
#   KIVOFS_DATE_EPOCH   (cache) the instant the images' entries carry, in seconds since 1970,
#                       UTC: SOURCE_DATE_EPOCH or the time of the first configuration. Fixed,
#                       so that the same tree gives the same image bytes.
#
# kivofs_add_drive(<name> SOURCE <dir> OUTPUT <file.kid> [NAME <label>] [EXCLUDE <glob>...])
#   Packs the folder <dir> into the drive image <file.kid> (`kivofs build`), and adds the
#   target <name> for it, built by default. The image is made again exactly when a file or
#   folder in the tree is changed, added or removed, or kivofs itself changes; when the new
#   image has the same bytes (a file the build ignores was added, say) the old one stays,
#   untouched, and nothing that depends on it runs. NAME is the drive's label (at most 15
#   bytes), each EXCLUDE a glob of names to leave out. A relative SOURCE is taken from the
#   current source folder, a relative OUTPUT in the current build folder.
#
# kivofs_attach(<name> HOST <rom> OUTPUT <rom> DRIVE0 <drive> [DRIVE1 <drive>]
#               [SAVEFLASH] [NDS_HEADER])
#   Writes the ROM OUTPUT: HOST with the drives attached (`kivofs attach`), in the target
#   <name>, built by default. HOST is a file or the OUTPUT of another custom command (the
#   objcopy step that makes the .gba or .nds); each <drive> is a <name> given to
#   kivofs_add_drive. It runs again when the host or a drive changes, and only then.
#   SAVEFLASH marks the cartridge's save flash as a RAM drive; NDS_HEADER sets an .nds
#   header's used ROM size to the end of the drives. Relative HOST and OUTPUT are taken in
#   the current build folder, as add_custom_command does.

cmake_policy(PUSH)
# The functions keep these settings wherever they are called from: CMP0116 has Ninja read
# the dependency file's absolute paths as they are.
cmake_policy(VERSION 3.20...3.25)

if(NOT TARGET KivoFS::kivofs)
  add_executable(KivoFS::kivofs IMPORTED GLOBAL)
  set_target_properties(KivoFS::kivofs PROPERTIES IMPORTED_LOCATION "${KIVOFS_EXECUTABLE}")
endif()

get_property(_kivofs_languages GLOBAL PROPERTY ENABLED_LANGUAGES)
if("C" IN_LIST _kivofs_languages AND NOT TARGET KivoFS::reader)
  # Built only when something links it.
  add_library(KivoFS_reader STATIC EXCLUDE_FROM_ALL "${KIVOFS_READER_DIR}/kivofs_reader.c")
  target_include_directories(KivoFS_reader PUBLIC "${KIVOFS_READER_DIR}")
  target_compile_features(KivoFS_reader PRIVATE c_std_99)
  add_library(KivoFS::reader ALIAS KivoFS_reader)
endif()
unset(_kivofs_languages)

if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(_kivofs_epoch "$ENV{SOURCE_DATE_EPOCH}")
else()
  string(TIMESTAMP _kivofs_epoch "%s" UTC)
endif()
set(KIVOFS_DATE_EPOCH "${_kivofs_epoch}" CACHE STRING
    "The instant that the drive images' entries carry, in seconds since 1970 (UTC)")
unset(_kivofs_epoch)

# Stops with a message naming the function, its target and what is wrong.
function(_kivofs_fail function name text)
  message(FATAL_ERROR "${function}(${name}): ${text}")
endfunction()

# Stops at an unknown argument or a missing required keyword (each further argument), in
# the arg_* variables that the caller's cmake_parse_arguments set.
function(_kivofs_check_arguments function name)
  if(arg_UNPARSED_ARGUMENTS)
    list(GET arg_UNPARSED_ARGUMENTS 0 first)
    _kivofs_fail(${function} "${name}" "unknown argument '${first}'")
  endif()
  foreach(keyword IN LISTS ARGN)
    if(NOT DEFINED arg_${keyword})
      _kivofs_fail(${function} "${name}" "${keyword} is required")
    endif()
  endforeach()
endfunction()

function(kivofs_add_drive name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "SOURCE;OUTPUT;NAME" "EXCLUDE")
  _kivofs_check_arguments(kivofs_add_drive "${name}" SOURCE OUTPUT)
  cmake_path(ABSOLUTE_PATH arg_SOURCE BASE_DIRECTORY "${CMAKE_CURRENT_SOURCE_DIR}" NORMALIZE
             OUTPUT_VARIABLE source)
  if(NOT IS_DIRECTORY "${source}")
    _kivofs_fail(kivofs_add_drive "${name}" "the SOURCE folder '${source}' does not exist")
  endif()
  cmake_path(ABSOLUTE_PATH arg_OUTPUT BASE_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}" NORMALIZE
             OUTPUT_VARIABLE output)
  set(options)
  if(DEFINED arg_NAME)
    list(APPEND options --name "${arg_NAME}")
  endif()
  foreach(glob IN LISTS arg_EXCLUDE)
    list(APPEND options --exclude "${glob}")
  endforeach()

  # The command's own output is a stamp, touched on every run; the image is a by-product that
  # kivofs leaves alone when its bytes stay the same (the entries' time is fixed), so the
  # attach step runs only when they change. The dependency file names the stamp, and reaches
  # the names that CMake would misread (':', '#', '$', a trailing space...) through links with
  # plain names.
  set(work "${CMAKE_CURRENT_BINARY_DIR}/CMakeFiles/${name}.kivofs")
  file(MAKE_DIRECTORY "${work}")
  add_custom_command(OUTPUT "${work}/scan.stamp"
    BYPRODUCTS "${output}"
    COMMAND "${CMAKE_COMMAND}" -E env "SOURCE_DATE_EPOCH=${KIVOFS_DATE_EPOCH}"
            "$<TARGET_FILE:KivoFS::kivofs>" build "${source}" -o "${output}" ${options} --quiet
            --depfile "${work}/tree.d" --depfile-target "${work}/scan.stamp"
            --depfile-links "${work}/links"
    COMMAND "${CMAKE_COMMAND}" -E touch "${work}/scan.stamp"
    DEPENDS "$<TARGET_FILE:KivoFS::kivofs>"
    DEPFILE "${work}/tree.d"
    COMMENT "Packing drive ${name} from ${source}"
    VERBATIM)
  add_custom_target(${name} ALL DEPENDS "${work}/scan.stamp")
  set_target_properties(${name} PROPERTIES KIVOFS_DRIVE_IMAGE "${output}")
endfunction()

# The image of the drive target `drive`, into the variable `out`.
function(_kivofs_drive_image name drive out)
  if(TARGET ${drive})
    get_target_property(image ${drive} KIVOFS_DRIVE_IMAGE)
  endif()
  if(NOT image)
    _kivofs_fail(kivofs_attach "${name}" "'${drive}' is not a drive made by kivofs_add_drive")
  endif()
  set(${out} "${image}" PARENT_SCOPE)
endfunction()

function(kivofs_attach name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "SAVEFLASH;NDS_HEADER" "HOST;OUTPUT;DRIVE0;DRIVE1" "")
  _kivofs_check_arguments(kivofs_attach "${name}" HOST OUTPUT)
  if(arg_DRIVE1 AND NOT arg_DRIVE0)
    _kivofs_fail(kivofs_attach "${name}" "DRIVE1 given without DRIVE0 (a single drive is DRIVE0)")
  elseif(NOT arg_DRIVE0)
    _kivofs_fail(kivofs_attach "${name}" "DRIVE0 is required")
  endif()
  cmake_path(ABSOLUTE_PATH arg_HOST BASE_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}" NORMALIZE
             OUTPUT_VARIABLE host)
  cmake_path(ABSOLUTE_PATH arg_OUTPUT BASE_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}" NORMALIZE
             OUTPUT_VARIABLE output)
  set(options)
  set(images)
  set(drives)
  foreach(slot 0 1)
    if(arg_DRIVE${slot})
      _kivofs_drive_image("${name}" "${arg_DRIVE${slot}}" image)
      list(APPEND options --drive${slot} "${image}")
      list(APPEND images "${image}")
      list(APPEND drives "${arg_DRIVE${slot}}")
    endif()
  endforeach()
  if(arg_SAVEFLASH)
    list(APPEND options --saveflash)
  endif()
  if(arg_NDS_HEADER)
    list(APPEND options --nds-header)
  endif()
  # As for the images: kivofs leaves a ROM that would get the same bytes (a host linked
  # again unchanged) untouched, and the stamp keeps make from running the attach again.
  set(stamp "${CMAKE_CURRENT_BINARY_DIR}/CMakeFiles/${name}.kivofs/attach.stamp")
  file(MAKE_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}/CMakeFiles/${name}.kivofs")
  list(JOIN drives " and " named)
  add_custom_command(OUTPUT "${stamp}"
    BYPRODUCTS "${output}"
    COMMAND KivoFS::kivofs attach "${host}" -o "${output}" ${options}
    COMMAND "${CMAKE_COMMAND}" -E touch "${stamp}"
    DEPENDS "${host}" ${images} ${drives} "$<TARGET_FILE:KivoFS::kivofs>"
    COMMENT "Attaching drive ${named} to ${host}"
    VERBATIM)
  add_custom_target(${name} ALL DEPENDS "${stamp}")
endfunction()

cmake_policy(POP)
