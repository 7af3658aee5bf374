# The command language: the scanner (flex) and the grammar (bison) are
# generated into the build tree and compiled into wendle_core beside
# src/intake/CommandLanguage.cpp, which is the only code that talks to them.

find_package(FLEX 2.6 REQUIRED)
find_package(BISON 3.8 REQUIRED)

set(WENDLE_LANGUAGE_SOURCE_DIR ${CMAKE_SOURCE_DIR}/src/intake)
set(WENDLE_LANGUAGE_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated/intake)
file(MAKE_DIRECTORY ${WENDLE_LANGUAGE_GENERATED_DIR})

# -Werror: a new conflict or an unused rule must stop the build, since the
# language's behaviour depends on the exact automaton.
bison_target(CommandGrammar
  ${WENDLE_LANGUAGE_SOURCE_DIR}/CommandGrammar.y
  ${WENDLE_LANGUAGE_GENERATED_DIR}/CommandGrammar.cpp
  DEFINES_FILE ${WENDLE_LANGUAGE_GENERATED_DIR}/CommandGrammar.h
  COMPILE_FLAGS "-Wall -Werror")
flex_target(CommandScanner
  ${WENDLE_LANGUAGE_SOURCE_DIR}/CommandScanner.l
  ${WENDLE_LANGUAGE_GENERATED_DIR}/CommandScanner.cpp
  DEFINES_FILE ${WENDLE_LANGUAGE_GENERATED_DIR}/CommandScanner.h)
add_flex_bison_dependency(CommandScanner CommandGrammar)

set(WENDLE_LANGUAGE_GENERATED
  ${BISON_CommandGrammar_OUTPUT_SOURCE}
  ${BISON_CommandGrammar_OUTPUT_HEADER}
  ${FLEX_CommandScanner_OUTPUTS}
  ${FLEX_CommandScanner_OUTPUT_HEADER})

# Generated code holds no Qt classes; keep moc from scanning it.
set_source_files_properties(${WENDLE_LANGUAGE_GENERATED} PROPERTIES SKIP_AUTOMOC ON)

# One target runs the generators; every target that compiles the generated
# files depends on it, so parallel builds never run flex or bison twice.
add_custom_target(wendle_language_sources DEPENDS ${WENDLE_LANGUAGE_GENERATED})

target_sources(wendle_core PRIVATE ${WENDLE_LANGUAGE_GENERATED})
target_include_directories(wendle_core PRIVATE ${WENDLE_LANGUAGE_GENERATED_DIR})
add_dependencies(wendle_core wendle_language_sources)

include(${CMAKE_SOURCE_DIR}/tests/fuzz/Fuzz.cmake)
