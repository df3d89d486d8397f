// The window's project row: which saved project's list the keyword box holds, and the project
// menu (新建, 重命名, 删除). The box and the engine ticks are the chosen project's list and
// engines; what the person changes is saved back to the project's files a moment later, and
// whenever the box leaves the project (another project picked, a run started, the window closed).
// With no project chosen the box holds the window's own list, kept as before.
// Window thread only.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <optional>
#include <string>

#include "engines/engines.h"
#include "projects/project_store.h"

namespace quillrank {

class Desktop;
struct WindowControls;

class ProjectPanel : public QObject {
 public:
  // `engines` gives the engines the check boxes stand for, in their order. Gives the project
  // button its menu: 新建项目…, 重命名项目…, 删除项目… (the window adds what it does with one).
  ProjectPanel(QWidget& window, Desktop& desktop, WindowControls& controls,
               std::function<const Engines&()> engines);

  // The projects under `folder` (empty: none, and the row is disabled); picks none.
  void set_folder(std::string folder);
  const std::string& folder() const { return folder_; }
  // The chosen project's name; empty: none.
  const std::string& current() const { return current_; }

  // Saves the list the box leaves, then shows `name`'s list and engines ("": the window's own
  // list). False, and the box keeps what it had, when the project cannot be read (said).
  bool choose(const std::string& name);
  // Saves the box and the ticks into the chosen project when they changed since it was read or
  // last saved. False when that failed (said once per failure).
  bool save();
  // Takes the box's text as the project's saved list without writing it: the box shows the
  // list with its site entries expanded, which the project keeps as typed.
  void keep_list_as_saved();

  // Asks a name and saves the box and the ticks as a new project, which becomes the chosen one.
  void create();
  // Asks a new name for the chosen project. `renamed` hears (from, to) once it is renamed.
  void rename();
  // Asks first, then deletes the chosen project's files; the box shows the window's own list.
  void remove();
  void set_renamed(std::function<void(const std::string&, const std::string&)> renamed) {
    renamed_ = std::move(renamed);
  }

  // The window's own list: the box's text when no project is chosen, else the one it had when
  // a project was picked.
  QString own_list() const;
  void set_own_list(const QString& text) { own_list_ = text; }

  // The ticks the chosen project gives `engines` (by engine index); nullopt with none chosen.
  std::optional<EngineTicks> project_ticks(const Engines& engines) const;

  // Enables the row (while site entries are expanded the box is not to change).
  void set_enabled(bool enabled);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void fill_combo();
  void show_project(const Project& project);
  // The chosen project as the box and the ticks have it now.
  Project from_window() const;
  QString name_problem(const QString& name) const;  // "" when it may be used
  std::optional<std::string> ask_name(const QString& title, const QString& offered);
  // A project with a daily timer keeps its name and files (the timer runs it by name): says so.
  bool refuse_if_scheduled(const QString& title);

  QWidget& window_;
  Desktop& desktop_;
  WindowControls& controls_;
  std::function<const Engines&()> engines_;
  std::function<void(const std::string&, const std::string&)> renamed_;
  std::string folder_;
  std::string current_;
  ProjectSettings settings_;  // the chosen project's, as read or last saved
  QString saved_list_;        // the chosen project's list, as read or last saved (the box's text)
  QString own_list_;
  QTimer save_soon_;  // after the person's last change
  bool filling_ = false;
  bool save_failed_ = false;  // said once until a save succeeds
};

}  // namespace quillrank
