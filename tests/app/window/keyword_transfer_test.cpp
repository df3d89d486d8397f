// Export and import of the keyword list through their buttons and the one file dialog: its
// settings, the file's bytes, the decoding of imported files, and what a failure leaves behind.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>

#include "app/window/keyword_file_io.h"
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
    QTest::mouseClick(window_->controls().export_button, Qt::LeftButton);
  }
  void import_from(const QString& file_path) {
    desktop_.answers.push_back(file_path);
    QTest::mouseClick(window_->controls().import_button, Qt::LeftButton);
  }

  QTemporaryDir folder_;
  ScriptedDesktop desktop_;
  std::unique_ptr<MainWindow> window_ = make_window(desktop_);
};

const GbkText kList = utf8_to_gbk_text("站点一.example|关键词…\r\nb.example|seo 工具\r\n");
// Its GBK bytes, D0 A1 CB B5, are also well-formed UTF-8.
const GbkText kValidUtf8ByChance = utf8_to_gbk_text("www.qidian.com|小说");

TEST_F(KeywordTransfer, ExportWritesTheBoxAsGbkAndImportGivesItBackExactly) {
  for (const GbkText& text :
       {kList, kValidUtf8ByChance, sample_text(), GbkText(), GbkText("\r\n\r\nx|y")}) {
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
  // The first dialog opens in the user's documents, never the program's folder.
  EXPECT_EQ(save.directory, QDir(documents_folder()).absolutePath());
  EXPECT_NE(save.directory, QDir(program_folder()).absolutePath());
  EXPECT_EQ(save.offered, QDir(documents_folder()).filePath(QStringLiteral("data.txt")));
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

TEST_F(KeywordTransfer, AFailedExportWarnsInChineseWithTheFileName) {
  write(path("plain"), "a file, not a folder");
  ASSERT_TRUE(QDir(folder_.path()).mkdir(QStringLiteral("folder.txt")));
  const std::pair<QString, QString> cases[] = {
      {path("plain") + QStringLiteral("/list.txt"), QStringLiteral("文件夹不存在")},
      {path("missing") + QStringLiteral("/list.txt"), QStringLiteral("文件夹不存在")},
      {path("folder.txt"), QStringLiteral("这是一个文件夹，不是文件")},
  };
  for (const auto& [target, cause] : cases) {
    window_->set_box_text(kList);
    desktop_.warnings.clear();
    export_to(target);
    ASSERT_EQ(desktop_.warnings.size(), 1u);
    EXPECT_TRUE(desktop_.warnings[0].text.contains(QDir::toNativeSeparators(target)));
    EXPECT_TRUE(desktop_.warnings[0].text.contains(cause))
        << desktop_.warnings[0].text.toStdString();
    EXPECT_EQ(window_->box_text(), kList);
  }
}

TEST_F(KeywordTransfer, AnImportThatCannotReadKeepsTheBoxAndWarnsInChinese) {
  // A folder cannot be read as a file, even by root.
  ASSERT_TRUE(QDir(folder_.path()).mkdir(QStringLiteral("folder.txt")));
  // One byte more than a keyword list may hold; sparse, so it costs no disk.
  QFile large(path("large.txt"));
  ASSERT_TRUE(large.open(QIODevice::WriteOnly) &&
              large.resize(static_cast<qint64>(kMaxKeywordFileBytes) + 1));
  large.close();
  const std::pair<QString, QString> cases[] = {
      {path("folder.txt"), QStringLiteral("这是一个文件夹，不是文件")},
      {path("gone.txt"), QStringLiteral("文件不存在")},
      {path("large.txt"), QStringLiteral("文件大于 64 MiB")},
  };
  for (const auto& [unreadable, cause] : cases) {
    window_->set_box_text(kList);
    desktop_.warnings.clear();
    import_from(unreadable);
    EXPECT_EQ(window_->box_text(), kList);
    ASSERT_EQ(desktop_.warnings.size(), 1u);
    EXPECT_TRUE(desktop_.warnings[0].text.contains(unreadable));
    EXPECT_TRUE(desktop_.warnings[0].text.contains(cause))
        << desktop_.warnings[0].text.toStdString();
  }
}

TEST(FileErrorText, NamesTheCommonCausesInChineseWithQtsTextAsDetail) {
  QTemporaryDir folder;
  const QString file = folder.filePath(QStringLiteral("list.txt"));
  struct Case {
    int error;
    bool writing;
    QString cause;
  };
  const Case cases[] = {
      {ENOSPC, true, QStringLiteral("磁盘已满")},
      {EACCES, true, QStringLiteral("没有写入权限")},
      {EACCES, false, QStringLiteral("没有读取权限")},
      {EROFS, true, QStringLiteral("没有写入权限")},
      {ENOENT, false, QStringLiteral("文件不存在")},
      {EIO, true, QStringLiteral("写入失败")},
  };
  for (const Case& c : cases) {
    const QString detail = qt_error_string(c.error);
    EXPECT_EQ(file_error_text(file, detail, c.writing),
              QStringLiteral("%1（%2）").arg(c.cause, detail));
  }
}

TEST_F(KeywordTransfer, DecodesUtf8AndUtf16FilesAndTakesLfAndCrAsLineEnds) {
  write(path("bom.txt"),
        "\xEF\xBB\xBF"
        "a.example|\xE7\x99\xBE\xE5\xBA\xA6\r\nb|c");
  import_from(path("bom.txt"));
  EXPECT_EQ(window_->box_text(), "a.example|\xB0\xD9\xB6\xC8\r\nb|c");  // 百度 in GBK
  write(path("lf.txt"), "a.com|k1\nb.com|k2\rc.com|k3");
  import_from(path("lf.txt"));
  EXPECT_EQ(window_->box_text(), "a.com|k1\r\nb.com|k2\r\nc.com|k3");
  EXPECT_EQ(window_->controls().box->blockCount(), 3);
  write(path("utf16.txt"), QByteArray("\xFF\xFE"
                                      "a\0|\0\x7E\x76\xA6\x5E",
                                      10));
  import_from(path("utf16.txt"));
  EXPECT_EQ(window_->box_text(), "a|\xB0\xD9\xB6\xC8");
  EXPECT_TRUE(desktop_.warnings.empty());
}

TEST_F(KeywordTransfer, ImportsUpToAZeroByteOrPastUnreadableBytesAndSaysSo) {
  write(path("zero.txt"), QByteArray("a|\xB0\xD9\0c|d", 7));
  import_from(path("zero.txt"));
  EXPECT_EQ(window_->box_text(), "a|\xB0\xD9");
  ASSERT_EQ(desktop_.warnings.size(), 1u);
  EXPECT_TRUE(desktop_.warnings[0].text.contains(QStringLiteral("零字节")));
  write(path("bad.txt"), QByteArray("a|\xFF\xFF"
                                    "b"));
  import_from(path("bad.txt"));
  EXPECT_EQ(window_->box_text(), "a|??b");
  ASSERT_EQ(desktop_.warnings.size(), 2u);
  EXPECT_TRUE(desktop_.warnings[1].text.contains(QStringLiteral("有 2 个字符")))
      << desktop_.warnings[1].text.toStdString();
}

}  // namespace
}  // namespace quillrank::testing
