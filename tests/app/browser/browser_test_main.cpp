// The browser tests' main: a Qt application on this thread (the browser's pages are served
// here, off-screen) whose pages may reach 127.0.0.1 alone; no fetch of either client can leave
// 127.0.0.1 (see offline_proxies.h).
#include <gtest/gtest.h>

#include <QGuiApplication>

#include "app/browser/engine_browser.h"
#include "support/offline_proxies.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  quillrank::testing::lead_proxies_nowhere();
  quillrank::testing::use_no_user_settings();
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QGuiApplication application(argc, argv);
  quillrank::browser_loopback_only();
  return RUN_ALL_TESTS();
}
