# gzip -9n, as Debian wants manual pages and changelogs: best compression, and no name or
# time stamp in the header, so the same input gives the same bytes.
#   cmake -DINPUT=<file> -DOUTPUT=<file.gz> -P Gzip.cmake
execute_process(COMMAND gzip -9nc ${INPUT} OUTPUT_FILE ${OUTPUT}.tmp RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  file(REMOVE ${OUTPUT}.tmp)
  message(FATAL_ERROR "gzip ${INPUT} failed: ${result}")
endif()
file(RENAME ${OUTPUT}.tmp ${OUTPUT})
