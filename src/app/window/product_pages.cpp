#include "app/window/product_pages.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include "app/window/desktop.h"

// Outside the namespace: Q_INIT_RESOURCE names a function at global scope.
static void init_quillrank_resources() { Q_INIT_RESOURCE(quillrank); }

namespace quillrank {

void load_window_resources() {
  static const bool loaded = (init_quillrank_resources(), true);
  (void)loaded;
}

bool open_with_desktop(Desktop& desktop, const QUrl& address) {
  if (address.scheme() != QLatin1String("qrc")) return desktop.open_url(address);

  QFile page(QLatin1Char(':') + address.path());
  if (!page.open(QIODevice::ReadOnly)) return false;
  // The user's runtime folder belongs to the user alone (Qt checks its owner and mode 0700), so
  // no other user can plant a file where the copy goes, as one could in a shared /tmp.
  const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
  if (runtime.isEmpty()) return false;
  const QString folder = QDir(runtime).filePath(QStringLiteral("quillrank"));
  if (!QDir().mkpath(folder)) return false;
  QSaveFile copy(QDir(folder).filePath(QFileInfo(address.path()).fileName()));
  if (!copy.open(QIODevice::WriteOnly) || copy.write(page.readAll()) < 0 || !copy.commit()) {
    return false;
  }
  QUrl local = QUrl::fromLocalFile(copy.fileName());
  local.setFragment(address.fragment());
  return desktop.open_url(local);
}

}  // namespace quillrank
