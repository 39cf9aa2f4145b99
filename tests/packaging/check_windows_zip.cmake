# Cross-builds a stand-in program for 64-bit Windows with MinGW-w64, packages
# it with cpack through the project's packaging rules, and checks the zip:
# its name, exactly scourby.exe and README.txt at the top level, README.txt
# with CR LF line ends, and a program that needs no DLL beyond Windows' own.
# Skipped where the cross compiler is not installed.
#   SOURCE_DIR, WORK_DIR, VERSION, GENERATOR, CPACK
find_program(MINGW_CXX NAMES x86_64-w64-mingw32-g++-posix x86_64-w64-mingw32-g++)
find_program(MINGW_OBJDUMP x86_64-w64-mingw32-objdump)
if(NOT MINGW_CXX OR NOT MINGW_OBJDUMP)
  message("SKIPPED: the MinGW-w64 cross compiler is not installed")
  return()
endif()

include(${CMAKE_CURRENT_LIST_DIR}/run_command.cmake)

file(REMOVE_RECURSE "${WORK_DIR}")
set(build "${WORK_DIR}/build")
run("configure" "${CMAKE_COMMAND}" -S "${SOURCE_DIR}/tests/packaging/windows_zip" -B "${build}" -G "${GENERATOR}"
  -DCMAKE_SYSTEM_NAME=Windows -DCMAKE_CXX_COMPILER=${MINGW_CXX} -DCMAKE_BUILD_TYPE=Release
  "-DSCOURBY_SOURCE_DIR=${SOURCE_DIR}" "-DSCOURBY_VERSION=${VERSION}")
run("build" "${CMAKE_COMMAND}" --build "${build}")
run_cpack_in("${WORK_DIR}/elsewhere" --config "${build}/CPackConfig.cmake")

set(zip "${build}/package/scourby-${VERSION}-win64.zip")
if(NOT EXISTS "${zip}")
  file(GLOB made "${build}/package/*")
  message(FATAL_ERROR "no ${zip}; cpack made: ${made}")
endif()
run("listing the zip" "${CMAKE_COMMAND}" -E tar tf "${zip}")
string(STRIP "${output}" listing)
string(REPLACE "\n" ";" entries "${listing}")
list(SORT entries)
if(NOT entries STREQUAL "README.txt;scourby.exe")
  message(FATAL_ERROR "the zip holds [${entries}], not [README.txt;scourby.exe]")
endif()

set(unpacked "${WORK_DIR}/unpacked")
file(MAKE_DIRECTORY "${unpacked}")
execute_process(COMMAND "${CMAKE_COMMAND}" -E tar xf "${zip}" WORKING_DIRECTORY "${unpacked}")
# Read as hex, one byte per list entry, since a text read drops the CRs.
file(READ "${unpacked}/README.txt" readme HEX)
string(REGEX MATCHALL ".." bytes "${readme}")
list(JOIN bytes "," readme)
string(REPLACE "0d,0a" "crlf" readme ",${readme}")
if(readme MATCHES "0a" OR NOT readme MATCHES "crlf$")
  message(FATAL_ERROR "README.txt has a line that does not end with CR LF")
endif()

run("objdump" "${MINGW_OBJDUMP}" -p "${unpacked}/scourby.exe")
string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${output}")
foreach(import IN LISTS imports)
  string(TOLOWER "${import}" dll)
  if(dll MATCHES "lib(stdc\\+\\+|gcc|winpthread)")
    message(FATAL_ERROR "scourby.exe needs a DLL the zip does not hold: ${import}")
  endif()
endforeach()
file(REMOVE_RECURSE "${WORK_DIR}")
