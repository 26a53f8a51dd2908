# Installation and packages: `cmake --install` puts the program and its manual page under
# the prefix; CPack makes a Debian package on Linux and a ZIP for the Windows build.
include(GNUInstallDirs)

# Directories the packages make have the same mode whatever the umask of the build.
set(dir_permissions OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ
  WORLD_EXECUTE)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS ${dir_permissions})
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS ${dir_permissions})

if(WIN32)
  # The ZIP: the program, the README and the licence side by side.
  install(TARGETS textfile RUNTIME DESTINATION .)
  install(FILES README.md ${CMAKE_CURRENT_BINARY_DIR}/LICENSE DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME textfile-${PROJECT_VERSION}-windows-x86)
else()
  install(TARGETS textfile RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/textfile.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR}
    RENAME copyright)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
  set(CPACK_GENERATOR DEB)
endif()

# The licence as the packages carry it, with the year of the last change in its notice.
file(READ LICENSE licence)
string(REPLACE "Copyright (c) The textfile developers"
  "Copyright (c) ${TEXTFILE_YEAR} The textfile developers" licence "${licence}")
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/LICENSE "${licence}")

# The manual page, dated and versioned by the build.
configure_file(doc/textfile.1.in textfile.1 @ONLY)

# Debian wants a compressed changelog in every package's documentation, dated by the build.
string(TIMESTAMP changelog_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/changelog
  "textfile (${PROJECT_VERSION}) unstable; urgency=medium\n\n"
  "  * Release ${PROJECT_VERSION}: the create, open and close commands.\n\n"
  " -- The textfile developers <textfile-devel@textfile.invalid>  ${changelog_date}\n")
add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz
  COMMAND gzip -9nf -k ${CMAKE_CURRENT_BINARY_DIR}/changelog
  DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/changelog)
if(NOT WIN32)
  add_custom_target(compressed-changelog ALL DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz)
endif()

set(CPACK_PACKAGE_NAME textfile)
set(CPACK_PACKAGE_VENDOR "The textfile developers")
set(CPACK_PACKAGE_CONTACT "The textfile developers <textfile-devel@textfile.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "create or show a plain text file by answering prompts")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "textfile is a small interactive console program. It asks for one command\n"
  "per run: create stores one typed line in a new (or emptied) file,\n"
  "confirming only what was stored and synced to disk; open shows a file's\n"
  "whole contents at the speed of cat; close ends the run. Every failure is\n"
  "reported at once, and the exit status is 0.")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_CURRENT_BINARY_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "")
# The manual page is compressed in the package, as Debian requires; SHA256SUMS is written
# beside the packages.
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_SOURCE_DIR}/cmake/compress-manual.cmake)
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_SOURCE_DIR}/cmake/checksums.cmake)
include(CPack)
