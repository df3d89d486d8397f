// Verification a person passes in the window, against a fixture server on 127.0.0.1 that plays an
// engine (its address is the server's own, so the HTTP client and the verification's browser
// both reach nothing else): the engine's page is a verification page until a cookie is set; the
// page's button goes through an address that sets it and sends back to the result page.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <algorithm>

#include "engines/builtin_profiles.h"
#include "engines/engine_client.h"
#include "support/engine_pages.h"
#include "support/fake_pages.h"
#include "support/fixture_server.h"
#include "text/text_codec.h"
#include "window_test_support.h"

namespace quillrank::testing {
namespace {

constexpr char kBlockText[] = "安全验证";

// Baidu's classic shape, asked at the fixture server itself through one session whose cookies
// are kept in a file.
Engine fixture_engine(const FixtureServer& server) {
  Engine engine = builtin_engines(ProfileSet::classic)[0];
  engine.key = "fixture";
  engine.profile.name = "Fixture";
  engine.profile.host = "127.0.0.1:" + std::to_string(server.port());
  engine.profile.page_count = 1;
  engine.profile.session = true;
  engine.profile.cookies = true;
  engine.profile.signatures.block_texts = {kBlockText};
  engine.pacing = {.retries = 0};
  engine.ticked = true;
  return engine;
}

bool passed(const HttpRequest& request) {
  return request.header("Cookie").find("passed=1") != std::string::npos;
}

class WindowVerification : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(cookies_.isValid());
    engine_ = fixture_engine(server_);
    window_->set_engines({engine_});
    window_->set_cookie_folder(cookies_.path().toStdString());
    window_->session().set_worker_sources(live_engine_sources(cookies_.path().toStdString()));
    window_->show();
  }

  HttpReply reply(const HttpRequest& request) {
    if (request.target.rfind("/verify", 0) == 0) {
      return {.status = 302,
              .reason = "Found",
              .headers = {{"Set-Cookie", "passed=1; Path=/"}, {"Location", query_address()}}};
    }
    if (passed(request)) return {.body = engine_result_page(kBaidu, "http://a.example/", 2)};
    return {.headers = {{"Content-Type", "text/html; charset=utf-8"}},
            .body = std::string("<html><body><p>") + kBlockText +
                    "</p><button id=\"pass\" onclick=\"location.href='/verify'\">pass</button>"
                    "</body></html>"};
  }
  std::string query_address() const { return query_url(engine_.profile, "seo", 1); }

  void press_start() { QTest::mouseClick(window_->controls().start_button, Qt::LeftButton); }
  QString cell() { return shown_cell(*window_, 0, 2); }

  // Starts a run whose engine is blocked, and waits for the window to say it waits.
  void run_until_waiting() {
    window_->set_box_text("a.example|seo");
    press_start();
    ASSERT_TRUE(wait_until([&] { return window_->controls().verify_bar->isVisible(); }));
    ASSERT_TRUE(wait_until([&] { return cell() == QStringLiteral("等待验证"); }));
  }

  // Opens the verification dialog and waits for its page, the verification page, to show.
  VerificationDialog* open_dialog() {
    QTest::mouseClick(window_->controls().verify_button, Qt::LeftButton);
    VerificationDialog* dialog = window_->verification_dialog();
    if (!dialog) return nullptr;
    const bool shown = wait_until([&] {
      QString html;
      bool read = false;
      dialog->view()->page()->toHtml([&](const QString& text) {
        html = text;
        read = true;
      });
      return wait_until([&] { return read; }) && html.contains(QStringLiteral("安全验证"));
    });
    return shown ? dialog : nullptr;
  }

  QTemporaryDir cookies_;
  Engine engine_;
  FixtureServer server_{[this](const HttpRequest& request) { return reply(request); }};
  ScriptedDesktop desktop_;
  std::unique_ptr<MainWindow> window_ = make_window(desktop_, server_.route());
};

TEST_F(WindowVerification, SaysWhichEngineWaitsAndOpensItsVerificationPage) {
  run_until_waiting();
  EXPECT_EQ(window_->controls().verify_label->text(), QStringLiteral("Fixture等待验证"));
  EXPECT_EQ(window_->controls().verify_button->text(), QStringLiteral("去验证…"));
  EXPECT_EQ(window_->session().verifications().size(), 1u);

  VerificationDialog* dialog = open_dialog();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->view()->url().toString().toStdString(), query_address());
  EXPECT_FALSE(window_->controls().verify_button->isEnabled()) << "one dialog at a time";
}

// Closed without passing, the engine stops as without a person.
TEST_F(WindowVerification, ClosingTheDialogWithoutPassingStopsTheEngine) {
  run_until_waiting();
  VerificationDialog* dialog = open_dialog();
  ASSERT_NE(dialog, nullptr);
  dialog->reject();
  ASSERT_TRUE(wait_until([&] { return cell() == QStringLiteral("被拦截"); }));
  ASSERT_TRUE(wait_until([&] { return !window_->controls().verify_bar->isVisible(); }));
  EXPECT_EQ(window_->verification_dialog(), nullptr);
}

