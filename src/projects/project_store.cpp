#include "projects/project_store.h"

#include <toml++/toml.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "engines/engines.h"
#include "keywords/keyword_file.h"

namespace quillrank {
namespace {

constexpr const char* kListFile = "keywords.txt";
constexpr const char* kSettingsFile = "project.toml";

// The length of the well-formed UTF-8 character at `at`, or 0.
std::size_t utf8_char_length(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  std::size_t length = 0;
  unsigned int code = 0;
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    code = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    code = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    code = lead & 0x07;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(at + i) & 0x3F);
  }
  const bool shortest =
      (length == 3 && code >= 0x800) || (length == 4 && code >= 0x10000) || length == 2;
  const bool scalar = code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
  // The C1 controls (U+0080..U+009F) are control characters as much as the ASCII ones.
  const bool control = code >= 0x80 && code <= 0x9F;
  return shortest && scalar && !control ? length : 0;
}

std::optional<std::string> read_small_file(const std::string& path, std::size_t limit) {
  std::error_code error;
  const auto size = std::filesystem::file_size(path, error);
  if (error || size > limit) return std::nullopt;
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  std::ostringstream text;
  text << file.rdbuf();
  if (file.bad()) return std::nullopt;
  return text.str();
}

}  // namespace

std::string project_name_problem(std::string_view name) {
  if (name.empty()) return "a project name cannot be empty";
  if (name.size() > kMaxProjectNameBytes) {
    return "a project name is at most " + std::to_string(kMaxProjectNameBytes) + " bytes";
  }
  if (name == "." || name == ".." || name.front() == '.') {
    return "a project name cannot start with '.'";
  }
  for (std::size_t at = 0; at < name.size();) {
    const auto c = static_cast<unsigned char>(name[at]);
    if (c == '/' || c == '\\') return "a project name cannot hold '/' or '\\'";
    if (c < 0x20 || c == 0x7F) return "a project name cannot hold control characters";
    const std::size_t length = utf8_char_length(name, at);
    if (length == 0) return "a project name must be UTF-8 text without control characters";
    at += length;
  }
  return {};
}

std::variant<ProjectSettings, std::string> parse_project_settings(std::string_view text,
                                                                  const std::string& path) {
  if (text.size() > kMaxProjectSettingsBytes) return path + ":0: larger than 64 KiB";
  toml::table root;
  try {
    root = toml::parse(text, path);
  } catch (const toml::parse_error& error) {
    return path + ":" + std::to_string(error.source().begin.line) + ": " +
           std::string(error.description());
  }
  const auto at = [&path](const toml::node& node, const std::string& what) {
    return path + ":" + std::to_string(node.source().begin.line) + ": " + what;
  };
  ProjectSettings settings;
  for (const auto& [key, value] : root) {
    if (key.str() != "engines") return at(value, "unknown key '" + std::string(key.str()) + "'");
    const toml::array* engines = value.as_array();
    if (!engines || engines->empty() || engines->size() > kMaxProjectEngines) {
      return at(value, "engines must be a list of 1 to " + std::to_string(kMaxProjectEngines) +
                           " engine keys, e.g. [\"baidu\", \"google\"]");
    }
    settings.engines.clear();
    for (const toml::node& engine : *engines) {
      const std::optional<std::string> name = engine.value_exact<std::string>();
      if (!name || (*name != "all" && !valid_engine_key(*name))) {
        return at(engine, "engines: each is an engine key (a-z, 0-9, _) or \"all\"");
      }
      settings.engines.push_back(*name);
    }
  }
  return settings;
}

std::string project_settings_text(const ProjectSettings& settings) {
  std::string text =
      "# The engines this project asks, by key (quillrank-batch --print-config "
      "lists them), or \"all\".\nengines = [";
  for (std::size_t i = 0; i < settings.engines.size(); ++i) {
    text += (i ? ", \"" : "\"") + settings.engines[i] + "\"";
  }
  return text + "]\n";
}

std::string xdg_folder(const char* variable, const char* home_default, const std::string& below) {
  const char* set = std::getenv(variable);
  if (set && *set) return std::string(set) + "/" + below;
  const char* home = std::getenv("HOME");
  if (home && *home) return std::string(home) + "/" + home_default + "/" + below;
  return {};
}

