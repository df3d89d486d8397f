#include "app/window/project_panel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QMenu>
#include <QPlainTextEdit>
#include <QToolButton>
#include <algorithm>

#include "app/batch/schedule.h"
#include "app/window/box_text.h"
#include "app/window/desktop.h"
#include "app/window/window_layout.h"

namespace quillrank {
namespace {

const QString kNoProject = QStringLiteral("（无项目）");

bool names_engine(const std::vector<std::string>& keys, const std::string& key) {
  return std::find(keys.begin(), keys.end(), key) != keys.end() ||
         std::find(keys.begin(), keys.end(), "all") != keys.end();
}

}  // namespace

ProjectPanel::ProjectPanel(QWidget& window, Desktop& desktop, WindowControls& controls,
                           std::function<const Engines&()> engines)
    : window_(window), desktop_(desktop), controls_(controls), engines_(std::move(engines)) {
  auto* menu = new QMenu(controls_.project_button);
  menu->setObjectName(QStringLiteral("项目菜单列表"));
  menu->addAction(QStringLiteral("新建项目…"), this, &ProjectPanel::create);
  menu->addAction(QStringLiteral("重命名项目…"), this, &ProjectPanel::rename);
  menu->addAction(QStringLiteral("删除项目…"), this, &ProjectPanel::remove);
  connect(menu, &QMenu::aboutToShow, this, [this, menu] {
    // Renaming and deleting need a chosen project.
    const QList<QAction*> actions = menu->actions();
    for (int i = 1; i < 3; ++i) actions[i]->setEnabled(!current_.empty());
  });
  controls_.project_button->setMenu(menu);
  connect(controls_.project, &QComboBox::currentIndexChanged, this, [this](int index) {
    if (filling_) return;
    const std::string name =
        index <= 0 ? std::string() : controls_.project->itemText(index).toStdString();
    if (!choose(name)) fill_combo();  // back to the project the box still holds
  });
  // A change the person makes is on disk a moment later, not only when the box leaves it.
  save_soon_.setSingleShot(true);
  save_soon_.setInterval(1000);
  connect(&save_soon_, &QTimer::timeout, this, &ProjectPanel::save);
  connect(controls_.box, &QPlainTextEdit::textChanged, this, [this] {
    if (!current_.empty()) save_soon_.start();
  });
  // Projects the batch (or a hand) made or removed meanwhile show when the list opens.
  controls_.project->installEventFilter(this);
  set_folder({});
}

bool ProjectPanel::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::KeyPress) {
    fill_combo();
  }
  return QObject::eventFilter(watched, event);
}

void ProjectPanel::set_folder(std::string folder) {
  save();
  folder_ = std::move(folder);
  if (!current_.empty()) controls_.box->setPlainText(own_list_);
  current_.clear();
  fill_combo();
  set_enabled(true);
}

void ProjectPanel::fill_combo() {
  filling_ = true;
  controls_.project->clear();
  controls_.project->addItem(kNoProject);
  if (!folder_.empty()) {
    std::vector<std::string> names = ProjectStore(folder_).names();
    // The chosen one stays listed though its folder went meanwhile: the box still holds it.
    if (!current_.empty() && std::find(names.begin(), names.end(), current_) == names.end()) {
      names.insert(std::upper_bound(names.begin(), names.end(), current_), current_);
    }
    for (const std::string& name : names) controls_.project->addItem(QString::fromStdString(name));
  }
  const int chosen = controls_.project->findText(QString::fromStdString(current_));
  controls_.project->setCurrentIndex(current_.empty() || chosen < 0 ? 0 : chosen);
  filling_ = false;
}

void ProjectPanel::set_enabled(bool enabled) {
  controls_.project->setEnabled(enabled && !folder_.empty());
  controls_.project_button->setEnabled(enabled && !folder_.empty());
}

QString ProjectPanel::own_list() const {
  return current_.empty() ? controls_.box->toPlainText() : own_list_;
}

std::optional<EngineTicks> ProjectPanel::project_ticks(const Engines& engines) const {
  if (current_.empty()) return std::nullopt;
  EngineTicks ticks;
  for (const Engine& engine : engines) ticks.push_back(names_engine(settings_.engines, engine.key));
  return ticks;
}

Project ProjectPanel::from_window() const {
  Project project{.name = current_, .list = box_to_gbk(controls_.box->toPlainText())};
  const Engines& engines = engines_();
  std::vector<std::string>& keys = project.settings.engines;
  keys.clear();
  bool every = true;
  for (std::size_t engine = 0; engine < engines.size(); ++engine) {
    const bool ticked = engine < controls_.engines.size() && controls_.engines[engine]->isChecked();
    every = every && ticked;
    if (ticked) keys.push_back(engines[engine].key);
  }
  if (every && names_engine(settings_.engines, "all")) keys = {"all"};
  // Nothing ticked is no project's engines (and no run): the project keeps the ones it had.
  if (keys.empty()) return {.name = current_, .list = project.list, .settings = settings_};
  // Engines this window does not show stay in the project as they were.
  for (const std::string& key : settings_.engines) {
    if (key != "all" && !engine_index(engines, key) &&
        std::find(keys.begin(), keys.end(), key) == keys.end()) {
      keys.push_back(key);
    }
  }
  return project;
}

