#include "settings/pool_settings.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <variant>

#include "net/proxy_address.h"
#include "settings/profile_fields.h"

namespace quillrank {
namespace {

// A pool's keys as one table gives them; unset keys leave the level below in force.
struct PoolKeys {
  std::optional<std::vector<std::string>> proxies;  // set when proxies or proxy_file is
  const toml::node* direct_node = nullptr;
  std::optional<bool> direct;
  std::optional<int> failures;
};

// The proxy file, when it is a regular file (never a device or a pipe that could block or never
// end) and can be read; one byte past the cap is read, enough for the parser to refuse it.
std::optional<std::string> read_proxy_file(const std::string& file) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(file, error)) return std::nullopt;
  std::ifstream in(file, std::ios::binary);
  std::string text(kMaxProxyFileBytes + 1, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  if (in.bad()) return std::nullopt;
  text.resize(static_cast<std::size_t>(in.gcount()));
  return text;
}

std::optional<std::string> read_proxy_list(const toml::node& node, const std::string& path,
                                           std::vector<std::string>& proxies) {
  const toml::array* array = node.as_array();
  if (!array) return located(path, node.source(), "proxies must be an array of proxy URL texts");
  std::size_t entry = 0;
  for (const toml::node& item : *array) {
    const std::string where = "proxies: entry " + std::to_string(++entry) + ": ";
    const auto text = item.value_exact<std::string>();
    if (!text) return located(path, item.source(), where + "must be a proxy URL text");
    const auto parsed = parse_proxy_address(*text);
    if (const auto* what = std::get_if<std::string>(&parsed)) {
      return located(path, item.source(), where + *what);
    }
    proxies.push_back(std::get<ProxyAddress>(parsed).url());
  }
  return std::nullopt;
}

std::optional<std::string> read_proxy_file_key(const toml::node& node, const std::string& path,
                                               std::vector<std::string>& proxies) {
  const auto name = node.value_exact<std::string>();
  if (!name || name->empty())
    return located(path, node.source(), "proxy_file must be a file name text");
  const std::string file = beside_settings(path, *name);
  const std::optional<std::string> text = read_proxy_file(file);
  if (!text) return located(path, node.source(), "proxy_file: cannot read " + file);
  const auto parsed = parse_proxy_file(*text);
  if (const auto* error = std::get_if<ProxyFileError>(&parsed)) {
    return file + ":" + std::to_string(error->line) + ": " + error->what;
  }
  for (const ProxyAddress& proxy : std::get<std::vector<ProxyAddress>>(parsed)) {
    proxies.push_back(proxy.url());
  }
  return std::nullopt;
}

std::optional<std::string> read_pool_keys(const toml::table& table, const std::string& path,
                                          PoolKeys& keys) {
  std::vector<std::string> proxies;
  const toml::node* list = table.get("proxies");
  const toml::node* file = table.get("proxy_file");
  if (list) {
    if (auto problem = read_proxy_list(*list, path, proxies)) return problem;
  }
  if (file) {
    if (auto problem = read_proxy_file_key(*file, path, proxies)) return problem;
  }
  if (list || file) {
    const toml::node& where = list ? *list : *file;
    if (proxies.size() > kMaxProxyEntries) {
      return located(path, where.source(),
                     "more than " + std::to_string(kMaxProxyEntries) + " proxies for one engine");
    }
    for (std::size_t i = 0; i < proxies.size(); ++i) {
      const auto first =
          std::find(proxies.begin(), proxies.begin() + static_cast<long>(i), proxies[i]);
      if (first != proxies.begin() + static_cast<long>(i)) {
        const auto parsed = parse_proxy_address(proxies[i]);
        return located(path, where.source(),
                       "proxy " + std::get<ProxyAddress>(parsed).shown() + " is listed twice");
      }
    }
    keys.proxies = std::move(proxies);
  }
  if (const toml::node* direct = table.get("direct")) {
    keys.direct = direct->value_exact<bool>();
    if (!keys.direct) return located(path, direct->source(), "direct must be true or false");
    keys.direct_node = direct;
  }
  if (const toml::node* failures = table.get("proxy_failures")) {
    const auto number = failures->value_exact<std::int64_t>();
    if (!number || *number < 1 || *number > kMaxProxyFailures) {
      return located(path, failures->source(),
                     "proxy_failures must be 1 to " + std::to_string(kMaxProxyFailures));
    }
    keys.failures = static_cast<int>(*number);
  }
  return std::nullopt;
}

}  // namespace

