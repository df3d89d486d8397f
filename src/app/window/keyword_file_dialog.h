// KeywordFileDialog: the one file dialog (`通用对话框1`) that export and import share, with its
// settings and the file name it offers next. Window thread only.
#pragma once

#include <QFileDialog>
#include <QString>
#include <optional>

#include "app/window/desktop.h"

namespace quillrank {

// The file name offered is "data.txt" at start and then the full path of the last confirmed
// choice of either kind; a cancelled dialog leaves it as it was. The dialog opens in the folder
// of the last file chosen in any of the window's dialogs, at first the user's documents.
class KeywordFileDialog {
 public:
  // The dialog becomes a child of `window`; `desktop` shows it and returns the answer.
  KeywordFileDialog(QWidget& window, Desktop& desktop);

  // Save mode, for the export: the chosen path, or nullopt when cancelled. An existing file is
  // only chosen after the dialog's overwrite question was answered yes.
  std::optional<QString> choose_export_path();
  // Open mode, for the import: an existing file's path, or nullopt when cancelled.
  std::optional<QString> choose_import_path();

  // The name the next dialog offers.
  const QString& file_name() const { return file_name_; }
  // The folder the next dialog opens in; set_folder() takes an existing folder only, and
  // remember() the folder of a file chosen in another dialog.
  const QString& folder() const { return folder_; }
  void set_folder(const QString& folder);
  void remember(const QString& chosen_file);
  QFileDialog& dialog() { return *dialog_; }

 private:
  std::optional<QString> choose(QFileDialog::AcceptMode mode, const QString& title);

  QFileDialog* dialog_;  // owned by the window
  Desktop& desktop_;
  QString file_name_;
  QString folder_;
};

// The user's documents folder, else the home folder.
QString documents_folder();

}  // namespace quillrank
