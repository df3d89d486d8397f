// Process set-up around the window: no settings file of Qt's own among the user's settings, Qt's
// own texts in the user's language, and the whole window frame centred on the screen.
#include "app/window/startup.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>
#include <QTranslator>

#include "window_test_support.h"

namespace quillrank::testing {
namespace {

// The test program calls keep_no_settings() at start, as the window's program does.
TEST(KeepNoSettings, SendsTheFileDialogsHistoryToAPrivateFolderThatGoesAtExit) {
  delete new QFileDialog();  // a dialog writes its history when it goes
  const QFileInfo file(QSettings(QSettings::UserScope, QStringLiteral("QtProject")).fileName());
  const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
  EXPECT_FALSE(file.absoluteFilePath().startsWith(config + QLatin1Char('/')))
      << file.absoluteFilePath().toStdString();
  EXPECT_TRUE(file.absoluteFilePath().startsWith(QDir::tempPath()));
  const QFileInfo folder(file.absolutePath());
  EXPECT_EQ(folder.permissions() & (QFileDevice::ReadOther | QFileDevice::ReadGroup),
            QFileDevice::Permissions());
}

TEST(InstallQtTranslations, GivesQtsOwnButtonsAndDialogsChineseTexts) {
  QTranslator* translator = install_qt_translations(QLocale(QLocale::Chinese, QLocale::China));
  ASSERT_NE(translator, nullptr) << "qt6-translations-l10n is missing";
  QDialogButtonBox buttons(QDialogButtonBox::Yes | QDialogButtonBox::No | QDialogButtonBox::Cancel);
  EXPECT_EQ(buttons.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("取消"));
  EXPECT_EQ(buttons.button(QDialogButtonBox::Yes)->text(), QStringLiteral("是(&Y)"));
  EXPECT_EQ(QCoreApplication::translate("QFileDialog", "File &name:"),
            QStringLiteral("文件名称(&N)："));
  QCoreApplication::removeTranslator(translator);
  delete translator;
  EXPECT_EQ(QCoreApplication::translate("QFileDialog", "File &name:"),
            QStringLiteral("File &name:"));
}

TEST(CentreOnScreen, CentresTheWholeFrame) {
  ScriptedDesktop desktop;
  std::unique_ptr<MainWindow> window = make_window(desktop);
  window->show();
  centre_on_screen(*window);
  const QPoint centre = window->screen()->availableGeometry().center();
  EXPECT_LE((window->frameGeometry().center() - centre).manhattanLength(), 1);
}

}  // namespace
}  // namespace quillrank::testing
