#include "app/window/desktop.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

namespace quillrank {

std::optional<QString> QtDesktop::choose_file(QFileDialog& dialog) {
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty()) return std::nullopt;
  return chosen.front();
}

void QtDesktop::warn(QWidget* parent, const QString& title, const QString& text) {
  QMessageBox::warning(parent, title, text);
}

bool QtDesktop::ask(QWidget* parent, const QString& title, const QString& text) {
  return QMessageBox::question(parent, title, text, QMessageBox::Yes | QMessageBox::No,
                               QMessageBox::No) == QMessageBox::Yes;
}

std::optional<QString> QtDesktop::ask_text(QWidget* parent, const QString& title,
                                           const QString& label, const QString& text) {
  bool accepted = false;
  const QString answer =
      QInputDialog::getText(parent, title, label, QLineEdit::Normal, text, &accepted);
  if (!accepted) return std::nullopt;
  return answer;
}

bool QtDesktop::open_url(const QUrl& address) { return QDesktopServices::openUrl(address); }

}  // namespace quillrank
