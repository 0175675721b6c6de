# The engine's fuzz targets, listed once for the two ways they are built:
#   vantrell_fuzz_targets()  libFuzzer programs fuzz_<target> (clang only),
#                            against a copy of the engine instrumented for
#                            coverage, AddressSanitizer and UBSan;
#   vantrell_fuzz_replays()  the same entry points with a main() that feeds
#                            them the seed corpus corpus/<target>/, built with
#                            the normal engine and run as tests.
set(VANTRELL_FUZZ_DIR ${CMAKE_CURRENT_LIST_DIR})
set(VANTRELL_FUZZ_TARGET_NAMES dbf memo index expr)
set(VANTRELL_FUZZ_SUPPORT ${VANTRELL_FUZZ_DIR}/fuzz_support.cpp
                          ${VANTRELL_FUZZ_DIR}/../store/robust/robust_support.cpp)

function(_vantrell_fuzz_includes target)
  target_include_directories(${target} PRIVATE ${VANTRELL_FUZZ_DIR} ${VANTRELL_FUZZ_DIR}/../store/robust)
endfunction()

function(vantrell_fuzz_replays)
  foreach(t IN LISTS VANTRELL_FUZZ_TARGET_NAMES)
    add_executable(fuzz_replay_${t} ${VANTRELL_FUZZ_DIR}/fuzz_${t}.cpp ${VANTRELL_FUZZ_DIR}/replay_main.cpp
                                    ${VANTRELL_FUZZ_SUPPORT})
    _vantrell_fuzz_includes(fuzz_replay_${t})
    target_link_libraries(fuzz_replay_${t} PRIVATE vantrell_xbase)
    add_test(NAME fuzz.replay.${t} COMMAND fuzz_replay_${t} ${VANTRELL_FUZZ_DIR}/corpus/${t})
    # Working files in the build tree, where a replay that crashed leaves them.
    set_tests_properties(fuzz.replay.${t} PROPERTIES TIMEOUT 120
                         ENVIRONMENT "VANTRELL_FUZZ_TMP=${CMAKE_CURRENT_BINARY_DIR}/fuzz-tmp")
  endforeach()
  add_executable(fuzz_make_seeds ${VANTRELL_FUZZ_DIR}/make_seeds.cpp ${VANTRELL_FUZZ_SUPPORT})
  _vantrell_fuzz_includes(fuzz_make_seeds)
  target_link_libraries(fuzz_make_seeds PRIVATE vantrell_xbase)
endfunction()

function(vantrell_fuzz_targets)
  set(instrument -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined
                 -fno-omit-frame-pointer -g)
  vantrell_engine_variant(vantrell_xbase_fuzz COMPILE ${instrument} SOURCES ${VANTRELL_FUZZ_SUPPORT})
  target_include_directories(vantrell_xbase_fuzz PUBLIC ${VANTRELL_FUZZ_DIR} ${VANTRELL_FUZZ_DIR}/../store/robust)
  foreach(t IN LISTS VANTRELL_FUZZ_TARGET_NAMES)
    add_executable(fuzz_${t} ${VANTRELL_FUZZ_DIR}/fuzz_${t}.cpp)
    target_link_libraries(fuzz_${t} PRIVATE vantrell_xbase_fuzz)
    target_link_options(fuzz_${t} PRIVATE -fsanitize=fuzzer,address,undefined)
  endforeach()
endfunction()

# vantrell_fuzz_runs(SECONDS <n>): where clang can build libFuzzer programs,
# builds the targets in a clang build folder of their own inside this build
# (fuzz/) and adds a test per target, fuzz.run.<target> (label fuzz), that
# fuzzes it for <n> seconds from its seeds. New inputs go to fuzz-corpus/
# and failing ones to fuzz-crashes/ in the build folder, never to the seeds.
function(vantrell_fuzz_runs)
  cmake_parse_arguments(PARSE_ARGV 0 arg "" "SECONDS" "")
  find_program(VANTRELL_FUZZ_CLANG clang)
  find_program(VANTRELL_FUZZ_CLANGXX clang++)
  if(NOT VANTRELL_FUZZ_CLANG OR NOT VANTRELL_FUZZ_CLANGXX)
    message(STATUS "fuzz runs: no clang; only the seed replays run")
    return()
  endif()
  # A program built as the targets are, to see that the fuzzer runtime is there.
  set(probe_dir ${CMAKE_CURRENT_BINARY_DIR}/fuzz-probe)
  file(WRITE ${probe_dir}/probe.cpp
       "#include <cstddef>\n#include <cstdint>\n"
       "extern \"C\" int LLVMFuzzerTestOneInput(const uint8_t*, size_t) { return 0; }\n")
  execute_process(COMMAND ${VANTRELL_FUZZ_CLANGXX} -fsanitize=fuzzer,address,undefined probe.cpp -o probe
                  WORKING_DIRECTORY ${probe_dir} RESULT_VARIABLE probe_failed OUTPUT_QUIET ERROR_QUIET)
  if(probe_failed)
    message(STATUS "fuzz runs: clang cannot build libFuzzer programs; only the seed replays run")
    return()
  endif()

  include(ExternalProject)
  set(fuzz_build ${CMAKE_BINARY_DIR}/fuzz)
  set(fuzz_programs)
  foreach(t IN LISTS VANTRELL_FUZZ_TARGET_NAMES)
    list(APPEND fuzz_programs fuzz_${t})
  endforeach()
  ExternalProject_Add(vantrell_fuzz_programs
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${fuzz_build}
    CMAKE_ARGS -DCMAKE_BUILD_TYPE=RelWithDebInfo
               -DCMAKE_C_COMPILER=${VANTRELL_FUZZ_CLANG} -DCMAKE_CXX_COMPILER=${VANTRELL_FUZZ_CLANGXX}
               -DVANTRELL_FUZZ=ON -DVANTRELL_GUI=OFF -DVANTRELL_TESTS=OFF -DVANTRELL_BENCH=OFF
    BUILD_COMMAND ${CMAKE_COMMAND} --build ${fuzz_build} --target ${fuzz_programs}
    BUILD_ALWAYS ON
    INSTALL_COMMAND ""
    USES_TERMINAL_BUILD ON)

  # Room for a slow start and the final merge of a loaded machine.
  math(EXPR timeout "${arg_SECONDS} * 5 + 120")
  foreach(t IN LISTS VANTRELL_FUZZ_TARGET_NAMES)
    set(corpus ${CMAKE_BINARY_DIR}/fuzz-corpus/${t})
    set(crashes ${CMAKE_BINARY_DIR}/fuzz-crashes)
    file(MAKE_DIRECTORY ${corpus} ${crashes})
    set(dict)
    if(EXISTS ${VANTRELL_FUZZ_DIR}/${t}.dict)
      set(dict -dict=${VANTRELL_FUZZ_DIR}/${t}.dict)
    endif()
    # The first folder takes the new inputs; the seeds are only read.
    add_test(NAME fuzz.run.${t}
             COMMAND ${fuzz_build}/bin/fuzz_${t} ${dict} -max_total_time=${arg_SECONDS} -timeout=10
                     -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix=${crashes}/${t}-
                     ${corpus} ${VANTRELL_FUZZ_DIR}/corpus/${t})
    set_tests_properties(fuzz.run.${t} PROPERTIES LABELS fuzz TIMEOUT ${timeout}
                         ENVIRONMENT "VANTRELL_FUZZ_TMP=${CMAKE_CURRENT_BINARY_DIR}/fuzz-tmp")
  endforeach()
endfunction()
