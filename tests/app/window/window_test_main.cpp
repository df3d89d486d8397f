// The window tests' main: a headless QApplication, and an http_proxy that leads nowhere, so a
// fetch that a test did not point at its own fixture server fails on 127.0.0.1 instead of
// reaching the internet.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <string>

#include "app/browser/engine_browser.h"
#include "app/window/startup.h"
#include "support/offline_proxies.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  if (qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX")) {
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
  }
  quillrank::testing::lead_proxies_nowhere();
  quillrank::testing::use_no_user_settings();

  ::testing::InitGoogleTest(&argc, argv);
  quillrank::prepare_qt_application();
  QApplication app(argc, argv);
  quillrank::keep_no_settings();
  quillrank::browser_loopback_only();  // a verification page, too, reaches 127.0.0.1 alone
  return RUN_ALL_TESTS();
}
