#include "form_storage.h"

#include <sys/stat.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QStringList>
#include <QWidget>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <utility>

namespace glim {
namespace {

// Window show states as stored: normal, minimised, maximised.
constexpr int kShowNormal = 1;
constexpr int kShowMinimized = 2;
constexpr int kShowMaximized = 3;

QString rectText(int a, int b, int c, int d) {
  return QStringLiteral("%1,%2,%3,%4").arg(a).arg(b).arg(c).arg(d);
}

// A value as text. An unquoted value holding commas comes back as a list: join it again.
QString textValue(const QSettings& settings, const QString& name, const QString& fallback) {
  const QVariant value = settings.value(name, fallback);
  if (value.typeId() == QMetaType::QStringList) return value.toStringList().join(QLatin1Char(','));
  return value.toString();
}

}  // namespace

std::unique_ptr<QSettings> openProgramSettings() {
  QString name = QFileInfo(QCoreApplication::arguments().value(0)).completeBaseName();
  if (name.isEmpty()) name = QStringLiteral("glimmervellium");
  return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, name, name);
}

QString settingsFileProblem(const QString& path) {
  const QByteArray name = QFile::encodeName(path);
  struct stat status {};
  if (::stat(name.constData(), &status) != 0) {
    return errno == ENOENT ? QString() : QString::fromLocal8Bit(std::strerror(errno));
  }
  if (S_ISDIR(status.st_mode)) return QStringLiteral("it is a folder");
  if (!S_ISREG(status.st_mode)) return QStringLiteral("it is no ordinary file");
  if (status.st_size > kSettingsFileLimit) return QStringLiteral("it is larger than 1 MiB");
  if (::access(name.constData(), R_OK) != 0) return QString::fromLocal8Bit(std::strerror(errno));
  return {};
}

QString screenSizedName(const QString& name, QSize screen) {
  return QStringLiteral("%1(%2x%3)").arg(name).arg(screen.width()).arg(screen.height());
}

int storedNumber(const QString& text) {
  bool ok = false;
  const int number = text.trimmed().toInt(&ok, 10);
  return ok ? number : 0;
}

FormStorage::FormStorage(QWidget& form, QSettings& settings, QString section, FailureReport report)
    : form_(form), settings_(settings), section_(std::move(section)), report_(std::move(report)) {}

void FormStorage::addProperty(Property property) {
  properties_.push_back(std::move(property));
}

void FormStorage::rewriteWithoutDamage() {
  // Other sections are kept whole; loose values (where unreadable lines end up) are not.
  std::vector<std::pair<QString, QVariant>> kept;
  for (const QString& group : settings_.childGroups()) {
    if (group == section_) continue;
    settings_.beginGroup(group);
    for (const QString& key : settings_.allKeys())
      kept.emplace_back(group + QLatin1Char('/') + key, settings_.value(key));
    settings_.endGroup();
  }
  settings_.clear();
  for (const auto& [key, value] : kept) settings_.setValue(key, value);
  damaged_ = false;
}

QSize FormStorage::screenSize() const {
  const QScreen* screen = form_.screen();
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  return screen != nullptr ? screen->geometry().size() : QSize();
}

void FormStorage::reportIfFailed(const char* what) {
  if (!report_) return;
  const QString file = settings_.fileName();
  switch (settings_.status()) {
    case QSettings::NoError:
      return;
    case QSettings::FormatError:
      return;  // told by load, once, from what it found
    case QSettings::AccessError:
      report_(QStringLiteral("The settings could not be %1: %2").arg(QLatin1String(what), file));
      return;
  }
}

// Lines the settings reader cannot take: control bytes, which no value written here holds.
static bool holdsControlBytes(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return false;
  const QByteArray bytes = file.read(1 << 20);
  return std::any_of(bytes.begin(), bytes.end(), [](char c) {
    const auto b = static_cast<unsigned char>(c);
    return (b < 0x20 && b != '\t' && b != '\r' && b != '\n') || b == 0x7F;
  });
}

