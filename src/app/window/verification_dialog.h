// VerificationDialog: the page an engine blocked, in a web view on the engine's browser profile
// (its cookie store), for a person to pass the engine's verification. It closes by itself,
// accepted, once the page it shows is no verification page any more.
#pragma once

#include <QDialog>
#include <QString>
#include <memory>

#include "engines/engine_profile.h"
#include "net/fetched_page.h"

class QWebEngineProfile;
class QWebEngineView;

namespace quillrank {

// Whether a page the dialog reached means the verification was passed: a result page or the
// engine's "nothing found" page; or, once a verification page was seen on the way (`seen_block`,
// which a verification page sets), any page that is none: where the verification sent back to.
// Judged by judge_page, the page's address against the profile's verification addresses
// included.
bool verification_passed(const EngineProfile& engine, const FetchedPage& page, bool& seen_block);

class VerificationDialog : public QDialog {
  Q_OBJECT

 public:
  // Loads `address` in a web view on `browser`, which must outlive the dialog. Titled with the
  // engine's name.
  VerificationDialog(const EngineProfile& engine, QWebEngineProfile* browser,
                     const QString& address, QWidget* parent = nullptr);

  // The web view that shows the page (for tests that act on the page).
  QWebEngineView* view() const { return view_; }

 private:
  // Reads the page that finished loading and accepts the dialog when the verification passed.
  void judge_loaded(bool ok);

  // What the pages are judged by. The page answers a read still pending when it goes, which is
  // after these members went: the read holds them weakly.
  struct Judging {
    EngineProfile engine;
    bool seen_block = false;
  };
  std::shared_ptr<Judging> judging_;
  QWebEngineView* view_;
};

}  // namespace quillrank
