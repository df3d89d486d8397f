#include "app/browser/browser_pages.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <QNetworkProxyFactory>
#include <QPointer>
#include <QTimer>
#include <QWebEngineHttpRequest>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <vector>

#include "app/browser/engine_browser.h"
#include "net/page_fetcher.h"

namespace quillrank {

// One page asked for by a worker: what to load, and the page once the GUI thread has it.
struct BrowserJob {
  std::string url;
  RequestOptions options;
  std::string cookie_file;
  std::string ready_selector;
  std::string remove_selector;
  int render_seconds = 30;

  std::mutex mutex;
  std::condition_variable_any finished;
  bool done = false;                   // guarded by mutex
  FetchedPage page;                    // guarded by mutex
  std::atomic<bool> abandoned{false};  // the worker stopped waiting

  void finish(FetchedPage result) {
    {
      std::lock_guard lock(mutex);
      if (done) return;
      page = std::move(result);
      done = true;
    }
    finished.notify_all();
  }
};

namespace {

FetchedPage failed_page(std::string error) {
  FetchedPage page;
  page.error = "browser: " + std::move(error);
  return page;
}

// A text as a JavaScript string literal.
QString script_text(const std::string& text) {
  const QJsonDocument array(QJsonArray{QString::fromStdString(text)});
  const QByteArray json = array.toJson(QJsonDocument::Compact);
  return QString::fromUtf8(json.mid(1, json.size() - 2));
}

// Headers the browser sends of its own and would not take from a page's request.
bool browser_sets(std::string_view name) {
  const auto starts = [name](std::string_view prefix) {
    return name.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), name.begin(),
                      [](char a, char b) { return std::tolower(a) == std::tolower(b); });
  };
  return starts("sec-") || starts("upgrade-insecure-requests") || starts("accept-language");
}

}  // namespace

struct BrowserPages::Shared {
  std::mutex mutex;
  BrowserPages* pages = nullptr;                 // null once the browser has closed
  std::vector<std::weak_ptr<BrowserJob>> asked;  // pages asked for and maybe not yet done
};

// A page whose scripts' console messages are nobody's business.
class QuietPage : public QWebEnginePage {
 public:
  using QWebEnginePage::QWebEnginePage;

 protected:
  void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString&, int,
                                const QString&) override {}
};

// One page being loaded and read, on the GUI thread; deletes itself once the job is done.
class BrowserPages::Render : public QObject {
 public:
  Render(BrowserPages* owner, std::shared_ptr<BrowserJob> job)
      : QObject(owner), job_(std::move(job)) {
    QWebEngineProfile* profile = engine_browser_profile(job_->cookie_file);
    if (!job_->options.user_agent.empty()) {
      profile->setHttpUserAgent(QString::fromStdString(job_->options.user_agent));
    }
    page_ = new QuietPage(profile, this);
    connect(page_, &QWebEnginePage::loadingChanged, this,
            [this](const QWebEngineLoadingInfo& info) { loading_changed(info); });
    connect(page_, &QWebEnginePage::urlChanged, this, [this](const QUrl& url) {
      const std::string address = url.toString().toStdString();
      if (address != job_->url && (redirects_.empty() || redirects_.back() != address)) {
        redirects_.push_back(address);
      }
    });
    connect(page_, &QWebEnginePage::renderProcessTerminated, this,
            [this] { end(failed_page("the page's renderer ended")); });
    QWebEngineHttpRequest request(QUrl(QString::fromStdString(job_->url)));
    for (const std::string& header : job_->options.headers) {
      const std::size_t colon = header.find(':');
      if (colon == std::string::npos) continue;
      const std::string name = header.substr(0, colon);
      if (name == "Accept-Language" || name == "accept-language") {
        profile->setHttpAcceptLanguage(QString::fromStdString(header.substr(colon + 1)).trimmed());
      }
      if (browser_sets(name)) continue;
      request.setHeader(QByteArray::fromStdString(name),
                        QByteArray::fromStdString(header.substr(colon + 1)).trimmed());
    }
    if (!job_->options.referer.empty()) {
      request.setHeader("Referer", QByteArray::fromStdString(job_->options.referer));
    }
    clock_.start();
    connect(&poll_, &QTimer::timeout, this, [this] { poll(); });
    poll_.start(50);
    page_->load(request);
  }

 private:
  void loading_changed(const QWebEngineLoadingInfo& info) {
    switch (info.status()) {
      case QWebEngineLoadingInfo::LoadStartedStatus:
        loaded_at_.reset();  // a new document is on its way (a redirect by script)
        break;
      case QWebEngineLoadingInfo::LoadSucceededStatus:
        status_ = 200;
        loaded_at_ = clock_.elapsed();
        break;
      case QWebEngineLoadingInfo::LoadFailedStatus:
        if (info.errorDomain() == QWebEngineLoadingInfo::HttpStatusCodeDomain) {
          status_ = info.errorCode();  // the server's page is read all the same
          loaded_at_ = clock_.elapsed();
        } else {
          end(failed_page(info.errorString().toStdString()));
        }
        break;
      case QWebEngineLoadingInfo::LoadStoppedStatus:
        break;
    }
  }