std::string located(const std::string& path, const toml::source_region& where,
                    const std::string& what) {
  return path + ":" + std::to_string(where.begin.line) + ": " + what;
}

std::string beside_settings(const std::string& settings_path, const std::string& name) {
  const std::filesystem::path file(name);
  const std::filesystem::path folder = std::filesystem::path(settings_path).parent_path();
  return file.is_relative() && !folder.empty() ? (folder / file).string() : name;
}

bool is_pool_key(std::string_view key) {
  return key == "proxies" || key == "proxy_file" || key == "direct" || key == "proxy_failures";
}

std::optional<std::string> apply_pools(
    const toml::table& root, const std::vector<std::pair<std::string, const toml::node*>>& tables,
    const std::string& path, Engines& engines) {
  PoolKeys top;
  if (auto problem = read_pool_keys(root, path, top)) return problem;
  for (Engine& engine : engines) {
    PoolKeys own;
    const auto table =
        std::ranges::find(tables, engine.key, &std::pair<std::string, const toml::node*>::first);
    if (table != tables.end() && table->second->as_table()) {
      if (auto problem = read_pool_keys(*table->second->as_table(), path, own)) return problem;
    }
    // The browser has one proxy for the whole program (the system's): an engine it renders
    // asks through that alone, and the pool every engine shares leaves it out.
    const bool browser = engine.profile.fetch == FetchKind::browser;
    if (browser && own.proxies && !own.proxies->empty()) {
      return located(path, table->second->source(),
                     "engine " + engine.key +
                         ": fetch = \"browser\" asks through the system proxy alone; it takes "
                         "no proxies");
    }
    ProxyPool& pool = engine.pool;
    pool.proxies = browser ? std::vector<std::string>{}
                           : own.proxies.value_or(top.proxies.value_or(std::vector<std::string>{}));
    pool.direct = browser ? own.direct.value_or(true)
                          : own.direct.value_or(top.direct.value_or(pool.proxies.empty()));
    pool.failures = own.failures.value_or(top.failures.value_or(ProxyPool{}.failures));
    if (pool.proxies.empty() && !pool.direct) {
      // Only a direct key can have made it so.
      const toml::node* direct = own.direct ? own.direct_node : top.direct_node;
      return located(path, direct->source(),
                     "engine " + engine.key +
                         ": direct = false and no proxies: nothing to ask the engine through");
    }
  }
  return std::nullopt;
}

void write_pool(std::ostream& out, const ProxyPool& pool) {
  out << "# proxies this engine's requests go through, each a client of its own:\n"
         "# \"http://\", \"https://\", \"socks5://\" or "
         "\"socks5h://[user[:password]@]host[:port]\";\n"
         "# proxy_file = \"FILE\" reads more of them, one a line\n";
  bool hidden = false;
  std::string list;
  for (const std::string& text : pool.proxies) {
    const auto parsed = parse_proxy_address(text);
    const auto* proxy = std::get_if<ProxyAddress>(&parsed);
    if (!proxy) continue;  // the settings reader lets none through
    hidden = hidden || !proxy->password.empty();
    list += (list.empty() ? "" : ", ") + toml_text(proxy->url_password_hidden());
  }
  if (hidden) {
    out << "# the passwords are hidden as ****: write the real ones back before using this file\n";
  }
  out << "proxies = [" << list << "]\n"
      << "# whether the machine's own address asks too, beside the proxies\n"
      << "direct = " << (pool.direct ? "true" : "false") << "\n"
      << "# failed connections in a row after which a member leaves the run, 1 to "
      << kMaxProxyFailures << "\nproxy_failures = " << pool.failures << "\n";
}

}  // namespace quillrank
