# Runs at install time, when the prefix is known for sure: the desktop entries
# and the service files name the installed program by its full path. Each
# destination is staged in a folder of its own, so two installs at once (the
# tests install into temporary prefixes side by side) never read each other's.
# They start the full program itself: the client would only hand over to it.
set(WENDLE_BINARY "${CMAKE_INSTALL_PREFIX}/${WENDLE_FULL_PROGRAM}")
string(MD5 stage "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
set(stage "${WENDLE_STAGE_ROOT}/${stage}")
# The user manager reads units from /usr/lib/systemd/user and
# /usr/local/lib/systemd/user whatever the environment, which is where a
# package or an administrator puts them. For any other prefix (~/.local
# above all) it reads share/systemd/user under $XDG_DATA_HOME and each of
# $XDG_DATA_DIRS, the same search the bus makes for the D-Bus service file.
if(CMAKE_INSTALL_PREFIX MATCHES "^/usr(/local)?/*$")
  set(user_units "lib/systemd/user")
else()
  set(user_units "${WENDLE_DATADIR}/systemd/user")
endif()
foreach(entry
    "wendle.service|${user_units}"
    "org.wendle.Wendle.service|${WENDLE_DATADIR}/dbus-1/services"
    "org.wendle.Wendle.desktop|${WENDLE_DATADIR}/applications"
    # Off until the owner copies it into ~/.config/autostart/.
    "wendle-autostart.desktop|${WENDLE_DATADIR}/wendle/autostart")
  string(REPLACE "|" ";" entry "${entry}")
  list(GET entry 0 name)
  list(GET entry 1 folder)
  configure_file("${WENDLE_DIST}/${name}.in" "${stage}/${name}" @ONLY)
  file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}/${folder}" TYPE FILE FILES "${stage}/${name}")
endforeach()
