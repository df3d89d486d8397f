// The settings file as the window reads it at start-up.
#pragma once

#include <string>

namespace quillrank {

class Desktop;
class MainWindow;

// Reads the settings file at `path` into the window's runs (pacing, the rank history). A missing
// file gives the defaults; a file with an error brings one warning in Chinese naming the file
// and the line, and the window runs on the defaults.
void apply_settings_file(MainWindow& window, Desktop& desktop, const std::string& path);

}  // namespace quillrank
