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

# The manual page and the completion name every command, setting and help
# page: the built program writes those parts from its own tables.
set(WENDLE_REFERENCE_DIR ${CMAKE_BINARY_DIR}/reference)
add_custom_command(
  OUTPUT ${WENDLE_REFERENCE_DIR}/wendle.1 ${WENDLE_REFERENCE_DIR}/wendle.bash-completion
  COMMAND ${CMAKE_COMMAND} -E make_directory ${WENDLE_REFERENCE_DIR}
  COMMAND ${CMAKE_COMMAND} -DWENDLE=$<TARGET_FILE:wendle_daemon> -DTEMPLATE=${WENDLE_DIST}/wendle.1.in
          -DOUTPUT_DIR=${WENDLE_REFERENCE_DIR} -P ${CMAKE_CURRENT_LIST_DIR}/GenerateReference.cmake
  DEPENDS wendle_daemon ${WENDLE_DIST}/wendle.1.in ${CMAKE_CURRENT_LIST_DIR}/GenerateReference.cmake
  COMMENT "Writing the manual page and the bash completion")
add_custom_target(wendle_reference ALL DEPENDS ${WENDLE_REFERENCE_DIR}/wendle.1 ${WENDLE_REFERENCE_DIR}/wendle.bash-completion)
install(CODE "
  set(WENDLE_DIST \"${WENDLE_DIST}\")
  set(WENDLE_STAGE_ROOT \"${CMAKE_BINARY_DIR}/dist\")
  set(WENDLE_BINDIR \"${CMAKE_INSTALL_BINDIR}\")
  set(WENDLE_FULL_PROGRAM \"${WENDLE_HELPERS_DIR}/wendle-daemon\")
  set(WENDLE_DATADIR \"${CMAKE_INSTALL_DATADIR}\")
")
install(SCRIPT ${CMAKE_CURRENT_LIST_DIR}/InstallEntries.cmake)

install(TARGETS wendle RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS wendle_client_program wendle_daemon RUNTIME DESTINATION ${WENDLE_HELPERS_DIR})
install(DIRECTORY resources/ DESTINATION ${CMAKE_INSTALL_DATADIR}/wendle)
install(FILES ${WENDLE_REFERENCE_DIR}/wendle.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${WENDLE_REFERENCE_DIR}/wendle.bash-completion
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
