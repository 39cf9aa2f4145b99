# Renders the manual page with every groff warning turned on; any warning
# fails the test. Skipped where groff is not installed.
#   PAGE: the page to render
find_program(GROFF groff)
if(NOT GROFF)
  message("SKIPPED: groff is not installed")
  return()
endif()
execute_process(COMMAND "${GROFF}" -man -Tutf8 -ww "${PAGE}"
  RESULT_VARIABLE status OUTPUT_VARIABLE rendered ERROR_VARIABLE warnings)
if(NOT status EQUAL 0 OR NOT warnings STREQUAL "")
  message(FATAL_ERROR "groff (status ${status}) warns about ${PAGE}:\n${warnings}")
endif()
string(LENGTH "${rendered}" length)
if(length LESS 1000)
  message(FATAL_ERROR "groff rendered next to nothing from ${PAGE}")
endif()
