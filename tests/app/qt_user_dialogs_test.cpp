// Smoke tests of the real dialogs behind the window's dialog interface: buttons, icon, caption
// and size of a message box; filters, default extension and start folder of the file dialogs,
// and file dialogs that list special files without opening them.
#include "qt_user_dialogs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QColorDialog>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QImage>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeDatabase>
#include <QPrinter>
#include <QPushButton>
#include <QSettings>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <thread>

#include <sys/stat.h>

#include "../ui/qt_test_app.h"
#include "album_text.h"
#include "main_form.h"
#include "name_only_file_icons.h"
#include "print_form.h"
#include "recording_dialogs.h"
#include "gtest/gtest.h"

namespace glim {
namespace {

template <typename Dialog, typename Action>
void whenShown(Action action) {
  QTimer::singleShot(0, [action] {
    auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    action(dialog);
  });
}

TEST(QtUserDialogs, QuestionShowsOkAndCancelAndReportsTheAnswer) {
  testing::qtApp();
  QWidget owner;
  QtUserDialogs dialogs(&owner);
  QString text, caption;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  whenShown<QMessageBox>([&](QMessageBox* box) {
    text = box->text();
    caption = box->windowTitle();
    icon = box->icon();
    EXPECT_NE(box->button(QMessageBox::Ok), nullptr);
    box->button(QMessageBox::Cancel)->click();
  });
  const MessageAnswer answer = dialogs.showMessage(
      {"Gr\xFC\xDF", "Quit program", MessageButtons::OkCancel, MessageIcon::Information});
  EXPECT_EQ(answer, MessageAnswer::Cancel);
  EXPECT_EQ(text, QString::fromUtf8("Grüß"));
  EXPECT_EQ(caption, "Quit program");
  EXPECT_EQ(icon, QMessageBox::Information);

  whenShown<QMessageBox>([&](QMessageBox* box) {
    icon = box->icon();
    EXPECT_EQ(box->button(QMessageBox::Cancel), nullptr);
    box->button(QMessageBox::Ok)->click();
  });
  EXPECT_EQ(dialogs.showMessage(errorBox("Save failed")), MessageAnswer::Ok);
  EXPECT_EQ(icon, QMessageBox::Critical);
}

TEST(QtUserDialogs, SaveDialogAppendsTheDefaultExtensionInTheInitialFolder) {
  testing::qtApp();
  QTemporaryDir folder;
  QWidget owner;
  QtUserDialogs dialogs(&owner);
  QStringList filters;
  QString directory;
  whenShown<QFileDialog>([&](QFileDialog* dialog) {
    filters = dialog->nameFilters();
    directory = dialog->directory().absolutePath();
    dialog->selectFile("holiday");
    static_cast<QDialog*>(dialog)->accept();  // QFileDialog checks the typed name
  });
  const auto chosen = dialogs.saveFileName(
      {"Save as", "Glimmervellium-Dateien|*.lmf", "lmf", pathBytes(folder.path()) + "/", true, {}});
  ASSERT_TRUE(chosen);
  EXPECT_EQ(pathText(*chosen), folder.filePath("holiday.lmf"));
  EXPECT_EQ(filters, QStringList("Glimmervellium-Dateien (*.lmf)"));
  EXPECT_EQ(directory, QDir(folder.path()).absolutePath());

  whenShown<QFileDialog>([](QFileDialog* dialog) { dialog->reject(); });
  EXPECT_FALSE(dialogs.openFileName({"Open", "Glimmervellium-Dateien|*.lmf", "lmf", "", true, {}}));
}

TEST(QtUserDialogs, BoxesCarryTheApplicationTitleAndShowTheirWholeCaption) {
  testing::qtApp();
  QWidget owner;
  owner.setGeometry(120, 100, 300, 200);
  owner.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&owner));
  QtUserDialogs dialogs(&owner);
  const std::string longCaption =
      "Error: The file /home/someone/Pictures/2026/Holidays by the sea/" + std::string(60, 'x') +
      ".jpg could not be loaded!";
  struct Case {
    std::string caption;
    QString title;
  };
  for (const Case& c : {Case{"", "Glimmervellium 1.0"}, Case{"Error", "Error"},
                        Case{longCaption, QString::fromStdString(longCaption)}}) {
    QString title;
    int width = 0, captionWidth = 0, screenWidth = 0;
    QRect placed, available;
    whenShown<QMessageBox>([&](QMessageBox* box) {
      QEvent fontChange(QEvent::StyleChange);  // the box sizes itself again, as once mapped
      QApplication::sendEvent(box, &fontChange);
      title = box->windowTitle();
      placed = box->frameGeometry();
      available = box->screen()->availableGeometry();
      width = box->width();
      captionWidth = box->fontMetrics().horizontalAdvance(title);
      screenWidth = box->screen()->availableGeometry().width();
      box->button(QMessageBox::Ok)->click();
    });
    dialogs.showMessage({"Short text.", c.caption, MessageButtons::Ok, MessageIcon::Error});
    EXPECT_EQ(title, c.title);
    EXPECT_GT(width, std::min(captionWidth, screenWidth - 160)) << c.caption;
    EXPECT_LE(width, screenWidth) << c.caption;
    // Wholly on the screen, frame included; centred on its owner where it fits.
    EXPECT_TRUE(available.contains(placed))
        << placed.x() << "," << placed.y() << " " << placed.width() << "x" << placed.height()
        << " in " << available.width() << "x" << available.height();
    if (placed.width() < owner.frameGeometry().left() * 2 + owner.width()) {
      EXPECT_LE(std::abs(placed.center().x() - owner.frameGeometry().center().x()), 2) << c.caption;
      EXPECT_LE(std::abs(placed.center().y() - owner.frameGeometry().center().y()), 2) << c.caption;
    }
  }
}

