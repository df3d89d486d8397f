// Process set-up around the window: the program's own folder, which is the current folder from
// start-up on and the file dialog's initial folder, and what Qt needs before the application.
#pragma once

#include <QString>

namespace quillrank {

// The folder that holds the running executable. Needs a QCoreApplication.
QString program_folder();

// Makes program_folder() the process's current folder; false when that failed.
bool enter_program_folder();

// Settings Qt reads only before the QApplication exists: the web view shares OpenGL contexts
// with the widgets.
void prepare_qt_application();

}  // namespace quillrank
