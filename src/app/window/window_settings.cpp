#include "app/window/window_settings.h"

#include "app/window/desktop.h"
#include "app/window/main_window.h"
#include "history/history_store.h"
#include "settings/settings.h"

namespace quillrank {

void apply_settings_file(MainWindow& window, Desktop& desktop, const std::string& path) {
  if (path.empty()) return;
  const auto loaded = read_settings_file(path);
  if (const auto* settings = std::get_if<Settings>(&loaded)) {
    window.run_control().set_pacing(settings->pacing);
    window.set_profiles(settings->profiles);
    window.set_history(chosen_history_path(settings->history, settings->history_path));
    return;
  }
  window.run_control().set_pacing(Settings{}.pacing);
  window.set_profiles(builtin_profiles(kDefaultProfileSet));
  window.set_history(chosen_history_path(true, {}));
  desktop.warn(&window, QStringLiteral("设置文件"),
               QStringLiteral("设置文件有误，本次使用默认设置。\n\n%1")
                   .arg(QString::fromStdString(std::get<std::string>(loaded))));
}

}  // namespace quillrank