TEST(QtUserDialogs, FilterTextsAreShownOnceAndEveryMaskFilters) {
  testing::qtApp();
  QTemporaryDir folder;
  for (const char* name : {"a.htm", "b.html", "c.txt"}) {
    QFile(folder.filePath(name)).open(QIODevice::WriteOnly);
  }
  QWidget owner;
  QtUserDialogs dialogs(&owner);
  struct Case {
    std::string filter;
    QString shown;
    QStringList listed;
  };
  for (const Case& c :
       {Case{"HTML Dateien (*.htm)|*.htm; *.html", "HTML Dateien (*.htm)", {"a.htm", "b.html"}},
        Case{"Glimmervellium-Dateien|*.lmf", "Glimmervellium-Dateien (*.lmf)", {}}}) {
    QString shown;
    QStringList listed;
    whenShown<QFileDialog>([&](QFileDialog* dialog) {
      auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
      if (types) shown = types->currentText();
      auto* model = dialog->findChild<QFileSystemModel*>();
      ASSERT_NE(model, nullptr);
      const QModelIndex root = model->index(folder.path());
      EXPECT_TRUE(QTest::qWaitFor([&] { return model->rowCount(root) == c.listed.size(); }, 5000));
      QTest::qWait(100);  // no further rows come in
      for (int row = 0; row < model->rowCount(root); ++row) {
        listed << model->index(row, 0, root).data().toString();
      }
      dialog->reject();
    });
    dialogs.saveFileName({"", c.filter, "htm", pathBytes(folder.path()), false, {}});
    listed.sort();
    EXPECT_EQ(shown, c.shown);
    EXPECT_EQ(listed, c.listed);
  }
}

// Fails the whole program when the work it watches has not ended in time: a dialog that blocks
// on a special file never returns to the test.
class Watchdog {
 public:
  explicit Watchdog(std::chrono::seconds limit)
      : thread_([this, limit] {
          std::unique_lock lock(mutex_);
          if (!ended_.wait_for(lock, limit, [this] { return done_; })) {
            std::fputs("a file dialog blocked on a special file\n", stderr);
            std::_Exit(1);
          }
        }) {}
  ~Watchdog() {
    {
      std::lock_guard lock(mutex_);
      done_ = true;
    }
    ended_.notify_all();
    thread_.join();
  }

 private:
  std::mutex mutex_;
  std::condition_variable ended_;
  bool done_ = false;
  std::thread thread_;
};

