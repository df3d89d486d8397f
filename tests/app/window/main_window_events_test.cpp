// What keys and clicks do: Esc closes, Enter presses nothing, Tab walks the controls in the
// layout's order and shows where the focus is, a press into the box clears the untouched sample
// and still reaches the box, and the credit link opens its page.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

#include "app/window/hyperlink_label.h"
#include "keywords/keyword_list.h"
#include "window_test_support.h"

namespace quillrank::testing {
namespace {

class WindowEvents : public ::testing::Test {
 protected:
  void SetUp() override {
    window_->show();
    window_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
  }
  template <typename Control = QWidget>
  Control* control(const char* name) {
    return window_->findChild<Control*>(QString::fromUtf8(name));
  }
  QPlainTextEdit* box() { return control<QPlainTextEdit>("数据"); }
  bool nothing_started() {
    for (int engine = 0; engine < 4; ++engine) {
      if (window_->session().engine_running(engine)) return false;
    }
    return window_->results().row_count() == 0 && desktop_.dialogs.empty();
  }

  ScriptedDesktop desktop_;
  std::unique_ptr<MainWindow> window_ = make_window(desktop_);
};

TEST_F(WindowEvents, EscClosesTheWindowWhereverTheFocusIs) {
  for (const char* focus : {"数据", "超级列表框1", "按钮1"}) {
    window_->show();
    window_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
    control(focus)->setFocus();
    QTest::keyClick(control(focus), Qt::Key_Escape);
    EXPECT_FALSE(window_->isVisible()) << focus;
  }
  EXPECT_TRUE(desktop_.questions.empty()) << "nothing is going: no question";
}

TEST_F(WindowEvents, TabWalksEveryControlInTheLayoutsOrderAndLeavesTheBoxUnchanged) {
  const char* order[] = {"数据",     "导入",     "导出",  "选中百度",    "选中GG", "选中搜狗",
                         "选中搜搜", "联系作者", "按钮1", "超级列表框1", "数据"};
  box()->setFocus();
  ASSERT_TRUE(box()->hasFocus());
  for (std::size_t i = 1; i < std::size(order); ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_NE(QApplication::focusWidget(), nullptr);
    EXPECT_EQ(QApplication::focusWidget()->objectName(), QString::fromUtf8(order[i]))
        << i << " " << QApplication::focusWidget()->metaObject()->className();
  }
  EXPECT_EQ(window_->box_text(), sample_text()) << "Tab typed nothing into the box";
  // Back, too.
  QTest::keyClick(box(), Qt::Key_Backtab);
  EXPECT_EQ(QApplication::focusWidget()->objectName(), QStringLiteral("超级列表框1"));
}

// Reached by Tab, each control looks different from the same control without the focus.
TEST_F(WindowEvents, ShowsWhichControlHasTheFocus) {
  const char* order[] = {"导入",     "导出",     "选中百度", "选中GG",
                         "选中搜狗", "选中搜搜", "联系作者", "按钮1"};
  box()->setFocus();
  std::vector<QImage> without;
  for (const char* name : order) without.push_back(control(name)->grab().toImage());
  for (std::size_t i = 0; i < std::size(order); ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_TRUE(control(order[i])->hasFocus()) << order[i];
    EXPECT_NE(control(order[i])->grab().toImage(), without[i]) << order[i];
  }
}

TEST_F(WindowEvents, SpaceOnTheFocusedCreditLinkOpensIt) {
  auto* credit = control<HyperlinkLabel>("联系作者");
  credit->setFocus(Qt::TabFocusReason);
  QTest::keyClick(credit, Qt::Key_Space);
  ASSERT_EQ(desktop_.opened.size(), 1u);
  EXPECT_TRUE(credit->visited());
}

TEST_F(WindowEvents, EnterPressesNoButton) {
  QSignalSpy started(control<QPushButton>("按钮1"), &QPushButton::clicked);
  for (const char* name : {"按钮1", "导入", "导出"}) {
    control(name)->setFocus();
    QTest::keyClick(control(name), Qt::Key_Return);
    QTest::keyClick(control(name), Qt::Key_Enter);
  }
  EXPECT_EQ(started.count(), 0);
  EXPECT_TRUE(nothing_started());
}

TEST_F(WindowEvents, AFirstPressIntoTheUntouchedBoxClearsTheSample) {
  QTest::mouseClick(box()->viewport(), Qt::RightButton, {}, QPoint(20, 20));
  EXPECT_EQ(window_->box_text(), sample_text());  // only the left button clears
  QTest::mouseClick(box()->viewport(), Qt::LeftButton, {}, QPoint(20, 20));
  EXPECT_EQ(window_->box_text(), "");
  QTest::keyClicks(box(), QStringLiteral("a.example|seo"));
  EXPECT_EQ(window_->box_text(), "a.example|seo");
}

TEST_F(WindowEvents, APressIntoAnEditedBoxOnlyMovesTheCaret) {
  const GbkText edited = sample_text() + " ";
  window_->set_box_text(edited);
  box()->moveCursor(QTextCursor::End);
  const QPoint first_line(8, 8);
  QTest::mouseClick(box()->viewport(), Qt::LeftButton, {}, first_line);
  EXPECT_EQ(window_->box_text(), edited);
  // The box handled the press itself: the caret went where the pointer was.
  EXPECT_EQ(box()->textCursor().position(), box()->cursorForPosition(first_line).position());
  EXPECT_LT(box()->textCursor().position(), 3);
}

// Pixels of the box drawn in the focused selection colour.
int selection_pixels(QPlainTextEdit* box) {
  const QColor highlight = box->palette().color(QPalette::Active, QPalette::Highlight);
  const QImage image = box->viewport()->grab().toImage();
  int count = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) count += image.pixelColor(x, y) == highlight;
  }
  return count;
}