void FormStorage::load() {
  saved_ = false;
  // Neither read nor written anew: its content may be the user's. A folder in its place cannot
  // be replaced and is told when the settings are saved.
  const QString problem = settingsFileProblem(settings_.fileName());
  if (!problem.isEmpty() && !QFileInfo(settings_.fileName()).isDir()) {
    if (report_) {
      report_(QStringLiteral("The settings could not be read: %1 (%2). The print settings are "
                             "not kept.")
                  .arg(settings_.fileName(), problem));
    }
    return;
  }
  settings_.beginGroup(section_);
  // Every stored layout version so far is accepted.
  const int version = storedNumber(textValue(settings_, QStringLiteral("FormVersion"), "0"));
  static_cast<void>(version >= kFormVersion);
  switch (storedNumber(textValue(settings_, QStringLiteral("ShowCmd"), "0"))) {
    case kShowMaximized:
      form_.setWindowState(form_.windowState() | Qt::WindowMaximized);
      break;
    default:
      // Minimised states open normal too: a modal dialog opened minimised would leave the
      // program waiting for a window nobody can see.
      form_.setWindowState(form_.windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized));
      break;
  }
  for (const Property& property : properties_) {
    property.set(textValue(settings_, property.name, property.get()).trimmed());
  }
  settings_.endGroup();
  loaded_ = true;
  // A value the reading rules read (a width of "abc" reads as 1) is no damage; what the reader
  // could not parse is, and is told once. The next save writes the file anew.
  damaged_ = settings_.status() == QSettings::FormatError || holdsControlBytes(settings_.fileName());
  if (damaged_ && report_) {
    report_(QStringLiteral("The settings file %1 is damaged. The print settings that could be "
                           "read are shown; the file is written anew when the dialog closes.")
                .arg(settings_.fileName()));
  }
  reportIfFailed("read");
}

void FormStorage::saveAs(bool destroying) {
  if (!loaded_ || saved_) return;
  const QSize screen = screenSize();
  const Qt::WindowStates state = form_.windowState();
  const int showCmd = (state & Qt::WindowMinimized)   ? kShowMinimized
                      : (state & Qt::WindowMaximized) ? kShowMaximized
                                                      : kShowNormal;
  const QScreen* display = form_.screen();
  const int dpi =
      display != nullptr ? static_cast<int>(std::lround(display->logicalDotsPerInch())) : 96;
  const QRect frame = form_.frameGeometry();
  const QString minMax = rectText(-1, -1, -1, -1);
  const QString normal = rectText(frame.left(), frame.top(), frame.left() + frame.width(),
                                  frame.top() + frame.height());

  if (damaged_) rewriteWithoutDamage();
  settings_.beginGroup(section_);
  settings_.setValue(QStringLiteral("FormVersion"), QString::number(kFormVersion));
  settings_.setValue(QStringLiteral("Flags"), QStringLiteral("0"));
  settings_.setValue(QStringLiteral("ShowCmd"), QString::number(showCmd));
  settings_.setValue(QStringLiteral("PixelsPerInch"), QString::number(dpi));
  settings_.setValue(QStringLiteral("MinMaxPos"), minMax);
  settings_.setValue(screenSizedName(QStringLiteral("MinMaxPos"), screen), minMax);
  settings_.setValue(QStringLiteral("NormPos"), normal);
  settings_.setValue(screenSizedName(QStringLiteral("NormPos"), screen), normal);
  settings_.setValue(QStringLiteral("Visible"),
                     destroying ? QStringLiteral("1") : QStringLiteral("0"));
  for (const Property& property : properties_) {
    settings_.setValue(property.name, property.get().trimmed());
  }
  settings_.endGroup();
  settings_.sync();
  saved_ = true;
  reportIfFailed("saved");
}

}  // namespace glim
