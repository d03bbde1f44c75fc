# Writes kivofs.1 with help2man from the program's own --help (shaped by kivofs-help.sh) and
# the hand-written sections of kivofs.h2m.
#   cmake -DKIVOFS=<kivofs> -DHELP2MAN=<help2man> -DOUTPUT=<kivofs.1> -P KivofsManPage.cmake
set(here ${CMAKE_CURRENT_LIST_DIR})
execute_process(COMMAND ${KIVOFS} --help OUTPUT_VARIABLE help RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "kivofs --help failed: ${result}")
endif()
# The first line of --help, "kivofs: <what it does>", is the page's one-line summary.
string(REGEX MATCH "^kivofs: ([^\n]*)" summary "${help}")
if(NOT summary)
  message(FATAL_ERROR "kivofs --help does not start with 'kivofs: <summary>'")
endif()
execute_process(
  COMMAND ${HELP2MAN} --no-info --section 1 --name "${CMAKE_MATCH_1}"
          --include ${here}/kivofs.h2m --output ${OUTPUT}.tmp "sh ${here}/kivofs-help.sh ${KIVOFS}"
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "help2man failed: ${result}")
endif()

# A subcommand's heading needs a trailing colon for help2man to see it, and its description
# an indent; neither belongs in the page.
file(READ ${OUTPUT}.tmp page)
string(REGEX REPLACE "\n\\.SS \"([^\n]*):\"\n\\.IP\n" "\n.SS \"\\1\"\n" page "${page}")
file(WRITE ${OUTPUT} "${page}")
file(REMOVE ${OUTPUT}.tmp)