TEST(QtUserDialogs, FileDialogsListSpecialFilesWithoutOpeningThem) {
  testing::qtApp();
  QTemporaryDir folder;
  // A named pipe blocks whoever opens it until a writer comes; /proc/kmsg blocks a reader
  // (root, as CI runs) until the kernel logs something.
  ASSERT_EQ(::mkfifo(QFile::encodeName(folder.filePath("pipe")).constData(), 0600), 0);
  QFile(folder.filePath("picture.jpg")).open(QIODevice::WriteOnly);
  QWidget owner;
  QtUserDialogs dialogs(&owner);
  Watchdog watchdog(std::chrono::seconds(60));
  QMap<QString, QString> types;
  whenShown<QFileDialog>([&](QFileDialog* dialog) {
    auto* model = dialog->findChild<QFileSystemModel*>();
    ASSERT_NE(model, nullptr);
    for (const QString& shown : {QStringLiteral("/proc"), folder.path()}) {
      dialog->setDirectory(shown);
      const QModelIndex root = model->index(shown);
      EXPECT_TRUE(QTest::qWaitFor([&] { return model->rowCount(root) > 0; }, 5000));
      QTest::qWait(200);  // the model's own thread reads on
      for (int row = 0; row < model->rowCount(root); ++row) {
        const QModelIndex name = model->index(row, 0, root);
        (void)name.data(Qt::DecorationRole);
        types[name.data().toString()] = model->index(row, 2, root).data().toString();
      }
      (void)dialog->grab();  // every shown line painted, icons and types
    }
    dialog->reject();
  });
  dialogs.openFileName({"Open", "All files|*", "", "/", true, {}});
  EXPECT_EQ(types.value("kmsg"), "File");
  // The dialog leaves system entries out; where one is shown, nothing is read from it.
  EXPECT_EQ(types.value("pipe", "Special file"), "Special file");
  EXPECT_EQ(types.value("picture.jpg"), QMimeDatabase().mimeTypeForName("image/jpeg").comment());
}

// The colour dialog starts at the album's colour (red in the low byte) and, accepted as it
// opened, gives that colour back.
TEST(QtUserDialogs, ColourDialogStartsAtTheColourAndGivesItBackUnchanged) {
  testing::QtAppFirst app;
  QtUserDialogs dialogs(nullptr);
  QColor shown;
  QTimer::singleShot(0, [&shown] {
    if (auto* dialog = qobject_cast<QColorDialog*>(QApplication::activeModalWidget())) {
      shown = dialog->currentColor();
      dialog->accept();
    }
  });
  EXPECT_EQ(dialogs.chooseColor(0x00305090u), std::optional<uint32_t>(0x00305090u));
  EXPECT_EQ(shown, QColor(0x90, 0x50, 0x30));
}

// A type whose own icon the theme lacks shows the theme's generic icon of its kind.
TEST(QtUserDialogs, FileIconsFallBackToTheGenericIconOfTheType) {
  testing::QtAppFirst app;
  QTemporaryDir themes;
  const QString theme = themes.filePath(QStringLiteral("glim-generic"));
  ASSERT_TRUE(QDir().mkpath(theme + QStringLiteral("/16x16/mimetypes")));
  std::ofstream(QFile::encodeName(theme + "/index.theme").constData())
      << "[Icon Theme]\nName=glim-generic\nDirectories=16x16/mimetypes\n\n"
         "[16x16/mimetypes]\nSize=16\nType=Fixed\n";
  QImage pixel(16, 16, QImage::Format_ARGB32);
  pixel.fill(Qt::red);
  ASSERT_TRUE(pixel.save(theme + QStringLiteral("/16x16/mimetypes/image-x-generic.png")));
  std::ofstream(QFile::encodeName(themes.filePath("Bild.jpg")).constData()) << "";
  const QStringList searchPaths = QIcon::themeSearchPaths();
  const QString themeName = QIcon::themeName();
  QIcon::setThemeSearchPaths({themes.path()});
  QIcon::setThemeName(QStringLiteral("glim-generic"));
  EXPECT_EQ(nameOnlyFileIcons().icon(QFileInfo(themes.filePath("Bild.jpg"))).name(),
            QStringLiteral("image-x-generic"));
  QIcon::setThemeName(themeName);
  QIcon::setThemeSearchPaths(searchPaths);
}

// Run by its own ctest under a headless Wayland compositor: the window maps, a file dialog and
// the print options dialog open and close, and the program quits when the user says so.
TEST(Wayland, MainWindowMapsAndItsDialogsOpenAndClose) {
  if (qgetenv("QT_QPA_PLATFORM") != "wayland") GTEST_SKIP() << "run by main_form_wayland";
  testing::QtAppFirst app;
  ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("wayland"));
  TMainForm form;  // with the real dialogs
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  whenShown<QFileDialog>([](QFileDialog* dialog) { dialog->reject(); });
  form.SaveAsBtnClick();
  QPrinter printer;
  QTemporaryDir folder;
  QSettings settings(folder.filePath(QStringLiteral("print.conf")), QSettings::IniFormat);
  testing::RecordingDialogs quiet;
  TPrintForm print(printer, settings, quiet, &form);
  print.Picture = form.currentPicture;
  whenShown<TPrintForm>([](TPrintForm* dialog) { dialog->CancelBitBtn2->click(); });
  EXPECT_EQ(print.exec(), QDialog::Rejected);
  whenShown<QMessageBox>([](QMessageBox* box) { box->button(QMessageBox::Ok)->click(); });
  EXPECT_TRUE(form.close());
}

}  // namespace
}  // namespace glim
