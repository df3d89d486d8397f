// The window tests' main: a headless QApplication, and an http_proxy that leads nowhere, so a
// fetch that a test did not point at its own fixture server fails on 127.0.0.1 instead of
// reaching the internet.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <string>

#include "app/window/startup.h"
#include "support/fixture_server.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  if (qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX")) {
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
  }
  const std::string nowhere =
      "http://127.0.0.1:" + std::to_string(quillrank::testing::refused_port());
  ::setenv("http_proxy", nowhere.c_str(), 1);
  ::unsetenv("no_proxy");
  ::unsetenv("NO_PROXY");

  ::testing::InitGoogleTest(&argc, argv);
  quillrank::prepare_qt_application();
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
