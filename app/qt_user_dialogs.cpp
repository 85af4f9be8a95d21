#include "qt_user_dialogs.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>

#include "album_text.h"

namespace glim {

QString qtFileFilter(std::string_view pairs) {
  const QStringList parts = albumText(pairs).split(QLatin1Char('|'));
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QString masks = parts[i + 1];
    masks.replace(QLatin1Char(';'), QLatin1Char(' '));
    filters << parts[i] + QStringLiteral(" (") + masks.simplified() + QLatin1Char(')');
  }
  return filters.join(QStringLiteral(";;"));
}

MessageAnswer QtUserDialogs::showMessage(const MessageBox& box) {
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  switch (box.icon) {
    case MessageIcon::None:
      icon = QMessageBox::NoIcon;
      break;
    case MessageIcon::Information:
      icon = QMessageBox::Information;
      break;
    case MessageIcon::Warning:
      icon = QMessageBox::Warning;
      break;
    case MessageIcon::Error:
      icon = QMessageBox::Critical;
      break;
  }
  const bool question = box.buttons == MessageButtons::OkCancel;
  QMessageBox dialog(icon, albumText(box.caption), albumText(box.text),
                     question ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok, owner_);
  dialog.setDefaultButton(QMessageBox::Ok);
  if (question) dialog.setEscapeButton(QMessageBox::Cancel);
  return dialog.exec() == QMessageBox::Ok ? MessageAnswer::Ok : MessageAnswer::Cancel;
}

std::optional<std::string> QtUserDialogs::runFileDialog(const FileDialogRequest& request,
                                                        bool save) {
  QFileDialog dialog(owner_, albumText(request.title), pathText(request.initialFolder),
                     qtFileFilter(request.filter));
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  // The open dialog lets a missing name through: opening it then reports the open error.
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setDefaultSuffix(albumText(request.defaultExtension));
  dialog.setOption(QFileDialog::DontConfirmOverwrite, !(save && request.askOverwrite));
  dialog.setSizeGripEnabled(true);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return pathBytes(dialog.selectedFiles().constFirst());
}

std::optional<std::string> QtUserDialogs::openFileName(const FileDialogRequest& request) {
  return runFileDialog(request, false);
}

std::optional<std::string> QtUserDialogs::saveFileName(const FileDialogRequest& request) {
  return runFileDialog(request, true);
}

std::optional<uint32_t> QtUserDialogs::chooseColor(uint32_t initial) {
  const QColor start(int(initial & 0xFF), int(initial >> 8 & 0xFF), int(initial >> 16 & 0xFF));
  const QColor chosen = QColorDialog::getColor(start, owner_);
  if (!chosen.isValid()) return std::nullopt;
  return uint32_t(chosen.red()) | uint32_t(chosen.green()) << 8 | uint32_t(chosen.blue()) << 16;
}

}  // namespace glim
