# Install rules and the Windows package, for a project that defines the
# target scourby. Paths are taken relative to this file, so the rules do not
# depend on the project that includes it.
#
# Elsewhere: bin/scourby and share/man/man1/scourby.1 under the prefix.
# Windows: scourby.exe and README.txt side by side at the top of the prefix,
# and a ZIP package of exactly that, made by cpack or the package target.

include(GNUInstallDirs)
set(_scourby_root "${CMAKE_CURRENT_LIST_DIR}/..")

if(WIN32)
  install(TARGETS scourby RUNTIME DESTINATION .)
  install(FILES "${_scourby_root}/packaging/windows/README.txt" DESTINATION .)

  # The zip holds no runtime libraries, so the program must not need any
  # beyond those of Windows itself.
  if(MINGW)
    target_link_options(scourby PRIVATE -static)
  endif()

  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(_scourby_system win64)
  else()
    set(_scourby_system win32)
  endif()
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_NAME scourby)
  set(CPACK_PACKAGE_VENDOR "The Scourby developers")
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Command-line MP3 cleaner")
  set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
  set(CPACK_SYSTEM_NAME ${_scourby_system})
  set(CPACK_PACKAGE_FILE_NAME "scourby-${PROJECT_VERSION}-${_scourby_system}")
  # The files sit at the top of the zip, not in a folder named after it.
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
  set(CPACK_STRIP_FILES ON)
  include(CPack)
else()
  install(TARGETS scourby RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES "${_scourby_root}/doc/scourby.1" DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
