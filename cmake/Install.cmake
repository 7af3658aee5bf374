# What `make install` / `cmake --install` puts in place besides the binary and
# its resources: the manual page, shell completion, the desktop entry and its
# icon, an autostart entry the owner may copy, the systemd user unit and the
# D-Bus service file that lets `wendle send` and `wendle deliver` start Wendle.
include(GNUInstallDirs)

set(WENDLE_DIST ${CMAKE_SOURCE_DIR}/dist)
# The entries name the installed binary by its full path, and the prefix is
# only known for sure at install time (`cmake --install --prefix`).
install(CODE "
  set(WENDLE_BINARY \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/wendle\")
  foreach(template wendle.service org.wendle.Wendle.service org.wendle.Wendle.desktop wendle-autostart.desktop)
    configure_file(${WENDLE_DIST}/\${template}.in ${CMAKE_BINARY_DIR}/dist/\${template} @ONLY)
  endforeach()
")

install(TARGETS wendle RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY resources/ DESTINATION ${CMAKE_INSTALL_DATADIR}/wendle)
install(FILES ${WENDLE_DIST}/wendle.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${WENDLE_DIST}/wendle.bash-completion
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME wendle)
install(FILES ${CMAKE_BINARY_DIR}/dist/org.wendle.Wendle.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${WENDLE_DIST}/org.wendle.Wendle.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
# Off until the owner copies it into ~/.config/autostart/.
install(FILES ${CMAKE_BINARY_DIR}/dist/wendle-autostart.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/wendle/autostart)
install(FILES ${CMAKE_BINARY_DIR}/dist/wendle.service DESTINATION lib/systemd/user)
install(FILES ${CMAKE_BINARY_DIR}/dist/org.wendle.Wendle.service DESTINATION ${CMAKE_INSTALL_DATADIR}/dbus-1/services)
