# Install rules and the Windows package, for a project that defines the
# target scourby. Paths are taken relative to this file, so the rules do not
# depend on the project that includes it.
#
# Elsewhere: bin/scourby, share/man/man1/scourby.1.gz (plain scourby.1
# where gzip is missing) and the README and copyright under
# share/doc/scourby, and a Debian package of that and the Debian changelog
# (cpack -G DEB), which only a Debian package holds. cpack puts the package
# and its work folder (_CPack_Packages) under package/ in the build tree,
# wherever it runs from.
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
  set(CPACK_PACKAGE_DIRECTORY "${PROJECT_BINARY_DIR}/package")
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

  # The manual page and the changelog compressed as Debian keeps them:
  # gzip -9n puts no name or time in them, so that builds repeat.
  find_program(SCOURBY_GZIP gzip)
  function(scourby_gzipped source output)
    add_custom_command(OUTPUT "${output}" COMMAND "${SCOURBY_GZIP}" -9nc "${source}" > "${output}"
      DEPENDS "${source}" VERBATIM)
  endfunction()
  if(SCOURBY_GZIP)
    set(_scourby_page "${PROJECT_BINARY_DIR}/scourby.1.gz")
    set(_scourby_changelog "${PROJECT_BINARY_DIR}/changelog.Debian.gz")
    scourby_gzipped("${_scourby_root}/doc/scourby.1" "${_scourby_page}")
    scourby_gzipped("${_scourby_root}/packaging/debian/changelog" "${_scourby_changelog}")
    add_custom_target(scourby_compressed_docs ALL DEPENDS "${_scourby_page}" "${_scourby_changelog}")
    # Only for the package: a plain install has no use for it.
    install(FILES "${_scourby_changelog}" DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT debian EXCLUDE_FROM_ALL)
    set(CPACK_INSTALL_CMAKE_PROJECTS "${PROJECT_BINARY_DIR};${PROJECT_NAME};ALL;/"
                                     "${PROJECT_BINARY_DIR};${PROJECT_NAME};debian;/")
  else()
    set(_scourby_page "${_scourby_root}/doc/scourby.1")
  endif()
  install(FILES "${_scourby_page}" DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES "${_scourby_root}/README.md" "${_scourby_root}/packaging/debian/copyright"
    DESTINATION ${CMAKE_INSTALL_DOCDIR})

  set(CPACK_PACKAGE_DIRECTORY "${PROJECT_BINARY_DIR}/package")
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGE_NAME scourby)
  set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
  set(CPACK_PACKAGE_CONTACT "The Scourby developers <developers@scourby.invalid>")
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_STRIP_FILES ON)
  set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION sound)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # The libraries the program needs, as dpkg-shlibdeps reads them off it.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "command-line MP3 cleaner
Scourby rewrites MP3 files so that they hold nothing but complete MPEG
audio frames: ID3v2 and ID3v1 tags, Lyrics3 blocks, RIFF/WAVE wrappers,
junk between frames and a cut-off last frame are removed, optionally into
a .trash file, with a .bak backup, in place or through a temporary file.
It walks whole libraries, leaves files that are no MP3 (or have nothing to
remove) exactly as they were, and has a dry run that only reports.")
  include(CPack)
endif()
