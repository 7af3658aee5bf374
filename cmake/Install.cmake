# What `make install` / `cmake --install` puts in place besides the binary and
# its resources: the manual page, shell completion, the desktop entry and its
# icon, an autostart entry the owner may copy, the systemd user unit and the
# D-Bus service file that lets `wendle send` and `wendle deliver` start Wendle.
include(GNUInstallDirs)

set(WENDLE_DIST ${CMAKE_SOURCE_DIR}/dist)
install(CODE "
  set(WENDLE_DIST \"${WENDLE_DIST}\")
  set(WENDLE_STAGE_ROOT \"${CMAKE_BINARY_DIR}/dist\")
  set(WENDLE_BINDIR \"${CMAKE_INSTALL_BINDIR}\")
  set(WENDLE_DATADIR \"${CMAKE_INSTALL_DATADIR}\")
")
install(SCRIPT ${CMAKE_CURRENT_LIST_DIR}/InstallEntries.cmake)

install(TARGETS wendle RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY resources/ DESTINATION ${CMAKE_INSTALL_DATADIR}/wendle)
install(FILES ${WENDLE_DIST}/wendle.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${WENDLE_DIST}/wendle.bash-completion
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME wendle)
install(FILES ${WENDLE_DIST}/org.wendle.Wendle.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
