// Points libcurl's http_proxy at a test server for one scope, so the engines' real host names
// reach a fixture on 127.0.0.1. Set only while no fetch runs on another thread.
#pragma once

#include <stdlib.h>

#include <string>

namespace quillrank::testing {

class ScopedHttpProxy {
 public:
  explicit ScopedHttpProxy(const std::string& proxy_url) {
    ::setenv("http_proxy", proxy_url.c_str(), 1);
  }
  ~ScopedHttpProxy() { ::unsetenv("http_proxy"); }
  ScopedHttpProxy(const ScopedHttpProxy&) = delete;
  ScopedHttpProxy& operator=(const ScopedHttpProxy&) = delete;
};

}  // namespace quillrank::testing
