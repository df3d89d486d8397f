// A project's name check and its settings reader on arbitrary bytes: a name that passes can never
// leave the projects folder or hide a control character; the settings are a value or a
// "path:line: ..." message, and what they read writes back as itself.
#include <cstdlib>
#include <string_view>

#include "fuzz_input.h"
#include "projects/project_store.h"

using namespace quillrank;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzing::FuzzInput input(data, size);
  const std::string name = input.text(80);
  if (project_name_problem(name).empty()) {
    if (name.size() > kMaxProjectNameBytes || name.front() == '.' ||
        name.find_first_of("/\\") != std::string::npos) {
      std::abort();
    }
    for (const char c : name) {
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) std::abort();
    }
  }
  const auto parsed = parse_project_settings(input.remaining(), "p.toml");
  if (const auto* error = std::get_if<std::string>(&parsed)) {
    if (!error->starts_with("p.toml:")) std::abort();
    return 0;
  }
  const ProjectSettings& settings = std::get<ProjectSettings>(parsed);
  const auto again = parse_project_settings(project_settings_text(settings), "p.toml");
  if (!std::holds_alternative<ProjectSettings>(again) ||
      std::get<ProjectSettings>(again) != settings) {
    std::abort();
  }
  return 0;
}
