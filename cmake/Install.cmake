# What `make install` / `cmake --install` puts in place besides the binary and
# its resources: the manual page, shell completion, the desktop entry and its
# icon, an autostart entry the owner may copy, the systemd user unit and the
# D-Bus service file that lets `wendle send` and `wendle deliver` start Wendle.
include(GNUInstallDirs)

# Folders made by the install are readable by everyone whatever the umask of
# whoever installs: a staged install is copied with these modes.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

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

# Last of all, the record `make uninstall` removes by: CMake's own list of the
# files this install put in place (their installed paths, without DESTDIR),
# and the record itself. It lies in the prefix, so it outlives the build
# folder, and holds for a staged install once copied into place.
install(CODE [[
  set(manifest "${CMAKE_INSTALL_PREFIX}/${WENDLE_DATADIR}/wendle/install_manifest.txt")
  list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${manifest}")
  list(JOIN CMAKE_INSTALL_MANIFEST_FILES "\n" text)
  message(STATUS "Installing: $ENV{DESTDIR}${manifest}")
  file(WRITE "$ENV{DESTDIR}${manifest}" "${text}\n")
  file(CHMOD "$ENV{DESTDIR}${manifest}" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
]])
