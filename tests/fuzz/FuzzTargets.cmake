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
