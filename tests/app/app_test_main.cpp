// Test entry of the application shell: the offscreen main window needs a GUI application.
#include <gtest/gtest.h>

#include <QGuiApplication>

#include "app/dialog_words.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  kt::use_dialog_words();  // as the program does
  QGuiApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
