# What the program ships beside itself, for `cmake --install` and the Debian package alike: the
# manual page (compressed as Debian wants it), the AppStream metainfo, and the copyright and
# changelog files of the package's doc directory, and the capture log's format.
include(GNUInstallDirs)

find_program(TESSALY_GZIP gzip REQUIRED)
set(_man_gz ${CMAKE_BINARY_DIR}/packaging/tessaly.1.gz)
# -n: no name or time stamp in the header, so the same page always gives the same bytes.
add_custom_command(OUTPUT ${_man_gz}
  COMMAND ${TESSALY_GZIP} -9nc ${CMAKE_CURRENT_LIST_DIR}/tessaly.1 > ${_man_gz}
  DEPENDS ${CMAKE_CURRENT_LIST_DIR}/tessaly.1
  COMMENT "Compressing the manual page")
set(_changelog_gz ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
add_custom_command(OUTPUT ${_changelog_gz}
  COMMAND ${TESSALY_GZIP} -9nc ${CMAKE_CURRENT_LIST_DIR}/changelog > ${_changelog_gz}
  DEPENDS ${CMAKE_CURRENT_LIST_DIR}/changelog
  COMMENT "Compressing the changelog")
add_custom_target(tessaly_docs ALL DEPENDS ${_man_gz} ${_changelog_gz})

install(FILES ${_man_gz} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/org.tessaly.Tessaly.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright ${_changelog_gz}
  DESTINATION ${CMAKE_INSTALL_DOCDIR})
# The capture log's format, which --record writes and other programs may read.
install(FILES ${PROJECT_SOURCE_DIR}/docs/CAPTURE.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
