# Installs the build into an empty prefix and checks that the program and
# its manual page land where a POSIX system looks for them, that no Debian
# changelog comes with them, and that the installed program runs.
#   BUILD_DIR, PREFIX, BINDIR, MANDIR, PAGE
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
  RESULT_VARIABLE status OUTPUT_VARIABLE log ERROR_VARIABLE log)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed:\n${log}")
endif()

set(program "${PREFIX}/${BINDIR}/scourby")
# The page is compressed where gzip is there to do it.
set(page "${PREFIX}/${MANDIR}/man1/scourby.1")
if(EXISTS "${page}.gz")
  execute_process(COMMAND gzip -dc "${page}.gz" OUTPUT_FILE "${PREFIX}/scourby.1")
  set(page "${PREFIX}/scourby.1")
endif()
foreach(path IN ITEMS "${program}" "${page}")
  if(NOT EXISTS "${path}")
    message(FATAL_ERROR "not installed: ${path}\n${log}")
  endif()
endforeach()
# The Debian changelog belongs to the Debian package alone.
file(GLOB_RECURSE changelogs "${PREFIX}/*changelog*")
if(changelogs)
  message(FATAL_ERROR "a plain install holds ${changelogs}")
endif()
execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${PAGE}" "${page}" RESULT_VARIABLE differs)
if(NOT differs EQUAL 0)
  message(FATAL_ERROR "the installed page differs from ${PAGE}")
endif()

execute_process(COMMAND "${program}" /? RESULT_VARIABLE status OUTPUT_VARIABLE help)
if(NOT status EQUAL 0 OR NOT help MATCHES "Syntax: scourby filespec1")
  message(FATAL_ERROR "the installed program did not print its help (status ${status}):\n${help}")
endif()
file(REMOVE_RECURSE "${PREFIX}")
