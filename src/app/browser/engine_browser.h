// Each engine's browser profile: one per cookie file, for the program's life, whose cookie store
// is the engine's cookie file (the one its HTTP client reads): loaded from it when made, and
// every cookie the browser adds or removes written back to it. Pages it loads ask for no
// images, fonts or media (the pages are read, never looked at). GUI thread only.
#pragma once

#include <string>

class QWebEngineProfile;

namespace quillrank {

// The browser profile of the engine whose cookies are kept in `cookie_file` (empty: one profile
// whose cookies are kept nowhere). Off the record: nothing else of it is kept on disk.
QWebEngineProfile* engine_browser_profile(const std::string& cookie_file);

// Tests: from now on every engine profile's pages may ask only 127.0.0.1 and localhost;
// requests to any other host are refused.
void browser_loopback_only();

}  // namespace quillrank
