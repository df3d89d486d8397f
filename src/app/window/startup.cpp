#include "app/window/startup.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>
#include <QTranslator>
#include <QWidget>

namespace quillrank {

QString program_folder() { return QCoreApplication::applicationDirPath(); }

bool enter_program_folder() { return QDir::setCurrent(program_folder()); }

void prepare_qt_application() {
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  if (qEnvironmentVariableIsEmpty("QTWEBENGINE_CHROMIUM_FLAGS")) {
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", kLightWebEngineFlags);
  }
}

void keep_no_settings() {
  // Created owner-only by mkdtemp; removed with its content when the program exits.
  static QTemporaryDir folder;
  if (!folder.isValid()) return;
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder.path());
  QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder.path());
}

QTranslator* install_qt_translations(const QLocale& locale) {
  auto* translator = new QTranslator(QCoreApplication::instance());
  if (!translator->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath)) ||
      !QCoreApplication::installTranslator(translator)) {
    delete translator;
    return nullptr;
  }
  return translator;
}

void centre_on_screen(QWidget& window) {
  QRect frame = window.frameGeometry();
  frame.moveCenter(window.screen()->availableGeometry().center());
  window.move(frame.topLeft());  // a top-level window's position is its frame's
}

}  // namespace quillrank
