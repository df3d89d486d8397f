// BrowserPages: the program's browser as page sources. An engine whose profile fetches with the
// browser asks through it from its worker thread; the page is loaded on the GUI thread in an
// off-screen page of the engine's browser profile (its cookie file as cookie store), with the
// profile's User-Agent and headers, and handed back as the document the browser rendered
// (UTF-8) once the profile's results are there, or a few seconds after it loaded when they
// never come. A page not read within the profile's render_seconds, or whose renderer ends, is a
// failed fetch with the reason; a stop request ends the wait at once.
#pragma once

#include <QObject>
#include <memory>

#include "engines/engine_client.h"

namespace quillrank {

struct BrowserJob;

class BrowserPages : public QObject {
 public:
  // On the GUI thread, whose event loop must run while pages are asked for.
  explicit BrowserPages(QObject* parent = nullptr);
  // Pages still asked for fail at once.
  ~BrowserPages() override;

  // The page sources of engines that fetch with the browser; callable from any thread.
  BrowserSources sources();

 private:
  class Render;
  struct Shared;

  void start(const std::shared_ptr<BrowserJob>& job);
  std::shared_ptr<Shared> shared_;
};

// How long a loaded page with no element matching the ready selector is given to show one.
inline constexpr int kSettleMilliseconds = 3000;

}  // namespace quillrank
