#include "app/batch/batch_options.h"

#include <algorithm>
#include <cctype>

#include "engines/engine_profile.h"

namespace quillrank {
namespace {

// "baidu,Google" to ticks; an unknown or empty name is an error.
std::variant<std::array<bool, 4>, std::string> parse_engines(const std::string& list) {
  std::array<bool, 4> ticked{};
  std::size_t begin = 0;
  while (begin <= list.size()) {
    const std::size_t comma = std::min(list.find(',', begin), list.size());
    std::string name = list.substr(begin, comma - begin);
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    bool known = false;
    for (int engine = 0; engine < 4; ++engine) {
      std::string engine_name(kEngines[engine]->name);
      std::transform(engine_name.begin(), engine_name.end(), engine_name.begin(),
                     [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
      if (name == engine_name) ticked[engine] = known = true;
    }
    if (!known) return "unknown engine '" + name + "' (use baidu, google, sogou, soso)";
    begin = comma + 1;
  }
  return ticked;
}

}  // namespace

std::variant<BatchOptions, std::string> parse_batch_options(const std::vector<std::string>& args) {
  BatchOptions options;
  bool have_input = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "-e" || arg == "-o") {
      if (i + 1 == args.size()) return arg + " needs a value";
      const std::string& value = args[++i];
      if (arg == "-o") {
        options.output = value;
        continue;
      }
      auto engines = parse_engines(value);
      if (auto* error = std::get_if<std::string>(&engines)) return *error;
      options.engines = std::get<std::array<bool, 4>>(engines);
    } else if (arg == "--csv") {
      options.csv = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      return "unknown option '" + arg + "'";
    } else {
      if (have_input) return "only one input file may be given";
      options.input = arg;
      have_input = true;
    }
  }
  return options;
}

}  // namespace quillrank
