// Points libcurl's http_proxy at a test server for one scope, so the engines' real host names
// reach a fixture on 127.0.0.1, and puts the previous value back after it. Set only while no
// fetch runs on another thread.
#pragma once

#include <stdlib.h>

#include <string>

namespace quillrank::testing {

class ScopedHttpProxy {
 public:
  explicit ScopedHttpProxy(const std::string& proxy_url) {
    if (const char* previous = ::getenv("http_proxy")) previous_ = previous;
    ::setenv("http_proxy", proxy_url.c_str(), 1);
  }
  ~ScopedHttpProxy() {
    if (previous_.empty()) {
      ::unsetenv("http_proxy");
    } else {
      ::setenv("http_proxy", previous_.c_str(), 1);
    }
  }
  ScopedHttpProxy(const ScopedHttpProxy&) = delete;
  ScopedHttpProxy& operator=(const ScopedHttpProxy&) = delete;

 private:
  std::string previous_;
};

}  // namespace quillrank::testing
