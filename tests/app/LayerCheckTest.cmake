# Runs cmake/CheckLayers.cmake over small source trees, each one file with
# one include, and checks what it says and whether it refuses the tree.
cmake_minimum_required(VERSION 3.25)

# file | its text (lines split by +) | the Controller's files (split by ,) | passes | what it prints
set(cases
  "platform/chat/Adapter.cpp|#include \"app/Settings.h\"||NO|src/platform/chat/Adapter.cpp (platform) includes app/Settings.h (app), a higher layer"
  "intake/Intake.cpp|#include \"app/window/TrayIcon.h\"||NO|src/intake/Intake.cpp (core) includes app/window/TrayIcon.h (window), a higher layer"
  "app/window/Tray.cpp|#include \"app/Application.h\"||NO|src/app/window/Tray.cpp (window) includes app/Application.h (program), a higher layer"
  "app/Controller.cpp|#include \"platform/clock/Clock.h\"||YES|"
  "app/main.cpp|#include \"app/window/TrayIcon.h\"||YES|"
  "intake/Intake.cpp|#include \"app/Controller.h\"||NO|src/intake/Intake.cpp (core) includes app/Controller.h (app), a higher layer"
  "intake/Intake.cpp|#include \"app/Controller.h\"+void Controller::take() {}|intake/Intake.cpp|YES|"
  "intake/Intake.cpp|#include \"app/Controller.h\"+auto taken = Controller::take()|intake/Intake.cpp|NO|lists src/intake/Intake.cpp, which defines no Controller member"
  "intake/Intake.cpp|#include \"app/window/TrayIcon.h\"+void Controller::take() {}|intake/Intake.cpp|NO|src/intake/Intake.cpp (app) includes app/window/TrayIcon.h (window), a higher layer"
  "app/Controller.cpp|#include \"platform/clock/Clock.h\"|intake/Gone.cpp|NO|lists src/intake/Gone.cpp, which is not there"
  "tools/Stray.cpp|#include \"app/Settings.h\"||NO|src/tools/Stray.cpp lies in no layer")

set(failures "")
set(index 0)
foreach(case IN LISTS cases)
  string(REPLACE "|" ";" fields "${case}")
  list(GET fields 0 file)
  list(GET fields 1 text)
  list(GET fields 2 controller_files)
  list(GET fields 3 passes)
  list(GET fields 4 expected)
  math(EXPR index "${index} + 1")
  set(tree ${WORK}/${index})
  file(REMOVE_RECURSE ${tree})
  string(REPLACE "+" "\n" text "${text}")
  string(REPLACE "," ";" controller_files "${controller_files}")
  file(WRITE ${tree}/src/${file} "${text}\n")
  execute_process(COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${tree} "-DCONTROLLER_FILES=${controller_files}" -P ${CHECK}
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(passes AND NOT result EQUAL 0)
    list(APPEND failures "${file} (${text}): refused, but should pass:\n${output}")
  elseif(NOT passes AND result EQUAL 0)
    list(APPEND failures "${file} (${text}): passed, but should be refused")
  endif()
  if(expected)
    string(FIND "${output}" "${expected}" at)
    if(at EQUAL -1)
      list(APPEND failures "${file} (${text}): the output lacks \"${expected}\":\n${output}")
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
