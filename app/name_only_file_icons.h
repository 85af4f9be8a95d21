// File icons and type names judged by name alone. Qt's default provider guesses a file's type
// from its content where the name does not tell, and so opens whatever a dialog or a list
// shows: a named pipe waits for a writer, /proc/kmsg for the next kernel message, and the
// window waits with them. Every file-system model of the program uses this provider instead.
#pragma once

#include <QFileIconProvider>

class QApplication;
class QFileSystemModel;

namespace glim {

class NameOnlyFileIcons final : public QFileIconProvider {
 public:
  using QFileIconProvider::icon;
  QIcon icon(const QFileInfo& info) const override;
  QString type(const QFileInfo& info) const override;
};

// The program's one provider; it lives as long as the program.
NameOnlyFileIcons& nameOnlyFileIcons();

// Gives `model` the provider, unless it has it already.
void judgeFilesByName(QFileSystemModel& model);

// Also gives the provider to the file models inside Qt's own dialogs (the print dialog's file
// field and its browse dialog) as they are about to be shown.
void judgeFilesByNameInEveryDialog(QApplication& application);

}  // namespace glim
