#include "settings/settings_toml.h"

#include <charconv>
#include <sstream>

#include "settings/pool_settings.h"
#include "settings/profile_fields.h"

namespace quillrank {
namespace {

constexpr const char* kHeader =
    "# Quillrank's settings, as a run would use them. Save this as\n"
    "# ~/.config/quillrank/quillrank.toml (or give it to quillrank-batch --config FILE) and edit\n"
    "# what you need: a key left out keeps its built-in value. delay, retries and block_pause may\n"
    "# also stand at the top, before the first table, for every engine at once. Lists of\n"
    "# signatures replace the built-in ones; extend_block_addresses, extend_block_signatures\n"
    "# and extend_no_results_signatures add to them instead.\n";

// Plain decimals (no exponent, whose "-" a "MIN-MAX" delay could not hold), shortest that reads
// back the same.
std::string number(double value) {
  char text[64];
  const auto [end, error] =
      std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
  return error == std::errc() ? std::string(text, end) : "0";
}

void write_pacing(std::ostringstream& out, const EnginePacing& pacing) {
  out << "# seconds between two requests: a number, or \"MIN-MAX\" for a random pause\n"
      << "delay = ";
  if (pacing.delay_min == pacing.delay_max) {
    out << number(pacing.delay_min);
  } else {
    out << '"' << number(pacing.delay_min) << '-' << number(pacing.delay_max) << '"';
  }
  out << "\n# further tries of a failed fetch, 0 to 10\nretries = " << pacing.retries
      << "\n# seconds to wait after a block before asking once more; 0: the engine stops\n"
      << "block_pause = " << number(pacing.block_pause) << "\n";
}

}  // namespace

std::string settings_as_toml(const Settings& settings) {
  std::ostringstream out;
  out << kHeader
      << "\n# the built-in profiles the engine tables below change: \"current\" for today's "
         "pages,\n"
         "# \"classic\" for the old ones as the old client asked for them\nprofiles = "
      << toml_text(profile_set_name(settings.profile_set))
      << "\n\n# record every run in the rank history\nhistory = "
      << (settings.history ? "true" : "false")
      << "\n# the rank history's database file (default: "
         "$XDG_DATA_HOME/quillrank/history.sqlite3)\n"
      << (settings.history_path.empty() ? "# " : "") << "history_path = "
      << (settings.history_path.empty() ? "\"\"" : toml_text(settings.history_path)) << "\n"
      << "# the rank history in a PostgreSQL database instead, shared by several machines\n"
      << (settings.history_url.empty() ? "# " : "") << "history_url = "
      << (settings.history_url.empty() ? "\"postgresql://user@host/db\""
                                       : toml_text(shown_location(settings.history_url)))
      << "\n# the window shows the history and records nothing\nhistory_read_only = "
      << (settings.history_read_only ? "true" : "false") << "\n"
      << "# a command (run by /bin/sh -c) given each finished run's summary as JSON on its "
         "standard input\n"
      << (settings.on_run_end.empty() ? "# " : "")
      << "on_run_end = " << toml_text(settings.on_run_end) << "\n";
  for (const Engine& engine : settings.engines) {
    out << "\n[engine." << engine.key << "]\n";
    write_pacing(out, engine.pacing);
    write_pool(out, engine.pool);
    for (const ProfileField& field : profile_fields()) {
      if (!field.write) continue;
      out << "# " << field.help << "\n"
          << field.key << " = " << field.write(engine.profile) << "\n";
    }
  }
  return out.str();
}

}  // namespace quillrank
