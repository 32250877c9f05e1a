# Helpers shared by every folder's CMakeLists.txt.

# A deliverable or outside stand-in library: named exactly after it, with no "lib" prefix
# (build/bin/sv_f_02.so), exporting plain C functions.
function(wavedesk_shared_library name)
  add_library(${name} SHARED ${ARGN})
  set_target_properties(${name} PROPERTIES PREFIX "" SUFFIX ".so" OUTPUT_NAME ${name})
endfunction()

# A GoogleTest executable registered with ctest. Test programs live apart from the program folder so
# that build/bin holds only what the suite ships.
function(wavedesk_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_compile_definitions(${name} PRIVATE WAVEDESK_BIN_DIR="${WAVEDESK_BIN_DIR}")
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "WAVEDESK_PROGRAM_DIR=${WAVEDESK_BIN_DIR}")
endfunction()

# A fuzz target: one source defining LLVMFuzzerTestOneInput. With WAVEDESK_FUZZ it becomes a libFuzzer
# binary; otherwise a plain driver replays its corpus under ctest, so every input once found stays fixed.
function(wavedesk_fuzz_target name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  set(corpus ${PROJECT_SOURCE_DIR}/fuzz/corpus/${name})
  if(WAVEDESK_FUZZ)
    add_executable(${name} ${ARG_SOURCES})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  else()
    add_executable(${name} ${ARG_SOURCES} ${PROJECT_SOURCE_DIR}/fuzz/replay_main.cpp)
    add_test(NAME fuzz_replay.${name} COMMAND ${name} ${corpus})
  endif()
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
endfunction()
