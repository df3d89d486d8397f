// Projects: a named keyword list with the engines to ask, kept as plain files in the user's data
// folder (<data>/quillrank/projects/<name>/keywords.txt and project.toml) so that they are easy
// to back up and to edit by hand.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "text/gbk_text.h"

namespace quillrank {

inline constexpr std::size_t kMaxProjectNameBytes = 64;
inline constexpr std::size_t kMaxProjectEngines = 64;
inline constexpr std::size_t kMaxProjectSettingsBytes = 64 * 1024;

// Empty when `name` may name a project (and its folder); else why not, in English. Names are
// UTF-8, 1 to 64 bytes, without '/', '\\' or control characters, not "." or "..", not starting
// with '.'.
std::string project_name_problem(std::string_view name);

// A project's settings file, project.toml: `engines = ["baidu", "google"]`.
struct ProjectSettings {
  std::vector<std::string> engines{"baidu", "google"};  // keys, lower case, or "all"
  friend bool operator==(const ProjectSettings&, const ProjectSettings&) = default;
};

// The settings in `text`, or "path:line: what is wrong".
std::variant<ProjectSettings, std::string> parse_project_settings(std::string_view text,
                                                                  const std::string& path);
// Reads back (parse_project_settings) as `settings`.
std::string project_settings_text(const ProjectSettings& settings);

struct Project {
  std::string name;
  GbkText list = {};  // the keyword box's text (GBK, CR LF)
  ProjectSettings settings = {};
};

// $XDG_DATA_HOME/quillrank/projects, else ~/.local/share/quillrank/projects; empty when neither
// variable is set.
std::string default_projects_folder();

// $<variable>/<below>, else $HOME/<home_default>/<below>: where the XDG base directories put a
// user's files; empty when neither variable is set.
std::string xdg_folder(const char* variable, const char* home_default, const std::string& below);

// The projects under one folder. Every call checks the name it is given; failures come back as
// one English sentence.
class ProjectStore {
 public:
  explicit ProjectStore(std::string folder) : folder_(std::move(folder)) {}

  // The folder of the project `name` (whether or not it exists).
  std::string folder_of(std::string_view name) const;
  // The projects' names, sorted; folders whose names are not valid project names are skipped.
  std::vector<std::string> names() const;
  bool exists(std::string_view name) const;

  std::variant<Project, std::string> load(std::string_view name) const;
  // Creates or replaces the project's list and settings (each file replaced whole).
  std::optional<std::string> save(const Project& project) const;
  std::optional<std::string> rename(std::string_view from, std::string_view to) const;
  std::optional<std::string> remove(std::string_view name) const;

 private:
  std::string folder_;
};

// Writes `bytes` to `path` through a temporary file renamed into place; false on failure.
bool replace_file(const std::string& path, std::string_view bytes);

}  // namespace quillrank
