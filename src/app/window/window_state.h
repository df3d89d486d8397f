// What the window keeps from one start to the next: the box's text, the ticks, the window's size
// and place, the result columns' widths, the file dialogs' folder and the project chosen. One
// small JSON file in the user's state folder, written whole when the window closes; never beside
// the program, and not among Qt's own settings.
#pragma once

#include <QByteArray>
#include <QString>
#include <map>
#include <optional>
#include <string>

namespace quillrank {

struct WindowState {
  QString box;                        // the box's text as shown
  std::map<std::string, bool> ticks;  // by engine key; an engine not named keeps its own
  QByteArray geometry;                // QWidget::saveGeometry()
  QByteArray columns;                 // the result list header's saveState()
  int list_width = 0;                 // the result list's width when `columns` was saved
  QString folder;                     // where the last file dialog was answered
  QString project;                    // the project chosen; empty: none (`box` is the own list)
};

// $XDG_STATE_HOME/quillrank/window.json, else ~/.local/state/quillrank/window.json; empty when
// neither variable is set.
QString default_window_state_path();

// The state saved at `path`; nullopt when there is none or it cannot be read as one (not a JSON
// object with the box's text and its ticks, or larger than any state the program writes). The
// ticks are an object of engine keys and booleans; a file of an earlier version holds an array of
// four, which stand for baidu, google, sogou and soso. The other fields may be missing or broken:
// they are left empty, and restoring them does nothing.
std::optional<WindowState> read_window_state(const QString& path);

// Writes `state` to `path`, creating its folder; the file is replaced whole or not at all, and
// only its owner may read it. False with the reason in `error`.
bool write_window_state(const QString& path, const WindowState& state, QString& error);

}  // namespace quillrank
