#include "app/window/keyword_file_dialog.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace quillrank {

KeywordFileDialog::KeywordFileDialog(QWidget& window, Desktop& desktop)
    : dialog_(new QFileDialog(&window)),
      desktop_(desktop),
      file_name_(QStringLiteral("data.txt")),
      folder_(documents_folder()) {
  dialog_->setObjectName(QStringLiteral("通用对话框1"));
  // The pattern in ASCII parentheses is what Qt filters by; the caption in full-width ones is
  // what the person reads, so the pattern part stays hidden.
  dialog_->setNameFilter(QStringLiteral("文本文件（*.txt） (*.txt)"));
  dialog_->setOption(QFileDialog::HideNameFilterDetails);
  dialog_->setDefaultSuffix(QStringLiteral("txt"));
}

std::optional<QString> KeywordFileDialog::choose_export_path() {
  return choose(QFileDialog::AcceptSave, QStringLiteral("请选择保存位置！"));
}

std::optional<QString> KeywordFileDialog::choose_import_path() {
  return choose(QFileDialog::AcceptOpen, QStringLiteral("请选择数据文件！"));
}

std::optional<QString> KeywordFileDialog::choose(QFileDialog::AcceptMode mode,
                                                 const QString& title) {
  dialog_->setAcceptMode(mode);
  dialog_->setFileMode(mode == QFileDialog::AcceptSave ? QFileDialog::AnyFile
                                                       : QFileDialog::ExistingFile);
  dialog_->setWindowTitle(title);
  dialog_->setDirectory(folder_);
  // The name without its folder: offered in the folder the dialog opens in.
  dialog_->selectFile(QFileInfo(file_name_).fileName());
  std::optional<QString> chosen = desktop_.choose_file(*dialog_);
  if (chosen) {
    file_name_ = *chosen;
    remember(*chosen);
  }
  return chosen;
}

void KeywordFileDialog::set_folder(const QString& folder) {
  if (!folder.isEmpty() && QFileInfo(folder).isDir())
    folder_ = QFileInfo(folder).absoluteFilePath();
}

void KeywordFileDialog::remember(const QString& chosen_file) {
  set_folder(QFileInfo(chosen_file).absolutePath());
}

QString documents_folder() {
  const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  return !documents.isEmpty() && QFileInfo(documents).isDir() ? documents : QDir::homePath();
}

}  // namespace quillrank
