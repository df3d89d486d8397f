#include "app/window/keyword_file_dialog.h"

#include "app/window/startup.h"

namespace quillrank {

KeywordFileDialog::KeywordFileDialog(QWidget& window, Desktop& desktop)
    : dialog_(new QFileDialog(&window)), desktop_(desktop), file_name_(QStringLiteral("data.txt")) {
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
  dialog_->setDirectory(program_folder());
  // A relative name is offered in the initial folder; a full path opens its own folder.
  dialog_->selectFile(file_name_);
  std::optional<QString> chosen = desktop_.choose_file(*dialog_);
  if (chosen) file_name_ = *chosen;
  return chosen;
}

}  // namespace quillrank
