// FormStorage: keeps a dialog's chosen values and its window placement between runs, in one
// section of the per-user settings named after the dialog's class. Values are stored as text
// under "<control>_<property>"; the placement under fixed names, the positions also under
// names that carry the screen size, so that a changed screen falls back to the plain names.
#pragma once

#include <QSize>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

class QSettings;
class QWidget;

namespace glim {

// The per-user settings of the program, named after its executable file as it was started
// (without extension): ~/.config/<name>/<name>.conf here.
std::unique_ptr<QSettings> openProgramSettings();

// The largest settings file that is read: the settings reader takes a file whole, and a file of
// hundreds of megabytes held the window for a minute.
inline constexpr qint64 kSettingsFileLimit = qint64{1} << 20;

// Why the settings file at `path` cannot be read, judged without opening it (a named pipe in
// its place would block the reader): "it is a folder", "it is no ordinary file", "it is larger
// than 1 MiB" or the system's reason. Empty when it can be read or does not exist yet.
QString settingsFileProblem(const QString& path);

// "NormPos" with a 1024 x 768 screen gives "NormPos(1024x768)".
QString screenSizedName(const QString& name, QSize screen);

// A stored value as a whole number: surrounding blanks ignored, text that is no number gives 0.
int storedNumber(const QString& text);

class FormStorage {
 public:
  // One stored property: its value name, how to read it as text and how to set it from text.
  struct Property {
    QString name;
    std::function<QString()> get;
    std::function<void(const QString&)> set;
  };
  // Shows a failure of the settings storage to the user.
  using FailureReport = std::function<void(const QString& text)>;

  // The layout version of the stored values; stored versions not below it are accepted.
  static constexpr int kFormVersion = 0;

  FormStorage(QWidget& form, QSettings& settings, QString section, FailureReport report);

  // Properties are loaded and saved in the order they were added.
  void addProperty(Property property);

  // When the form is being shown: window state, then every property in order.
  void load();
  // When the form is allowed to close; again when it is destroyed unless it saved before.
  // Only a store that was loaded during this showing saves.
  void save() { saveAs(false); }
  void saveOnDestruction() { saveAs(true); }

  bool loaded() const { return loaded_; }
  bool saved() const { return saved_; }

 private:
  void saveAs(bool destroying);
  QSize screenSize() const;
  void reportIfFailed(const char* what);
  void rewriteWithoutDamage();

  QWidget& form_;
  QSettings& settings_;
  QString section_;
  FailureReport report_;
  std::vector<Property> properties_;
  bool loaded_ = false;
  bool damaged_ = false;  // the file held what the reader could not parse
  bool saved_ = false;
};

}  // namespace glim
