# The layers of src/, lowest first. A file may include headers of its own
# layer and of the layers below it, never of one above: a lower layer that
# reaches up ties it to everything above and the layers stop being layers.
#
#   platform  platform/*: the service interfaces and their Linux adapters
#             (libraries wendle_platform_base and wendle_platform)
#   core      settings, resources (the settings and message tables), intake,
#             operations, replies, custom, camera: the logic of commands
#   app       app/: the Controller, the command-line commands, D-Bus services
#             (core and app are one library, wendle_core: the core folders
#             define members of the Controller; this check keeps them apart)
#   window    app/window: the settings window and the tray icon (wendle_window)
#   program   the entry points: main.cpp, ClientMain.cpp, FrontMain.cpp, and
#             what only they call (Application, RunningInstance, CommandLine,
#             HelpCommand)
#
# Between the libraries the linker refuses an upward call as well (the
# *_links_alone programs of CMakeLists.txt); this check also catches an
# upward include that calls nothing, and the direction inside wendle_core.
#
# Run by every build (target wendle_layer_check) and by a unit test:
#   cmake -DSOURCE_DIR=<folder holding src/> -P cmake/CheckLayers.cmake
# A test may pass its own LAYER_EXCEPTIONS.

cmake_minimum_required(VERSION 3.25)

set(layer_order platform core app window program)

set(program_files
  app/main.cpp app/ClientMain.cpp app/FrontMain.cpp
  app/Application.h app/Application.cpp app/RunningInstance.h app/RunningInstance.cpp
  app/CommandLine.h app/CommandLine.cpp
  app/HelpCommand.h app/HelpCommand.cpp)

# Includes that run upward today, each with the reason it is still there.
# Nothing may be added: a new upward include is fixed, not listed. Drop an
# entry once its include is gone (the check names entries no longer needed).
if(NOT DEFINED LAYER_EXCEPTIONS)
  set(LAYER_EXCEPTIONS
    # The Controller is one class split by subsystem: these files define its
    # members in the folder of their subsystem, so they include its header.
    # Goes once each subsystem is a class of its own that the Controller owns.
    camera/MotionWatch.cpp->app/Controller.h
    camera/Snapshot.cpp->app/Controller.h
    custom/CustomCommands.cpp->app/Controller.h
    custom/Library.cpp->app/Controller.h
    intake/DeskNotice.cpp->app/Controller.h
    intake/Intake.cpp->app/Controller.h
    intake/SyntaxError.cpp->app/Controller.h
    operations/Confirmation.cpp->app/Controller.h
    operations/Faxing.cpp->app/Controller.h
    operations/FileSearch.cpp->app/Controller.h
    operations/Launch.cpp->app/Controller.h
    operations/MailCheck.cpp->app/Controller.h
    operations/Schedule.cpp->app/Controller.h
    replies/ChatReplies.cpp->app/Controller.h
    replies/ChatScriptInstaller.cpp->app/Controller.h
    replies/MailReplies.cpp->app/Controller.h
  )
endif()

function(layer_of path out)
  if(path IN_LIST program_files)
    set(${out} program PARENT_SCOPE)
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
set(used_exceptions "")
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
    if("${source}->${header}" IN_LIST LAYER_EXCEPTIONS)
      list(APPEND used_exceptions "${source}->${header}")
      continue()
    endif()
    list(APPEND wrong "src/${source} (${source_layer}) includes ${header} (${header_layer}), a higher layer")
  endforeach()
endforeach()

foreach(exception IN LISTS LAYER_EXCEPTIONS)
  if(NOT exception IN_LIST used_exceptions)
    message(STATUS "Layer check: the exception ${exception} is no longer needed; drop it from cmake/CheckLayers.cmake")
  endif()
endforeach()

if(wrong)
  list(JOIN wrong "\n  " text)
  message(FATAL_ERROR "Includes against the layers (platform < core < app < window < program; see HACKING.md):\n  ${text}")
endif()
