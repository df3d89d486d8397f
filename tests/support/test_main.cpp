// The core tests' main: no fetch can leave 127.0.0.1 (see offline_proxies.h).
#include <gtest/gtest.h>

#include "support/offline_proxies.h"

int main(int argc, char** argv) {
  quillrank::testing::lead_proxies_nowhere();
  quillrank::testing::use_no_user_settings();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
