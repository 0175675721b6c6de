// The main of the Qt-free test programs: a child process started for one of
// the program's roles runs that role; otherwise GoogleTest runs the tests.
#include <gtest/gtest.h>

#include "childprocess.h"

int main(int argc, char** argv) {
  if (const std::optional<int> status = testsupport::RunChildRole(argc, argv)) return *status;
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
