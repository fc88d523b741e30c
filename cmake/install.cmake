# What `cmake --install` puts in place, and the Debian package made of it by
# `cpack -G DEB` in the build folder.
# On Windows `cpack -G ZIP` makes a zip of dartcirc.exe and the README.
if(WIN32)
  install(TARGETS dartcirc RUNTIME DESTINATION .)
  install(FILES README.md DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_NAME dartcirc)
  set(CPACK_SYSTEM_NAME win32)
  include(CPack)
  return()
endif()

# A Debian package keeps its manual page and changelog compressed (gzip -n: the
# same bytes from every build) and its copyright file beside the README.
include(GNUInstallDirs)
foreach(file doc/dartcirc.1 cmake/changelog.Debian)
  get_filename_component(name ${file} NAME)
  add_custom_command(OUTPUT ${name}.gz COMMAND gzip -9n -c ${CMAKE_CURRENT_SOURCE_DIR}/${file} > ${name}.gz
                     DEPENDS ${file} VERBATIM)
endforeach()
add_custom_target(compressed_documents ALL DEPENDS dartcirc.1.gz changelog.Debian.gz)
install(TARGETS dartcirc RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/dartcirc.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES README.md cmake/copyright ${CMAKE_CURRENT_BINARY_DIR}/changelog.Debian.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES cmake/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides RENAME dartcirc)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME dartcirc)
set(CPACK_PACKAGE_CONTACT "dartcirc maintainers <maintainers@users.noreply.c-seed-29a7b175.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_DESCRIPTION "dartcirc draws random points in a square of a given radius, counts those
inside the quarter circle and prints the running estimate of pi after every
10,000 points. A run is a pure function of the radius, the trial count and the
UTC time of day at its start, so it can be repeated exactly. Its texts are
Japanese, in code page 932 (converted to UTF-8 on a UTF-8 terminal).")
set(CPACK_DEBIAN_PACKAGE_SECTION math)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The dependencies are read from the binary by dpkg-shlibdeps, not written by hand.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
