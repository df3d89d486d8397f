#include "net/proxy_address.h"

#include <gtest/gtest.h>

#include <string>

namespace quillrank {
namespace {

TEST(ParseProxyAddress, ReadsSchemeCredentialsHostAndPortWithEachSchemesDefaultPort) {
  struct Case {
    const char* text;
    ProxyScheme scheme;
    const char* user;
    const char* password;
    const char* host;
    int port;
    const char* shown;
  };
  const Case cases[] = {
      {"http://127.0.0.1:8080", ProxyScheme::http, "", "", "127.0.0.1", 8080,
       "http://127.0.0.1:8080"},
      {"HTTP://Proxy.Example/", ProxyScheme::http, "", "", "proxy.example", 80,
       "http://proxy.example:80"},
      {"https://p.example", ProxyScheme::https, "", "", "p.example", 443, "https://p.example:443"},
      {"socks5://bob@10.0.0.2", ProxyScheme::socks5, "bob", "", "10.0.0.2", 1080,
       "socks5://10.0.0.2:1080"},
      {"socks5h://bob:s3cret@[2001:DB8::1]:1081", ProxyScheme::socks5h, "bob", "s3cret",
       "2001:db8::1", 1081, "socks5h://[2001:db8::1]:1081"},
      // Escaped and raw separators in the credentials: the last '@' ends them.
      {"http://a%40b:p%3Aw@x@h:1", ProxyScheme::http, "a@b", "p:w@x", "h", 1, "http://h:1"},
      {"http://u:@h:65535", ProxyScheme::http, "u", "", "h", 65535, "http://h:65535"},
  };
  for (const Case& c : cases) {
    const auto parsed = parse_proxy_address(c.text);
    ASSERT_TRUE(std::holds_alternative<ProxyAddress>(parsed)) << std::get<std::string>(parsed);
    const ProxyAddress& proxy = std::get<ProxyAddress>(parsed);
    EXPECT_EQ(proxy.scheme, c.scheme) << c.text;
    EXPECT_EQ(proxy.user, c.user) << c.text;
    EXPECT_EQ(proxy.password, c.password) << c.text;
    EXPECT_EQ(proxy.host, c.host) << c.text;
    EXPECT_EQ(proxy.port, c.port) << c.text;
    EXPECT_EQ(proxy.shown(), c.shown) << c.text;
    // The whole URL reads back as the same proxy; the hidden one never carries the password.
    const auto again = parse_proxy_address(proxy.url());
    ASSERT_TRUE(std::holds_alternative<ProxyAddress>(again)) << proxy.url();
    EXPECT_EQ(std::get<ProxyAddress>(again), proxy) << proxy.url();
    if (!proxy.password.empty()) {
      EXPECT_EQ(proxy.url_password_hidden().find(proxy.password), std::string::npos);
      EXPECT_NE(proxy.url_password_hidden().find(":****@"), std::string::npos);
    }
  }
}

TEST(ParseProxyAddress, RefusesAnythingElseNamingTheEntryWithItsPasswordMasked) {
  const std::pair<std::string, const char*> wrong[] = {
      {"", "'': empty"},
      {"127.0.0.1:8080",
       "'127.0.0.1:8080': needs a scheme: http://, https://, socks5:// or "
       "socks5h://"},
      {"socks4://h:1", "'socks4://h:1': scheme must be http, https, socks5 or socks5h"},
      {"ftp://bob:hunter2@h", "'ftp://bob:****@h': scheme must be http, https, socks5 or socks5h"},
      {"http://bob:hunter2@h:0", "'http://bob:****@h:0': port must be 1 to 65535"},
      {"http://h:65536", "'http://h:65536': port must be 1 to 65535"},
      {"http://h:", "'http://h:': port must be 1 to 65535"},
      {"http://h:8x", "'http://h:8x': port must be 1 to 65535"},
      {"http://h/path",
       "'http://h/path': must be scheme://host:port, with no path, query or "
       "fragment"},
      {"http://h?q", "'http://h?q': must be scheme://host:port, with no path, query or fragment"},
      {"http://bob:hunter2@h/x",
       "'http://bob:****@h/x': must be scheme://host:port, with no "
       "path, query or fragment"},
      {"http:// h", "'http:// h': holds a blank or a control byte"},
      {"http://h\r\n",
       "'http://h?"
       "?': holds a blank or a control byte"},
      {"http://:hunter2@h", "'http://:****@h': has a password but no user"},
      {"http://b%4:hunter2@h",
       "'http://b%4:****@h': user or password has a broken %-escape or "
       "a control byte"},
      {"http://b:%0A@h",
       "'http://b:****@h': user or password has a broken %-escape or a "
       "control byte"},
      {"http://bob:****@h",
       "'http://bob:****@h': password is ****, the mask --print-config "
       "writes: write the real password back"},
      {"http://[::1", "'http://[::1': IPv6 address has no closing ']'"},
      {"http://[zz::1]:80", "'http://[zz::1]:80': host is not an IPv6 address"},
      {"http://[::1]80", "'http://[::1]80': port must follow ']' after a ':'"},
      {"http://bob@:80", "'http://bob@:80': has no host"},
      {"http://a..b",
       "'http://a..b': host must be a name (letters, digits, '-', '_', '.') or "
       "an IP address"},
      {"http://h%41",
       "'http://h%41': host must be a name (letters, digits, '-', '_', '.') or "
       "an IP address"},
      {"http://" + std::string(3000, 'a'), nullptr},
  };
  for (const auto& [text, message] : wrong) {
    const auto parsed = parse_proxy_address(text);
    ASSERT_TRUE(std::holds_alternative<std::string>(parsed)) << text;
    const std::string& what = std::get<std::string>(parsed);
    if (message) {
      EXPECT_EQ(what, message);
    }
    EXPECT_EQ(what.find("hunter2"), std::string::npos) << what;
    EXPECT_LE(what.size(), 200u) << what;
  }
}

TEST(ParseProxyFile, ReadsOneUrlALineSkippingBlanksAndCommentsAndNamesTheLineOfAnError) {
  const auto parsed = parse_proxy_file(
      "# pool of the night shift\r\n\r\nhttp://a:1\r\n  socks5h://u:p@b:2  \n\t# off\nhttps://c");
  ASSERT_TRUE(std::holds_alternative<std::vector<ProxyAddress>>(parsed));
  const auto& proxies = std::get<std::vector<ProxyAddress>>(parsed);
  ASSERT_EQ(proxies.size(), 3u);
  EXPECT_EQ(proxies[0].shown(), "http://a:1");
  EXPECT_EQ(proxies[1].shown(), "socks5h://b:2");
  EXPECT_EQ(proxies[1].password, "p");
  EXPECT_EQ(proxies[2].shown(), "https://c:443");

  const auto empty = parse_proxy_file("\n# nothing\n");
  ASSERT_TRUE(std::holds_alternative<std::vector<ProxyAddress>>(empty));
  EXPECT_TRUE(std::get<std::vector<ProxyAddress>>(empty).empty());

  struct Wrong {
    std::string text;
    std::size_t line;
    std::string what;
  };
  std::string many;
  for (std::size_t i = 0; i <= kMaxProxyEntries; ++i)
    many += "http://h:" + std::to_string(1 + i % 60000) + "\n";
  const Wrong wrong[] = {
      {"http://a:1\r\n\r\nhttp://u:hunter2@b:99999\n", 3,
       "'http://u:****@b:99999': port must be 1 to 65535"},
      {many, kMaxProxyEntries + 1, "more than 10000 proxies"},
      {std::string(kMaxProxyFileBytes + 1, '#'), 0,
       "larger than 1 MiB; no proxy list is that long"},
  };
  for (const Wrong& w : wrong) {
    const auto result = parse_proxy_file(w.text);
    ASSERT_TRUE(std::holds_alternative<ProxyFileError>(result));
    EXPECT_EQ(std::get<ProxyFileError>(result).line, w.line);
    EXPECT_EQ(std::get<ProxyFileError>(result).what, w.what);
  }
}

}  // namespace
}  // namespace quillrank
