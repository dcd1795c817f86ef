# Installation layout and packages: a .deb on Linux, a .zip for Windows.
include(GNUInstallDirs)

if(WIN32)
  # One flat folder: the executable and two text files Notepad can open.
  install(TARGETS tvk_hex RUNTIME DESTINATION .)
  configure_file(README.md ${CMAKE_BINARY_DIR}/README.txt NEWLINE_STYLE CRLF)
  configure_file(LICENSE ${CMAKE_BINARY_DIR}/LICENSE.txt NEWLINE_STYLE CRLF)
  install(FILES ${CMAKE_BINARY_DIR}/README.txt ${CMAKE_BINARY_DIR}/LICENSE.txt DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win32)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
  install(TARGETS tvk_hex RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  configure_file(man/tvk_hex.1.in ${CMAKE_BINARY_DIR}/tvk_hex.1 @ONLY)
  # Debian wants manual pages and changelogs compressed.
  set(TVK_MAN_PAGE_GZ ${CMAKE_BINARY_DIR}/tvk_hex.1.gz)
  set(TVK_CHANGELOG_GZ ${CMAKE_BINARY_DIR}/changelog.gz)
  add_custom_command(OUTPUT ${TVK_MAN_PAGE_GZ} ${TVK_CHANGELOG_GZ}
    COMMAND gzip -9 -n -c ${CMAKE_BINARY_DIR}/tvk_hex.1 > ${TVK_MAN_PAGE_GZ}
    COMMAND gzip -9 -n -c ${CMAKE_SOURCE_DIR}/CHANGELOG > ${TVK_CHANGELOG_GZ}
    DEPENDS ${CMAKE_BINARY_DIR}/tvk_hex.1 ${CMAKE_SOURCE_DIR}/CHANGELOG VERBATIM)
  add_custom_target(tvk_hex_docs ALL DEPENDS ${TVK_MAN_PAGE_GZ} ${TVK_CHANGELOG_GZ})
  install(FILES ${TVK_MAN_PAGE_GZ} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES README.md LICENSE ${TVK_CHANGELOG_GZ} DESTINATION ${CMAKE_INSTALL_DOCDIR})
  install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME copyright)
  set(CPACK_GENERATOR DEB)
endif()

set(CPACK_PACKAGE_NAME tvk_hex)
set(CPACK_PACKAGE_VENDOR "The tvk_hex developers")
set(CPACK_PACKAGE_CONTACT "tvk_hex developers <tvk_hex@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Intel HEX to TI-83 Plus raw-hex listing converter")
set(CPACK_PACKAGE_DESCRIPTION
  "tvk_hex turns an Intel HEX file, as a Z80 assembler writes it, into a raw-hex
listing for the TI-83 Plus graphing calculator: a text file that starts with
AsmPrgm and carries the records' hexadecimal digits, twelve to a line, ready
to be typed into the calculator as a program.")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_NAME tvk-hex) # Debian names take no underscore
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
