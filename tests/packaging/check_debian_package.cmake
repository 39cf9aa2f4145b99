# Makes the Debian package of the build with cpack, run from another folder,
# which it leaves empty, and checks the package: its name
# and version, the program, the compressed manual page, the README,
# copyright and changelog where Debian keeps them, dependencies read off the
# program, and that the program unpacked from it cleans the sample.
# Skipped where dpkg's tools are not installed.
#   BUILD_DIR, WORK_DIR, VERSION, CPACK, SAMPLE
find_program(DPKG_DEB dpkg-deb)
find_program(DPKG_SHLIBDEPS dpkg-shlibdeps)
if(NOT DPKG_DEB OR NOT DPKG_SHLIBDEPS)
  message("SKIPPED: dpkg-deb and dpkg-shlibdeps (dpkg-dev) are not installed")
  return()
endif()

include(${CMAKE_CURRENT_LIST_DIR}/run_command.cmake)

file(REMOVE_RECURSE "${WORK_DIR}" "${BUILD_DIR}/package")
run_cpack_in("${WORK_DIR}" -G DEB --config "${BUILD_DIR}/CPackConfig.cmake")
file(GLOB debs "${BUILD_DIR}/package/scourby_${VERSION}-1_*.deb")
list(LENGTH debs count)
if(NOT count EQUAL 1)
  file(GLOB made "${BUILD_DIR}/package/*")
  message(FATAL_ERROR "no scourby_${VERSION}-1_ARCH.deb; cpack made: ${made}")
endif()

run("listing the package" "${DPKG_DEB}" --contents "${debs}")
foreach(path IN ITEMS usr/bin/scourby usr/share/man/man1/scourby.1.gz usr/share/doc/scourby/README.md
                      usr/share/doc/scourby/copyright usr/share/doc/scourby/changelog.Debian.gz)
  if(NOT output MATCHES " \\./${path}\n")
    message(FATAL_ERROR "the package holds no ${path}:\n${output}")
  endif()
endforeach()
run("its version" "${DPKG_DEB}" --field "${debs}" Version)
if(NOT output STREQUAL "${VERSION}-1\n")
  message(FATAL_ERROR "the package's version is ${output}, not ${VERSION}-1")
endif()
run("its dependencies" "${DPKG_DEB}" --field "${debs}" Depends)
if(NOT output MATCHES "libc6")
  message(FATAL_ERROR "the package's dependencies were not read off the program: ${output}")
endif()

set(root "${WORK_DIR}/root")
run("unpacking" "${DPKG_DEB}" -x "${debs}" "${root}")
file(COPY "${SAMPLE}" DESTINATION "${WORK_DIR}")
get_filename_component(sample "${SAMPLE}" NAME)
run("the unpacked program" "${root}/usr/bin/scourby" "${WORK_DIR}/${sample}")
if(NOT output MATCHES "${sample} - Cleaned 1888 bytes")
  message(FATAL_ERROR "the unpacked program did not clean the sample:\n${output}")
endif()
file(REMOVE_RECURSE "${WORK_DIR}")
