// The main of the Qt tests: widgets need a QApplication before any test runs.
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);  // as in the tray program
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