bool ProjectPanel::save() {
  save_soon_.stop();
  if (current_.empty()) return true;
  const Project project = from_window();
  if (controls_.box->toPlainText() == saved_list_ && project.settings == settings_) return true;
  if (const std::optional<std::string> error = ProjectStore(folder_).save(project)) {
    if (!save_failed_) {
      desktop_.warn(&window_, QStringLiteral("保存项目"),
                    QStringLiteral("项目“%1”没有保存：%2")
                        .arg(QString::fromStdString(current_), QString::fromStdString(*error)));
    }
    save_failed_ = true;
    return false;
  }
  save_failed_ = false;
  saved_list_ = controls_.box->toPlainText();
  settings_ = project.settings;
  return true;
}

void ProjectPanel::keep_list_as_saved() {
  if (current_.empty()) return;
  save_soon_.stop();
  saved_list_ = controls_.box->toPlainText();
}

bool ProjectPanel::choose(const std::string& name) {
  if (name == current_) return true;
  std::optional<Project> project;
  if (!name.empty()) {
    auto loaded = ProjectStore(folder_).load(name);
    if (const auto* error = std::get_if<std::string>(&loaded)) {
      desktop_.warn(&window_, QStringLiteral("打开项目"),
                    QStringLiteral("无法读取项目“%1”：%2")
                        .arg(QString::fromStdString(name), QString::fromStdString(*error)));
      return false;
    }
    project = std::move(std::get<Project>(loaded));
  }
  save();
  if (current_.empty()) own_list_ = controls_.box->toPlainText();
  if (project) {
    show_project(*project);
  } else {
    current_.clear();
    controls_.box->setPlainText(own_list_);
  }
  fill_combo();
  return true;
}

void ProjectPanel::show_project(const Project& project) {
  current_ = project.name;
  settings_ = project.settings;
  save_failed_ = false;
  controls_.box->setPlainText(gbk_to_box(project.list));
  saved_list_ = controls_.box->toPlainText();
  save_soon_.stop();
  const Engines& engines = engines_();
  for (std::size_t engine = 0; engine < engines.size() && engine < controls_.engines.size();
       ++engine) {
    controls_.engines[engine]->setChecked(names_engine(settings_.engines, engines[engine].key));
  }
}

QString ProjectPanel::name_problem(const QString& name) const {
  if (name.trimmed().isEmpty()) return QStringLiteral("请输入项目名称。");
  if (!project_name_problem(name.toStdString()).empty()) {
    return QStringLiteral("项目名称最长 64 字节，不能含有“/”“\\”或控制字符，也不能以“.”开头。");
  }
  if (ProjectStore(folder_).exists(name.toStdString())) {
    return QStringLiteral("已有名为“%1”的项目。").arg(name);
  }
  return {};
}

std::optional<std::string> ProjectPanel::ask_name(const QString& title, const QString& offered) {
  QString name = offered;
  for (;;) {
    const std::optional<QString> answer =
        desktop_.ask_text(&window_, title, QStringLiteral("项目名称："), name);
    if (!answer) return std::nullopt;
    name = answer->trimmed();
    const QString problem = name_problem(name);
    if (problem.isEmpty()) return name.toStdString();
    desktop_.warn(&window_, title, problem);
  }
}

bool ProjectPanel::refuse_if_scheduled(const QString& title) {
  if (!has_schedule_timer(current_)) return false;
  const QString name = QString::fromStdString(current_);
  desktop_.warn(&window_, title,
                QStringLiteral("项目“%1”设置了每日定时查询，定时任务按名称查询它。"
                               "请先取消定时（quillrank-batch --unschedule %1）。")
                    .arg(name));
  return true;
}

void ProjectPanel::create() {
  const std::optional<std::string> name = ask_name(QStringLiteral("新建项目"), {});
  if (!name) return;
  save();
  if (current_.empty()) own_list_ = controls_.box->toPlainText();
  const std::string before = current_;
  current_ = *name;
  const Project project = from_window();
  if (const std::optional<std::string> error = ProjectStore(folder_).save(project)) {
    current_ = before;
    desktop_.warn(&window_, QStringLiteral("新建项目"),
                  QStringLiteral("项目“%1”没有建立：%2")
                      .arg(QString::fromStdString(*name), QString::fromStdString(*error)));
    return;
  }
  show_project(project);
  fill_combo();
}

void ProjectPanel::rename() {
  if (current_.empty() || refuse_if_scheduled(QStringLiteral("重命名项目"))) return;
  const std::optional<std::string> name =
      ask_name(QStringLiteral("重命名项目"), QString::fromStdString(current_));
  if (!name) return;
  save();
  if (const std::optional<std::string> error = ProjectStore(folder_).rename(current_, *name)) {
    desktop_.warn(&window_, QStringLiteral("重命名项目"),
                  QStringLiteral("项目“%1”没有重命名：%2")
                      .arg(QString::fromStdString(current_), QString::fromStdString(*error)));
    return;
  }
  const std::string from = std::exchange(current_, *name);
  fill_combo();
  if (renamed_) renamed_(from, current_);
}

void ProjectPanel::remove() {
  if (current_.empty() || refuse_if_scheduled(QStringLiteral("删除项目"))) return;
  const QString name = QString::fromStdString(current_);
  if (!desktop_.ask(&window_, QStringLiteral("删除项目"),
                    QStringLiteral("删除项目“%1”吗？项目的关键词列表和设置将被删除，"
                                   "历史排名保留。")
                        .arg(name))) {
    return;
  }
  save_soon_.stop();
  if (const std::optional<std::string> error = ProjectStore(folder_).remove(current_)) {
    desktop_.warn(&window_, QStringLiteral("删除项目"),
                  QStringLiteral("项目“%1”没有删除：%2").arg(name, QString::fromStdString(*error)));
    return;
  }
  current_.clear();
  controls_.box->setPlainText(own_list_);
  fill_combo();
}

}  // namespace quillrank
