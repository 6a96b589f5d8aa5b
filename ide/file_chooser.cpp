#include "ide/file_chooser.h"

#include <QFile>
#include <QMessageBox>
#include <QStringList>

namespace orvo::ide {
namespace {

QString Qs(std::string_view s) { return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size())); }

int Filter_Index(const QFileDialog& dialog, const DialogRequest& request) {
  const QString selected = dialog.selectedNameFilter();
  for (std::size_t i = 0; i < request.filters.size(); ++i)
    if (Qs(request.filters[i].name) == selected) return static_cast<int>(i) + 1;
  return 1;
}

void Follow_Filter(QFileDialog& dialog, const DialogRequest& request) {
  // The suffix goes without its dot; an empty one adds nothing.
  const std::string_view ext = Completion_Extension(request.mode, Filter_Index(dialog, request));
  dialog.setDefaultSuffix(ext.empty() ? QString() : Qs(ext.substr(1)));
}

}  // namespace

void Configure_FileDialog(QFileDialog& dialog, const DialogRequest& request) {
  dialog.setObjectName("FileDialog");
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  dialog.setWindowTitle(Qs(request.title));
  QStringList filters;
  for (const FileFilter& f : request.filters) filters << Qs(f.name);
  dialog.setNameFilters(filters);
  dialog.selectNameFilter(filters.value(request.filter_index - 1));
  dialog.setDirectory(QString::fromStdString(request.start_folder));
  dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(request.must_exist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
  dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.confirm_overwrite);
  Follow_Filter(dialog, request);
  QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                   [&dialog, request](const QString&) { Follow_Filter(dialog, request); });
}

DialogReply QtFileChooser::Choose(QWidget* owner, const DialogRequest& request) {
  QFileDialog dialog(owner);
  Configure_FileDialog(dialog, request);
  DialogReply reply;
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return reply;
  reply.confirmed = true;
  reply.file = QFile::encodeName(dialog.selectedFiles().constFirst()).toStdString();
  reply.filter_index = Filter_Index(dialog, request);
  return reply;
}

UnsavedAnswer QtFileChooser::Ask_Unsaved(QWidget* owner, const QString& name) {
  QMessageBox box(QMessageBox::Warning, QStringLiteral("Unsaved edits"),
                  QStringLiteral("%1 has edits that are not saved.\nSave them first?").arg(name),
                  QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, owner);
  box.setObjectName("UnsavedQuestion");
  box.setDefaultButton(QMessageBox::Save);
  box.setEscapeButton(QMessageBox::Cancel);
  switch (box.exec()) {
    case QMessageBox::Save:
      return UnsavedAnswer::Save;
    case QMessageBox::Discard:
      return UnsavedAnswer::Discard;
    default:
      return UnsavedAnswer::Cancel;
  }
}

}  // namespace orvo::ide
