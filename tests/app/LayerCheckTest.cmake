# Runs cmake/CheckLayers.cmake over small source trees, each one file with
# one include, and checks what it says and whether it refuses the tree.
cmake_minimum_required(VERSION 3.25)

# file | the include | exceptions | passes | what it prints
set(cases
  "platform/chat/Adapter.cpp|app/Settings.h||NO|src/platform/chat/Adapter.cpp (platform) includes app/Settings.h (app), a higher layer"
  "intake/Intake.cpp|app/window/TrayIcon.h||NO|src/intake/Intake.cpp (core) includes app/window/TrayIcon.h (window), a higher layer"
  "app/window/Tray.cpp|app/Application.h||NO|src/app/window/Tray.cpp (window) includes app/Application.h (program), a higher layer"
  "app/Controller.cpp|platform/clock/Clock.h||YES|"
  "app/main.cpp|app/window/TrayIcon.h||YES|"
  "platform/chat/Adapter.cpp|app/Settings.h|platform/chat/Adapter.cpp->app/Settings.h|YES|"
  "app/Controller.cpp|platform/clock/Clock.h|app/Old.cpp->intake/Intake.h|YES|Layer check: the exception app/Old.cpp->intake/Intake.h is no longer needed"
  "tools/Stray.cpp|app/Settings.h||NO|src/tools/Stray.cpp lies in no layer")

set(failures "")
set(index 0)
foreach(case IN LISTS cases)
  string(REPLACE "|" ";" fields "${case}")
  list(GET fields 0 file)
  list(GET fields 1 header)
  list(GET fields 2 exceptions)
  list(GET fields 3 passes)
  list(GET fields 4 expected)
  math(EXPR index "${index} + 1")
  set(tree ${WORK}/${index})
  file(REMOVE_RECURSE ${tree})
  file(WRITE ${tree}/src/${file} "#include \"${header}\"\n")
  execute_process(COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${tree} "-DLAYER_EXCEPTIONS=${exceptions}" -P ${CHECK}
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(passes AND NOT result EQUAL 0)
    list(APPEND failures "${file} -> ${header}: refused, but should pass:\n${output}")
  elseif(NOT passes AND result EQUAL 0)
    list(APPEND failures "${file} -> ${header}: passed, but should be refused")
  endif()
  if(expected)
    string(FIND "${output}" "${expected}" at)
    if(at EQUAL -1)
      list(APPEND failures "${file} -> ${header}: the output lacks \"${expected}\":\n${output}")
    endif()
  endif()
endforeach()

# The real tree passes as it stands.
get_filename_component(root ${CHECK} DIRECTORY)
get_filename_component(root ${root} DIRECTORY)
execute_process(COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${root} -P ${CHECK}
  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
  list(APPEND failures "the source tree is refused:\n${output}")
endif()

if(failures)
  list(JOIN failures "\n" text)
  message(FATAL_ERROR "${text}")
endif()
