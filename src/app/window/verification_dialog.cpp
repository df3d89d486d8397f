#include "app/window/verification_dialog.h"

#include <QLabel>
#include <QPointer>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include "engines/page_verdict.h"

namespace quillrank {

bool verification_passed(const EngineProfile& engine, const FetchedPage& page, bool& seen_block) {
  switch (judge_page(engine, page).verdict) {
    case Verdict::result:
    case Verdict::no_results:
      return true;
    case Verdict::blocked:
      seen_block = true;
      return false;
    case Verdict::failed:
    case Verdict::unrecognised:
      break;
  }
  return seen_block;
}

VerificationDialog::VerificationDialog(const EngineProfile& engine, QWebEngineProfile* browser,
                                       const QString& address, QWidget* parent)
    : QDialog(parent),
      judging_(std::make_shared<Judging>(Judging{engine})),
      view_(new QWebEngineView(this)) {
  setObjectName(QStringLiteral("验证对话框"));
  const QString name = QString::fromStdString(engine.name);
  setWindowTitle(QStringLiteral("%1 验证").arg(name));
  auto* note = new QLabel(
      QStringLiteral("%1 要求验证。请在下面的页面中完成验证，通过后本窗口自动关闭，%1 继续查询；"
                     "关闭本窗口则 %1 停止查询（被拦截）。")
          .arg(name),
      this);
  note->setWordWrap(true);
  view_->setPage(new QWebEnginePage(browser, view_));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(note);
  layout->addWidget(view_, 1);
  resize(960, 720);
  connect(view_, &QWebEngineView::loadFinished, this, &VerificationDialog::judge_loaded);
  view_->setUrl(QUrl(address));
}

void VerificationDialog::judge_loaded(bool ok) {
  if (!ok) return;
  const QString address = view_->url().toString();
  view_->page()->toHtml(
      [dialog = QPointer(this), judging = std::weak_ptr(judging_), address](const QString& html) {
        // The judging goes first when the dialog is destroyed (its page answers pending reads
        // from the dialog's base class destructor, when the dialog is no dialog any more): ask
        // for it before the pointer to the dialog is read.
        const std::shared_ptr<Judging> judge = judging.lock();
        if (!judge || !dialog) return;
        FetchedPage page;
        page.body.bytes = html.toStdString();
        page.status = 200;  // the browser shows what it got; blocks are told by page and address
        page.transport = Transport::complete;
        page.final_url = address.toStdString();
        if (verification_passed(judge->engine, page, judge->seen_block)) dialog->accept();
      });
}

}  // namespace quillrank
