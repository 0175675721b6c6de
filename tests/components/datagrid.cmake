# The record grid over a records cursor: rows read through a private cursor,
# selection kept by record number, cell editing, indicator and title buttons.
# Runs under the offscreen platform.
find_package(Qt6 REQUIRED COMPONENTS Test)
add_executable(datagrid_test ${CMAKE_CURRENT_LIST_DIR}/datagrid_test.cpp)
target_link_libraries(datagrid_test PRIVATE vantrell_components Qt6::Test GTest::gtest)
gtest_discover_tests(datagrid_test
  TEST_PREFIX "components."
  PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
  DISCOVERY_TIMEOUT 60)
