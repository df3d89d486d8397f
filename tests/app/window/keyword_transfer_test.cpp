// Export and import of the keyword list through the one file dialog: its settings, the file's
// bytes, the decoding of imported files, and what a failure leaves behind.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QTemporaryDir>

#include "app/window/startup.h"
#include "keywords/keyword_list.h"
#include "text/text_codec.h"
#include "window_test_support.h"

namespace quillrank::testing {
namespace {

class KeywordTransfer : public ::testing::Test {
 protected:
  QString path(const char* name) const { return folder_.filePath(QString::fromUtf8(name)); }
  static QByteArray read(const QString& file_path) {
    QFile file(file_path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
  }
  static void write(const QString& file_path, const QByteArray& bytes) {
    QFile file(file_path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
  }
  void export_to(const QString& file_path) {
    desktop_.answers.push_back(file_path);
    window_->export_keyword_list();
  }
  void import_from(const QString& file_path) {
    desktop_.answers.push_back(file_path);
    window_->import_keyword_list();
  }

  QTemporaryDir folder_;
  ScriptedDesktop desktop_;
  std::unique_ptr<MainWindow> window_ = make_window(desktop_);
};

const GbkText kList = utf8_to_gbk_text("站点一.example|关键词…\r\nb.example|seo 工具\r\n");

TEST_F(KeywordTransfer, ExportWritesTheBoxAsGbkAndImportGivesItBackExactly) {
  for (const GbkText& text : {kList, sample_text(), GbkText(), GbkText("\r\n\r\nx|y")}) {
    window_->set_box_text(text);
    const QString shown = window_->controls().box->toPlainText();
    export_to(path("round.txt"));
    // CR LF between lines, no byte order mark, nothing added at the end.
    EXPECT_EQ(read(path("round.txt")), QByteArray::fromStdString(text));
    window_->set_box_text("something else");
    import_from(path("round.txt"));
    EXPECT_EQ(window_->controls().box->toPlainText(), shown);
  }
  // Written beside the target and renamed into place: no temporary file is left over.
  EXPECT_EQ(QDir(folder_.path()).entryList(QDir::Files), QStringList{QStringLiteral("round.txt")});
  EXPECT_TRUE(desktop_.warnings.empty());
}

TEST_F(KeywordTransfer, SetsUpTheOneDialogForEachUse) {
  export_to(path("a.txt"));
  import_from(path("a.txt"));
  ASSERT_EQ(desktop_.dialogs.size(), 2u);
  for (const SeenDialog& seen : desktop_.dialogs) {
    EXPECT_EQ(seen.object_name, QStringLiteral("通用对话框1"));
    EXPECT_EQ(seen.name_filters, QStringList{QStringLiteral("文本文件（*.txt） (*.txt)")});
    EXPECT_EQ(seen.default_suffix, QStringLiteral("txt"));
  }
  const SeenDialog& save = desktop_.dialogs[0];
  EXPECT_EQ(save.mode, QFileDialog::AcceptSave);
  EXPECT_EQ(save.title, QStringLiteral("请选择保存位置！"));
  EXPECT_TRUE(save.confirms_overwrite);
  EXPECT_EQ(save.directory, QDir(program_folder()).absolutePath());
  EXPECT_EQ(save.offered, QDir(program_folder()).filePath(QStringLiteral("data.txt")));
  const SeenDialog& open = desktop_.dialogs[1];
  EXPECT_EQ(open.mode, QFileDialog::AcceptOpen);
  EXPECT_EQ(open.file_mode, QFileDialog::ExistingFile);
  EXPECT_EQ(open.title, QStringLiteral("请选择数据文件！"));
  // The next dialog of either kind offers the last confirmed choice, in its folder.
  EXPECT_EQ(open.offered, path("a.txt"));
  EXPECT_EQ(open.directory, QDir(folder_.path()).absolutePath());
}

TEST_F(KeywordTransfer, ACancelledDialogChangesNothing) {
  window_->set_box_text(kList);
  window_->export_keyword_list();  // no answer queued: cancelled
  window_->import_keyword_list();
  EXPECT_EQ(desktop_.dialogs.size(), 2u);
  EXPECT_EQ(window_->box_text(), kList);
  EXPECT_EQ(window_->file_dialog().file_name(), QStringLiteral("data.txt"));
  EXPECT_TRUE(desktop_.warnings.empty());
}

TEST_F(KeywordTransfer, AFailedExportWarnsWithTheFileName) {
  write(path("plain"), "a file, not a folder");
  const QString target = path("plain") + QStringLiteral("/list.txt");
  window_->set_box_text(kList);
  export_to(target);
  ASSERT_EQ(desktop_.warnings.size(), 1u);
  EXPECT_TRUE(desktop_.warnings[0].text.contains(target));
  EXPECT_EQ(window_->box_text(), kList);
}

TEST_F(KeywordTransfer, AnImportThatCannotReadKeepsTheBoxAndWarns) {
  // A folder cannot be read as a file, even by root.
  ASSERT_TRUE(QDir(folder_.path()).mkdir(QStringLiteral("folder.txt")));
  for (const QString& unreadable : {path("folder.txt"), path("gone.txt")}) {
    window_->set_box_text(kList);
    desktop_.warnings.clear();
    import_from(unreadable);
    EXPECT_EQ(window_->box_text(), kList);
    ASSERT_EQ(desktop_.warnings.size(), 1u);
    EXPECT_TRUE(desktop_.warnings[0].text.contains(unreadable));
  }
}

TEST_F(KeywordTransfer, DecodesUtf8FilesAndStopsAtAZeroByte) {
  write(path("bom.txt"),
        "\xEF\xBB\xBF"
        "a.example|\xE7\x99\xBE\xE5\xBA\xA6\r\nb|c");
  import_from(path("bom.txt"));
  EXPECT_EQ(window_->box_text(), "a.example|\xB0\xD9\xB6\xC8\r\nb|c");  // 百度 in GBK
  write(path("zero.txt"), QByteArray("a|\xB0\xD9\0c|d", 7));
  import_from(path("zero.txt"));
  EXPECT_EQ(window_->box_text(), "a|\xB0\xD9");
}

}  // namespace
}  // namespace quillrank::testing
