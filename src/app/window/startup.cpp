#include "app/window/startup.h"

#include <QCoreApplication>
#include <QDir>

namespace quillrank {

QString program_folder() { return QCoreApplication::applicationDirPath(); }

bool enter_program_folder() { return QDir::setCurrent(program_folder()); }

void prepare_qt_application() { QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts); }

}  // namespace quillrank
