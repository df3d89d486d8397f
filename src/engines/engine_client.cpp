#include "engines/engine_client.h"

#include "net/page_fetcher.h"
#include "net/proxy_address.h"

namespace quillrank {

std::string member_file_part(std::string_view member) {
  const std::size_t scheme_end = member.find("://");
  std::string part(member.substr(scheme_end == std::string_view::npos ? 0 : scheme_end + 3));
  for (char& c : part) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '-';
    if (!plain) c = '_';
  }
  return part;
}

namespace {

// What a proxy's member is called: scheme://host:port.
std::string proxy_member_name(const std::string& proxy) {
  const auto address = parse_proxy_address(proxy);
  const auto* parsed = std::get_if<ProxyAddress>(&address);
  return parsed ? parsed->shown() : proxy_text_for_errors(proxy);
}

}  // namespace

std::string engine_cookie_file(const EngineProfile& profile, std::string_view engine_key,
                               const std::string& cookie_folder, const std::string& proxy) {
  if (!profile.session || !profile.cookies || cookie_folder.empty()) return {};
  const auto address = parse_proxy_address(proxy);
  const auto* parsed = std::get_if<ProxyAddress>(&address);
  const std::string member =
      proxy.empty() ? std::string() : "@" + (parsed ? member_file_part(parsed->shown()) : "proxy");
  return cookie_folder + "/" + std::string(engine_key) + member + ".txt";
}

std::string member_cookie_file(const Engine& engine, std::string_view member,
                               const std::string& cookie_folder) {
  for (const std::string& proxy : engine.pool.proxies) {
    if (!member.empty() && proxy_member_name(proxy) == member) {
      return engine_cookie_file(engine.profile, engine.key, cookie_folder, proxy);
    }
  }
  return engine_cookie_file(engine.profile, engine.key, cookie_folder);
}

PageSource engine_page_source(const EngineProfile& profile, std::string_view engine_key,
                              const std::string& cookie_folder, const std::string& connect_to,
                              const std::string& ca_file, const std::string& proxy,
                              const BrowserSources& browser) {
  if (profile.fetch == FetchKind::browser) {
    // The browser keeps the engine's cookies whether or not the HTTP client would.
    const std::string cookie_file = cookie_folder.empty()
                                        ? std::string()
                                        : cookie_folder + "/" + std::string(engine_key) + ".txt";
    if (browser) return browser(profile, cookie_file);
    return [](const PageRequest&, std::stop_token) {
      FetchedPage page;
      page.error = "this program has no browser to render the engine's pages";
      return page;
    };
  }
  if (!profile.session) return PageFetcher::source(connect_to, proxy);
  return PageFetcher::session_source({
      .cookie_file = engine_cookie_file(profile, engine_key, cookie_folder, proxy),
      .warm_up_page = profile.warm_up ? profile.home_page : std::string(),
      .connect_to = connect_to,
      .ca_file = ca_file,
      .proxy = proxy,
  });
}

WorkerSources live_engine_sources(std::string cookie_folder, BrowserSources browser) {
  return [folder = std::move(cookie_folder), browser = std::move(browser)](
             const Engine& engine, const std::string& proxy) {
    return engine_page_source(engine.profile, engine.key, folder, {}, {}, proxy, browser);
  };
}

std::vector<PoolMember> pool_members(const Engine& engine, const WorkerSources& sources) {
  std::vector<PoolMember> members;
  const auto member = [&](std::string name, const std::string& proxy) {
    members.push_back(
        {std::move(name), [sources, engine, proxy] { return sources(engine, proxy); }});
  };
  for (const std::string& proxy : engine.pool.proxies) member(proxy_member_name(proxy), proxy);
  if (engine.pool.direct) member(members.empty() ? "" : "本机", {});
  return members;
}

}  // namespace quillrank
