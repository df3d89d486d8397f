// Sets an environment variable that libcurl reads (http_proxy, no_proxy) for one scope, so the
// engines' real host names reach a fixture on 127.0.0.1, and puts the previous value back after
// it. Set only while no fetch runs on another thread.
#pragma once

#include <stdlib.h>

#include <string>

namespace quillrank::testing {

class ScopedEnvironment {
 public:
  ScopedEnvironment(std::string name, const std::string& value) : name_(std::move(name)) {
    if (const char* previous = ::getenv(name_.c_str())) previous_ = previous;
    ::setenv(name_.c_str(), value.c_str(), 1);
  }
  ~ScopedEnvironment() {
    if (previous_.empty()) {
      ::unsetenv(name_.c_str());
    } else {
      ::setenv(name_.c_str(), previous_.c_str(), 1);
    }
  }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  std::string name_;
  std::string previous_;
};

// http_proxy pointed at a test server.
class ScopedHttpProxy : public ScopedEnvironment {
 public:
  explicit ScopedHttpProxy(const std::string& proxy_url)
      : ScopedEnvironment("http_proxy", proxy_url) {}
};

}  // namespace quillrank::testing
