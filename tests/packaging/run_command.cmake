# run(WHAT COMMAND...): runs the command; stops the check with WHAT and what
# the command printed when it fails, else sets `output` to its standard
# output.
function(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${what} failed:\n${out}${err}")
  endif()
  set(output "${out}" PARENT_SCOPE)
endfunction()

# run_cpack_in(FOLDER ARGS...): runs cpack with ARGS from FOLDER (made
# here), and stops the check when it fails or leaves anything there: cpack
# writes into the build tree alone, wherever it runs from.
function(run_cpack_in folder)
  file(MAKE_DIRECTORY "${folder}")
  execute_process(COMMAND "${CPACK}" ${ARGN} WORKING_DIRECTORY "${folder}"
    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "cpack failed:\n${out}")
  endif()
  file(GLOB left "${folder}/*")
  if(left)
    message(FATAL_ERROR "cpack left files in the folder it ran from: ${left}")
  endif()
endfunction()
