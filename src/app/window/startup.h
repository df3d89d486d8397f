// Process set-up around the window: the program's own folder, which is the current folder from
// start-up on and the file dialog's initial folder, and what Qt needs before the application.
#pragma once

#include <QLocale>
#include <QString>

class QTranslator;
class QWidget;

namespace quillrank {

// The folder that holds the running executable. Needs a QCoreApplication.
QString program_folder();

// Makes program_folder() the process's current folder; false when that failed.
bool enter_program_folder();

// Settings Qt reads only before the QApplication exists: the web view shares OpenGL contexts
// with the widgets, and QtWebEngine runs light (kLightWebEngineFlags) unless the user set
// QTWEBENGINE_CHROMIUM_FLAGS.
void prepare_qt_application();

// QtWebEngine starts Chromium as several processes (a zygote, a renderer, a GPU process), each
// with heaps of its own: for the one static page the window shows, most of the program's memory.
// Software drawing and V8 without its optimising compilers keep them smaller. Chromium's single
// process, which would save more, holds one browser profile only, and an engine's verification
// page is shown on the engine's own profile (its cookie store) beside the window's page.
inline constexpr char kLightWebEngineFlags[] = "--disable-gpu --js-flags=--lite-mode";

// Qt's file dialog writes its own history among the user's settings (QtProject.conf); the
// program keeps its own state in a file of its own (window_state.h) and nothing of Qt's, so
// settings of user scope go to a private temporary folder that goes when the program ends. Needs a
// QCoreApplication; call it before the first dialog exists.
void keep_no_settings();

// Installs Qt's own translations for `locale` (Debian's qt6-translations-l10n), so the file
// dialogs, the question and warning buttons and Qt's other texts read in the user's language.
// Returns the installed translator, owned by the application; null when Qt has none for it.
QTranslator* install_qt_translations(const QLocale& locale);

// Moves a shown top-level window so that its whole frame, caption and borders included, is
// centred on the screen's available area.
void centre_on_screen(QWidget& window);

}  // namespace quillrank
