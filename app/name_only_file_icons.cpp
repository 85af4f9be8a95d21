#include "name_only_file_icons.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QMimeDatabase>

namespace glim {

namespace {

// The type a name gives; the generic "application/octet-stream" when it gives none.
QMimeType typeByName(const QFileInfo& info) {
  static const QMimeDatabase database;  // thread-safe; the models ask from their own threads
  return database.mimeTypeForFile(info.fileName(), QMimeDatabase::MatchExtension);
}

class DialogWatcher final : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Polish && watched->isWidgetType() &&
        qobject_cast<QDialog*>(watched)) {
      // A file dialog's own model is among them.
      for (QFileSystemModel* model : watched->findChildren<QFileSystemModel*>()) {
        judgeFilesByName(*model);
      }
    }
    return QObject::eventFilter(watched, event);
  }
};

}  // namespace

QIcon NameOnlyFileIcons::icon(const QFileInfo& info) const {
  if (info.isRoot()) return icon(Drive);
  if (info.isDir()) return icon(Folder);
  if (info.isFile()) {
    const QMimeType mime = typeByName(info);
    if (!mime.isDefault()) {
      QIcon themed = QIcon::fromTheme(mime.iconName());
      if (themed.isNull()) themed = QIcon::fromTheme(mime.genericIconName());
      if (!themed.isNull()) return themed;
    }
  }
  return icon(File);
}

QString NameOnlyFileIcons::type(const QFileInfo& info) const {
  if (info.isRoot()) return QStringLiteral("Drive");
  if (info.isDir()) return QStringLiteral("Folder");
  // Pipes, sockets and devices: nothing to tell without opening them.
  if (!info.isFile()) return QStringLiteral("Special file");
  const QMimeType mime = typeByName(info);
  if (!mime.isDefault() && !mime.comment().isEmpty()) return mime.comment();
  const QString suffix = info.suffix();
  return suffix.isEmpty() ? QStringLiteral("File") : suffix.toUpper() + QStringLiteral(" File");
}

NameOnlyFileIcons& nameOnlyFileIcons() {
  static NameOnlyFileIcons* provider = new NameOnlyFileIcons;  // used until the very end
  return *provider;
}

void judgeFilesByName(QFileSystemModel& model) {
  if (model.iconProvider() != &nameOnlyFileIcons()) model.setIconProvider(&nameOnlyFileIcons());
}

void judgeFilesByNameInEveryDialog(QApplication& application) {
  application.installEventFilter(new DialogWatcher(&application));
}

}  // namespace glim
