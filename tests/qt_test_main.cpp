// GoogleTest main with the QApplication the widget and window tests need,
// shared by the test programs of widgets and windows.
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
  // The tests never need a display; this also lets the test list be read at
  // build time on a machine without one.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
