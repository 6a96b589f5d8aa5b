#pragma once
// The file dialogs and the unsaved-edits question behind a small interface: the window asks a
// FileChooser, the program uses Qt's own dialogs (the same on every platform), tests script the
// user's choice.

#include <QFileDialog>

#include "app/source_files.h"

namespace orvo::ide {

enum class UnsavedAnswer { Save, Discard, Cancel };

class FileChooser {
 public:
  virtual ~FileChooser() = default;
  // Shows the dialog for request and returns what the user did.
  virtual DialogReply Choose(QWidget* owner, const DialogRequest& request) = 0;
  // Asks what to do with unsaved edits of the named source before they would be lost.
  virtual UnsavedAnswer Ask_Unsaved(QWidget* owner, const QString& name) = 0;
};

// Configures a QFileDialog for a request: title, filters, start folder, open or save,
// must-exist, overwrite confirmation, and a default suffix that follows the selected filter so
// that the existence and overwrite checks see the completed name.
void Configure_FileDialog(QFileDialog& dialog, const DialogRequest& request);

class QtFileChooser : public FileChooser {
 public:
  DialogReply Choose(QWidget* owner, const DialogRequest& request) override;
  UnsavedAnswer Ask_Unsaved(QWidget* owner, const QString& name) override;
};

}  // namespace orvo::ide
