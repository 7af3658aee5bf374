# The layers of src/, lowest first. A file may include headers of its own
# layer and of the layers below it, never of one above: a lower layer that
# reaches up ties it to everything above and the layers stop being layers.
#
#   platform  platform/*: the service interfaces and their Linux adapters
#             (libraries wendle_platform_base and wendle_platform)
#   core      settings, resources (the settings and message tables), intake,
#             operations, replies, custom, camera: the logic of commands
#   app       app/: the Controller, the command-line commands, D-Bus services,
#             and the Controller's files kept in their subsystem's folder
#             (cmake/ControllerFiles.cmake; library wendle_app)
#   window    app/window: the settings window and the tray icon (wendle_window)
#   program   the entry points: main.cpp, ClientMain.cpp, FrontMain.cpp, and
#             what only they call (Application, RunningInstance, CommandLine,
#             HelpCommand)
#
# Between the libraries the linker refuses an upward call as well (the
# *_links_alone programs of CMakeLists.txt); this check also catches an
# upward include that calls nothing.
#
# Run by every build (target wendle_layer_check) and by a unit test:
#   cmake -DSOURCE_DIR=<folder holding src/> -P cmake/CheckLayers.cmake
# A test may pass its own CONTROLLER_FILES.

cmake_minimum_required(VERSION 3.25)

set(layer_order platform core app window program)

set(program_files
  app/main.cpp app/ClientMain.cpp app/FrontMain.cpp
  app/Application.h app/Application.cpp app/RunningInstance.h app/RunningInstance.cpp
  app/CommandLine.h app/CommandLine.cpp
  app/HelpCommand.h app/HelpCommand.cpp)

if(NOT DEFINED CONTROLLER_FILES)
  include(${CMAKE_CURRENT_LIST_DIR}/ControllerFiles.cmake)
  set(CONTROLLER_FILES ${WENDLE_CONTROLLER_FILES})
endif()

function(layer_of path out)
  if(path IN_LIST program_files)
    set(${out} program PARENT_SCOPE)
  elseif(path IN_LIST CONTROLLER_FILES)
    set(${out} app PARENT_SCOPE)
  elseif(path MATCHES "^platform/")
    set(${out} platform PARENT_SCOPE)
  elseif(path MATCHES "^(settings|resources|intake|operations|replies|custom|camera)/")
    set(${out} core PARENT_SCOPE)
  elseif(path MATCHES "^app/window/")
    set(${out} window PARENT_SCOPE)
  elseif(path MATCHES "^app/")
    set(${out} app PARENT_SCOPE)
  else()
    set(${out} "" PARENT_SCOPE)
  endif()
endfunction()

if(NOT SOURCE_DIR)
  message(FATAL_ERROR "CheckLayers.cmake needs -DSOURCE_DIR=<folder holding src/>")
endif()
file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR}/src
  ${SOURCE_DIR}/src/*.h ${SOURCE_DIR}/src/*.cpp ${SOURCE_DIR}/src/*.c ${SOURCE_DIR}/src/*.l ${SOURCE_DIR}/src/*.y)

set(wrong "")
foreach(file IN LISTS CONTROLLER_FILES)
  if(NOT file IN_LIST sources)
    list(APPEND wrong "cmake/ControllerFiles.cmake lists src/${file}, which is not there")
    continue()
  endif()
  # Only a file of the Controller may sit in app's layer outside app/.
  file(STRINGS ${SOURCE_DIR}/src/${file} members REGEX "^([A-Za-z_][A-Za-z0-9_:<>*&, ]*[ *&])?Controller::[A-Za-z_~]+\\(")
  if(NOT members)
    list(APPEND wrong "cmake/ControllerFiles.cmake lists src/${file}, which defines no Controller member")
  endif()
endforeach()
foreach(source IN LISTS sources)
  layer_of(${source} source_layer)
  if(NOT source_layer)
    list(APPEND wrong "src/${source} lies in no layer: add its folder to cmake/CheckLayers.cmake")
    continue()
  endif()
  list(FIND layer_order ${source_layer} source_rank)
  file(STRINGS ${SOURCE_DIR}/src/${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"[^\"/]+/[^\"]+\"")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\".*" "\\1" header "${line}")
    layer_of(${header} header_layer)
    if(NOT header_layer)
      continue() # a header from outside src/ (a generated one, a library's)
    endif()
    list(FIND layer_order ${header_layer} header_rank)
    if(header_rank LESS_EQUAL source_rank)
      continue()
    endif()
    list(APPEND wrong "src/${source} (${source_layer}) includes ${header} (${header_layer}), a higher layer")
  endforeach()
endforeach()

if(wrong)
  list(JOIN wrong "\n  " text)
  message(FATAL_ERROR "Includes against the layers (platform < core < app < window < program; see HACKING.md):\n  ${text}")
endif()