  void poll() {
    if (job_->abandoned) return end({});
    if (clock_.elapsed() > job_->render_seconds * 1000LL) {
      return end(failed_page("the page was not read within " +
                             std::to_string(job_->render_seconds) + " s"));
    }
    if (!loaded_at_ || asking_) return;
    asking_ = true;
    const QString ready = job_->ready_selector.empty()
                              ? QString("true")
                              : "(() => { try { return !!document.querySelector(" +
                                    script_text(job_->ready_selector) +
                                    "); } catch (e) { return false; } })()";
    QPointer<Render> alive(this);
    page_->runJavaScript(ready, QWebEngineScript::ApplicationWorld, [alive](const QVariant& seen) {
      if (!alive) return;
      alive->asking_ = false;
      if (seen.toBool() ||
          alive->clock_.elapsed() - alive->loaded_at_.value_or(0) >= kSettleMilliseconds) {
        alive->take();
      }
    });
  }

  // Reads the rendered document, without what the profile takes out.
  void take() {
    asking_ = true;
    const QString remove = job_->remove_selector.empty()
                               ? QString()
                               : "try { for (const e of document.querySelectorAll(" +
                                     script_text(job_->remove_selector) +
                                     ")) e.remove(); } catch (e) {}";
    QPointer<Render> alive(this);
    page_->runJavaScript("(() => { " + remove + " return document.documentElement.outerHTML; })()",
                         QWebEngineScript::ApplicationWorld, [alive](const QVariant& html) {
                           if (!alive) return;
                           FetchedPage page;
                           const QByteArray bytes = html.toString().toUtf8();
                           page.transport = static_cast<std::size_t>(bytes.size()) > kMaxBodyBytes
                                                ? Transport::too_long
                                                : Transport::complete;
                           page.body.bytes.assign(
                               bytes.constData(),
                               std::min<std::size_t>(bytes.size(), kMaxBodyBytes));
                           page.status = alive->status_;
                           page.final_url = alive->page_->url().toString().toStdString();
                           page.redirects = alive->redirects_;
                           alive->end(std::move(page));
                         });
  }

  void end(FetchedPage page) {
    if (ended_) return;
    ended_ = true;
    poll_.stop();
    job_->finish(std::move(page));
    deleteLater();  // the page with it, and its renderer's memory
  }

  std::shared_ptr<BrowserJob> job_;
  QWebEnginePage* page_ = nullptr;
  QTimer poll_;
  QElapsedTimer clock_;
  std::optional<qint64> loaded_at_;  // when the document now shown finished loading
  long status_ = 0;
  std::vector<std::string> redirects_;
  bool asking_ = false;  // a script's answer is awaited
  bool ended_ = false;
};

BrowserPages::BrowserPages(QObject* parent) : QObject(parent), shared_(std::make_shared<Shared>()) {
  shared_->pages = this;
  // The browser asks through the system proxy (http_proxy, https_proxy, no_proxy), as the HTTP
  // client does.
  QNetworkProxyFactory::setUseSystemConfiguration(true);
}

BrowserPages::~BrowserPages() {
  std::lock_guard lock(shared_->mutex);
  shared_->pages = nullptr;
  for (const auto& asked : shared_->asked) {
    if (const auto job = asked.lock()) job->finish(failed_page("the browser has closed"));
  }
}

void BrowserPages::start(const std::shared_ptr<BrowserJob>& job) {
  if (!job->abandoned) new Render(this, job);
}

BrowserSources BrowserPages::sources() {
  return [shared = shared_](const EngineProfile& profile, const std::string& cookie_file) {
    return [shared, profile, cookie_file](const PageRequest& request, std::stop_token stop) {
      auto job = std::make_shared<BrowserJob>();
      job->url = std::string(request.url);
      if (request.options) job->options = *request.options;
      job->cookie_file = cookie_file;
      job->ready_selector = profile.ready_selector;
      job->remove_selector = profile.remove_selector;
      job->render_seconds = profile.render_seconds;
      {
        std::lock_guard lock(shared->mutex);
        if (!shared->pages) return failed_page("the browser has closed");
        std::erase_if(shared->asked, [](const auto& asked) { return asked.expired(); });
        shared->asked.push_back(job);
        BrowserPages* pages = shared->pages;
        QMetaObject::invokeMethod(
            pages, [pages, job] { pages->start(job); }, Qt::QueuedConnection);
      }
      std::unique_lock lock(job->mutex);
      if (!job->finished.wait(lock, stop, [&job] { return job->done; })) {
        job->abandoned = true;
        FetchedPage stopped;
        stopped.transport = Transport::stopped;
        return stopped;
      }
      return std::move(job->page);
    };
  };
}

}  // namespace quillrank