TEST_F(WindowEvents, HidesTheBoxSelectionWhileAnotherControlHasTheFocus) {
  box()->setFocus();
  box()->selectAll();
  EXPECT_GT(selection_pixels(box()), 100);
  control("按钮1")->setFocus();
  EXPECT_EQ(selection_pixels(box()), 0);
  EXPECT_TRUE(box()->textCursor().hasSelection());  // hidden, not dropped
}

TEST_F(WindowEvents, TheCreditLinkOpensACopyOfTheShippedPageAndTurnsDarkRed) {
  auto* credit = control<HyperlinkLabel>("联系作者");
  EXPECT_EQ(credit->text_colour(), QColor(0, 0, 255));
  desktop_.open_succeeds = false;
  QTest::mouseClick(credit, Qt::LeftButton);
  EXPECT_EQ(credit->text_colour(), QColor(0, 0, 255));  // not opened, not visited

  QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
  QApplication::sendEvent(credit, &enter);
  EXPECT_EQ(credit->palette().color(QPalette::WindowText), QColor(255, 0, 0));
  desktop_.open_succeeds = true;
  QTest::mouseClick(credit, Qt::LeftButton);
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(credit, &leave);
  EXPECT_EQ(credit->palette().color(QPalette::WindowText), QColor(128, 0, 0));

  // The desktop got a file it can read, holding the page the program ships.
  ASSERT_EQ(desktop_.opened.size(), 2u);
  const QUrl opened = desktop_.opened.back();
  ASSERT_TRUE(opened.isLocalFile());
  EXPECT_EQ(opened.fragment(), QStringLiteral("maker"));
  QFile copy(opened.toLocalFile()), shipped(QStringLiteral(":/quillrank/product.html"));
  ASSERT_TRUE(copy.open(QIODevice::ReadOnly) && shipped.open(QIODevice::ReadOnly));
  EXPECT_EQ(copy.readAll(), shipped.readAll());
  // Inside a folder no other user can enter, so nobody else can plant the file it opens.
  const QFileInfo folder(QFileInfo(opened.toLocalFile()).absolutePath());
  EXPECT_EQ(folder.absolutePath(),
            QFileInfo(QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation))
                .absoluteFilePath());
  EXPECT_EQ(QFileInfo(folder.absolutePath()).permissions() &
                (QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup |
                 QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther),
            QFileDevice::Permissions());
  EXPECT_EQ(QFileInfo(folder.absolutePath()).ownerId(), ::getuid());
}

}  // namespace
}  // namespace quillrank::testing