// A new start stops the run, whose verification goes with its dialog.
TEST_F(WindowVerification, StoppingTheRunClosesTheDialog) {
  run_until_waiting();
  QPointer<VerificationDialog> dialog = open_dialog();
  ASSERT_NE(dialog, nullptr);
  window_->set_box_text("");
  press_start();
  EXPECT_FALSE(window_->controls().verify_bar->isVisible());
  ASSERT_TRUE(wait_until([&] { return !dialog; }));
}

// The person passes: the dialog closes by itself, the engine asks the page again with the
// cookie the browser was given, and the cell ranks.
TEST_F(WindowVerification, APassedVerificationLetsTheEngineGoOnWithItsCookie) {
  run_until_waiting();
  QPointer<VerificationDialog> dialog = open_dialog();
  ASSERT_NE(dialog, nullptr);
  dialog->view()->page()->runJavaScript(QStringLiteral("document.getElementById('pass').click()"));
  ASSERT_TRUE(wait_until([&] { return !dialog || !dialog->isVisible(); }));
  ASSERT_TRUE(wait_until([&] { return cell() == QStringLiteral("第3名"); }))
      << cell().toStdString();
  EXPECT_FALSE(window_->controls().verify_bar->isVisible());
  // The HTTP client's last request (not the browser's) carried the cookie the browser got.
  const std::vector<HttpRequest> requests = server_.requests();
  const auto last = std::find_if(requests.rbegin(), requests.rend(), [](const HttpRequest& r) {
    return r.header("User-Agent").find("QtWebEngine") == std::string::npos;
  });
  ASSERT_NE(last, requests.rend());
  EXPECT_TRUE(passed(*last)) << last->raw_head;
}

// Two engines wait: the notice names both, one dialog opens at a time (the first asked's), and
// the other's verification waits for the next press.
TEST_F(WindowVerification, ListsEveryWaitingEngineAndOpensOneDialogAtATime) {
  Engine second = engine_;
  second.key = "fixture2";
  second.profile.name = "Second";
  window_->set_engines({engine_, second});
  window_->set_box_text("a.example|seo");
  press_start();
  ASSERT_TRUE(wait_until([&] { return window_->session().verifications().size() == 2; }));
  ASSERT_TRUE(wait_until([&] {
    const QString text = window_->controls().verify_label->text();
    return text == QStringLiteral("Fixture、Second等待验证") ||
           text == QStringLiteral("Second、Fixture等待验证");
  })) << window_->controls().verify_label->text().toStdString();
  const std::size_t first = window_->session().verifications()[0].engine;

  VerificationDialog* dialog = open_dialog();
  ASSERT_NE(dialog, nullptr);
  window_->open_verification();  // brings the open one forward, opens no other
  EXPECT_EQ(window_->verification_dialog(), dialog);
  dialog->reject();
  ASSERT_TRUE(wait_until([&] { return window_->session().verifications().size() == 1; }));
  EXPECT_TRUE(wait_until(
      [&] { return shown_cell(*window_, 0, engine_column(first)) == QStringLiteral("被拦截"); }));
  const QString other = QString::fromStdString(window_->engines()[1 - first].profile.name);
  ASSERT_TRUE(wait_until([&] {
    return window_->controls().verify_label->text() == other + QStringLiteral("等待验证");
  }));
  EXPECT_TRUE(window_->controls().verify_button->isEnabled());
  EXPECT_EQ(shown_cell(*window_, 0, engine_column(1 - first)), QStringLiteral("等待验证"));
}

// What counts as passed, as the dialog judges the pages it reaches.
TEST(VerificationPassed, AResultPageOrWhereAVerificationSendsBack) {
  EngineProfile engine = kBaidu;
  engine.signatures.block_texts = {kBlockText};
  engine.signatures.block_addresses = {"wappass.baidu.com"};
  const std::string result = engine_result_page(kBaidu, "http://a.example/", 2);
  const struct {
    const char* what;
    std::string body;
    std::string address;
    bool seen_block;
    bool passed;
    bool seen_after;
  } cases[] = {
      {"a result page", result, "http://127.0.0.1/s?wd=seo", false, true, false},
      {"a verification page", kBlockText, "http://127.0.0.1/s?wd=seo", false, false, true},
      {"a verification address", result, "https://wappass.baidu.com/static/captcha", false, false,
       true},
      {"an unknown page first", "<p>hello</p>", "http://127.0.0.1/x", false, false, false},
      {"an unknown page after a verification", "<p>hello</p>", "http://127.0.0.1/x", true, true,
       true},
  };
  for (const auto& c : cases) {
    FetchedPage page = served(c.body);
    page.final_url = c.address;
    bool seen = c.seen_block;
    EXPECT_EQ(verification_passed(engine, page, seen), c.passed) << c.what;
    EXPECT_EQ(seen, c.seen_after) << c.what;
  }
}

}  // namespace
}  // namespace quillrank::testing