std::string default_projects_folder() {
  return xdg_folder("XDG_DATA_HOME", ".local/share", "quillrank/projects");
}

bool replace_file(const std::string& path, std::string_view bytes) {
  const std::string temporary = path + ".tmp" + std::to_string(getpid());
  {
    std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    file.close();
    if (!file) {
      std::filesystem::remove(temporary);
      return false;
    }
  }
  std::error_code error, ignored;
  std::filesystem::rename(temporary, path, error);
  if (error) std::filesystem::remove(temporary, ignored);
  return !error;
}

std::string ProjectStore::folder_of(std::string_view name) const {
  return folder_ + "/" + std::string(name);
}

std::vector<std::string> ProjectStore::names() const {
  std::vector<std::string> found;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder_, error)) {
    const std::string name = entry.path().filename().string();
    if (entry.is_directory(error) && project_name_problem(name).empty()) found.push_back(name);
  }
  std::ranges::sort(found);
  return found;
}

bool ProjectStore::exists(std::string_view name) const {
  std::error_code error;
  return project_name_problem(name).empty() &&
         std::filesystem::is_directory(folder_of(name), error);
}

std::variant<Project, std::string> ProjectStore::load(std::string_view name) const {
  if (std::string problem = project_name_problem(name); !problem.empty()) return problem;
  if (!exists(name)) return "no project named '" + std::string(name) + "' in " + folder_;
  Project project{.name = std::string(name)};
  const std::string folder = folder_of(name);
  if (std::filesystem::exists(folder + "/" + kSettingsFile)) {
    const std::string path = folder + "/" + kSettingsFile;
    const std::optional<std::string> text = read_small_file(path, kMaxProjectSettingsBytes);
    if (!text) return "cannot read " + path;
    auto parsed = parse_project_settings(*text, path);
    if (auto* error = std::get_if<std::string>(&parsed)) return *error;
    project.settings = std::get<ProjectSettings>(parsed);
  }
  if (std::filesystem::exists(folder + "/" + kListFile)) {
    const std::string path = folder + "/" + kListFile;
    std::optional<std::string> bytes = read_small_file(path, kMaxKeywordFileBytes);
    if (!bytes) return "cannot read " + path + " (or it is larger than 64 MiB)";
    project.list = decode_keyword_file(ByteBuffer{std::move(*bytes)}).text;
  }
  return project;
}

std::optional<std::string> ProjectStore::save(const Project& project) const {
  if (std::string problem = project_name_problem(project.name); !problem.empty()) return problem;
  // What load() would refuse is never written.
  const std::string settings = project_settings_text(project.settings);
  if (auto parsed = parse_project_settings(settings, kSettingsFile);
      std::holds_alternative<std::string>(parsed)) {
    return std::get<std::string>(parsed);
  }
  const std::string folder = folder_of(project.name);
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) return "cannot create " + folder + ": " + error.message();
  if (!replace_file(folder + "/" + kListFile, project.list) ||
      !replace_file(folder + "/" + kSettingsFile, settings)) {
    return "cannot write the project's files in " + folder;
  }
  return std::nullopt;
}

std::optional<std::string> ProjectStore::rename(std::string_view from, std::string_view to) const {
  for (const std::string_view name : {from, to}) {
    if (std::string problem = project_name_problem(name); !problem.empty()) return problem;
  }
  if (!exists(from)) return "no project named '" + std::string(from) + "'";
  if (from == to) return std::nullopt;
  std::error_code error;
  if (std::filesystem::exists(folder_of(to), error)) {
    return "a project named '" + std::string(to) + "' exists already";
  }
  std::filesystem::rename(folder_of(from), folder_of(to), error);
  if (error) return "cannot rename the project: " + error.message();
  return std::nullopt;
}

std::optional<std::string> ProjectStore::remove(std::string_view name) const {
  if (std::string problem = project_name_problem(name); !problem.empty()) return problem;
  if (!exists(name)) return "no project named '" + std::string(name) + "'";
  std::error_code error;
  std::filesystem::remove_all(folder_of(name), error);
  if (error) return "cannot delete the project: " + error.message();
  return std::nullopt;
}

}  // namespace quillrank
