#include "app/browser/engine_browser.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QNetworkCookie>
#include <QWebEngineCookieStore>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestInterceptor>
#include <map>

#include "net/cookie_jar.h"
#include "net/cookie_line.h"

namespace quillrank {
namespace {

bool loopback_only = false;

// Refuses what a page that is only read does not need, and in tests what is not on loopback.
class RequestFilter : public QWebEngineUrlRequestInterceptor {
 public:
  using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;

  void interceptRequest(QWebEngineUrlRequestInfo& info) override {
    using Type = QWebEngineUrlRequestInfo::ResourceType;
    switch (info.resourceType()) {
      case Type::ResourceTypeImage:
      case Type::ResourceTypeFontResource:
      case Type::ResourceTypeMedia:
      case Type::ResourceTypeFavicon:
        info.block(true);
        return;
      default:
        break;
    }
    const QString host = info.requestUrl().host();
    if (loopback_only && host != "127.0.0.1" && host != "localhost") info.block(true);
  }
};

QNetworkCookie to_network_cookie(const CookieLine& line) {
  QNetworkCookie cookie(QByteArray::fromStdString(line.name),
                        QByteArray::fromStdString(line.value));
  cookie.setDomain(QString::fromStdString((line.include_subdomains ? "." : "") + line.domain));
  cookie.setPath(QString::fromStdString(line.path));
  cookie.setSecure(line.secure);
  cookie.setHttpOnly(line.http_only);
  if (line.expires > 0) cookie.setExpirationDate(QDateTime::fromSecsSinceEpoch(line.expires));
  return cookie;
}

CookieLine to_cookie_line(const QNetworkCookie& cookie) {
  std::string domain = cookie.domain().toStdString();
  const bool subdomains = domain.starts_with('.');
  if (subdomains) domain.erase(0, 1);
  return {.domain = domain,
          .include_subdomains = subdomains,
          .path = cookie.path().isEmpty() ? "/" : cookie.path().toStdString(),
          .secure = cookie.isSecure(),
          .expires = cookie.isSessionCookie() ? 0 : cookie.expirationDate().toSecsSinceEpoch(),
          .name = cookie.name().toStdString(),
          .value = cookie.value().toStdString(),
          .http_only = cookie.isHttpOnly()};
}

// Writes one change of the browser's store into the file, beside the cookies others keep there.
void write_back(const std::string& cookie_file, const QNetworkCookie& cookie, bool removed) {
  const CookieLine line = to_cookie_line(cookie);
  // A cookie the file cannot hold (a name or value with a tab or line break) stays in the
  // browser.
  if (!parse_cookie_line(cookie_line_text(line))) return;
  write_cookie_file(cookie_file, merge_cookie(read_cookie_file(cookie_file), line, removed));
}

QWebEngineProfile* make_profile(const std::string& cookie_file) {
  auto* profile = new QWebEngineProfile(QCoreApplication::instance());
  profile->setUrlRequestInterceptor(new RequestFilter(profile));
  if (cookie_file.empty()) return profile;
  QWebEngineCookieStore* store = profile->cookieStore();
  for (const std::string& text : read_cookie_file(cookie_file)) {
    if (const auto line = parse_cookie_line(text)) store->setCookie(to_network_cookie(*line));
  }
  QObject::connect(
      store, &QWebEngineCookieStore::cookieAdded, profile,
      [cookie_file](const QNetworkCookie& cookie) { write_back(cookie_file, cookie, false); });
  QObject::connect(
      store, &QWebEngineCookieStore::cookieRemoved, profile,
      [cookie_file](const QNetworkCookie& cookie) { write_back(cookie_file, cookie, true); });
  return profile;
}

}  // namespace

QWebEngineProfile* engine_browser_profile(const std::string& cookie_file) {
  static std::map<std::string, QWebEngineProfile*> profiles;
  QWebEngineProfile*& profile = profiles[cookie_file];
  if (!profile) profile = make_profile(cookie_file);
  return profile;
}

void browser_loopback_only() { loopback_only = true; }

}  // namespace quillrank
