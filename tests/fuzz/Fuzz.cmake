# The command language fuzz target, included from cmake/Language.cmake.
#
# Always: the unit tests run the fuzz entry point over every file of the
# committed seed corpus, with the normal compiler (tests/CMakeLists.txt).
#
# With -DWENDLE_FUZZ=ON (clang only, in a build directory of its own):
#   CC=clang CXX=clang++ cmake -S . -B build-fuzz -DWENDLE_FUZZ=ON
#   cmake --build build-fuzz --target command_language_fuzz
#   mkdir -p build-fuzz/fuzz-corpus
#   build-fuzz/command_language_fuzz -max_total_time=600 -rss_limit_mb=2048 \
#       -timeout=10 -dict=tests/fuzz/command.dict build-fuzz/fuzz-corpus tests/fuzz/corpus
# (new inputs go to the first directory; the committed seeds stay as they are)
# The fuzzer compiles the language sources itself, instrumented, and links
# only Qt Core, so wendle_core stays uninstrumented.

set(WENDLE_FUZZ_DIR ${CMAKE_SOURCE_DIR}/tests/fuzz)

if(NOT WENDLE_FUZZ)
  return()
endif()

if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "WENDLE_FUZZ needs clang: configure a separate build "
    "directory with CC=clang CXX=clang++")
endif()

set(WENDLE_FUZZ_FLAGS -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all
  -fno-omit-frame-pointer)
add_executable(command_language_fuzz
  ${WENDLE_FUZZ_DIR}/CommandLanguageFuzz.cpp
  ${WENDLE_LANGUAGE_SOURCE_DIR}/CommandLanguage.cpp
  ${WENDLE_LANGUAGE_GENERATED})
target_include_directories(command_language_fuzz PRIVATE
  ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests ${WENDLE_LANGUAGE_GENERATED_DIR})
target_compile_options(command_language_fuzz PRIVATE ${WENDLE_FUZZ_FLAGS})
target_link_options(command_language_fuzz PRIVATE ${WENDLE_FUZZ_FLAGS})
target_link_libraries(command_language_fuzz PRIVATE Qt6::Core)
add_dependencies(command_language_fuzz wendle_language_sources)
