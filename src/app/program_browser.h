// The browser a command-line program starts when a run has engines whose pages it renders: an
// off-screen one, whose pages are served on the main thread while the program waits for its
// workers.
#pragma once

#include <chrono>
#include <memory>

#include "engines/engine_client.h"

namespace quillrank {

class ProgramBrowser {
 public:
  virtual ~ProgramBrowser() = default;
  // The page sources of the engines it renders; callable from any thread.
  virtual BrowserSources sources() = 0;
  // Serves the browser's pages on this (the main) thread for `wait`.
  virtual void serve(std::chrono::milliseconds wait) = 0;
};

// Starts the browser on this (the main) thread, off-screen whatever the display; nullptr in a
// build without one.
std::unique_ptr<ProgramBrowser> start_program_browser();

}  // namespace quillrank
