#include "form_storage.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QStringList>
#include <QWidget>
#include <cmath>
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
      // What could be read was taken; the rest keeps the current values, and the next save
      // writes the file whole again.
      if (QLatin1String(what) == QLatin1String("read")) {
        report_(QStringLiteral("The settings file %1 is damaged. Values that could not be read "
                               "keep their defaults.")
                    .arg(file));
      }
      return;
    case QSettings::AccessError:
      report_(QStringLiteral("The settings could not be %1: %2").arg(QLatin1String(what), file));
      return;
  }
}

void FormStorage::load() {
  saved_ = false;
  reportIfFailed("read");
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
