// The print options dialog, shown offscreen: its coupling rules, its preview's pixels, the
// printer setup and the settings it keeps between openings and runs.
#include "print_form.h"

#include <QAccessible>
#include <QCheckBox>
#include <QFile>
#include <QImage>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>

#include "../ui/qt_test_app.h"
#include "gtest/gtest.h"
#include "print_fixtures.h"
#include "recording_dialogs.h"
#include "spin_field.h"

namespace glim {
namespace {

constexpr QRgb kPictureColour = 0xff2040c0;

class PrintFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder.isValid());
    testing::givePage(printer, 4800, 6800);
    ASSERT_EQ(printer.width(), 4800);
    ASSERT_EQ(printer.height(), 6800);
    newRun();
  }

  QString settingsPath() const { return folder.filePath(QStringLiteral("glimmervellium.conf")); }

  // A later run of the program: the settings read again from their file.
  void newRun() {
    form.reset();
    settings = std::make_unique<QSettings>(settingsPath(), QSettings::IniFormat);
  }

  // A new dialog for a picture of the given size, shown and ready.
  TPrintForm& open(const testing::OwnedDib& picture) {
    form = std::make_unique<TPrintForm>(printer, *settings, dialogs, nullptr);
    form->Picture = *picture;
    form->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    return *form;
  }

  void closeWith(QPushButton* button) {
    QTest::mouseClick(button, Qt::LeftButton);
    form.reset();
  }

  QString stored(const QString& name) {
    settings->sync();
    return settings->value(QStringLiteral("TPrintForm/") + name).toString();
  }

  QImage preview() { return form->PrintPaintBox->grab().toImage(); }

  testing::QtAppFirst app;
  testing::RecordingDialogs dialogs;
  QTemporaryDir folder;
  QPrinter printer{QPrinter::HighResolution};
  std::unique_ptr<QSettings> settings;
  std::unique_ptr<TPrintForm> form;
  testing::OwnedDib landscape = testing::solidPicture(800, 600, kPictureColour & 0xffffff);
  testing::OwnedDib portrait = testing::solidPicture(600, 800, kPictureColour & 0xffffff);
};

TEST_F(PrintFormTest, FirstOpeningShowsFiftyAndTheDerivedHeightAndStoresThemOnCancel) {
  TPrintForm& dialog = open(landscape);
  EXPECT_EQ(dialog.BreitEdit->value(), 50);
  EXPECT_EQ(dialog.HochEdit->value(), 26);  // 600 x 50 / 800 x 4800 / 6800 = 26.47
  EXPECT_TRUE(dialog.UseFullCheck->isChecked());
  EXPECT_TRUE(dialog.SverhCheck->isChecked());
  EXPECT_TRUE(dialog.ZentrCheck->isChecked());
  for (auto [field, name] :
       {std::pair{dialog.BreitEdit, "Width in %:"}, {dialog.HochEdit, "Height in %:"}})
    EXPECT_EQ(QAccessible::queryAccessibleInterface(field)->text(QAccessible::Name), name);
  const int frameWidth = dialog.frameGeometry().width();
  closeWith(dialog.CancelBitBtn2);

  EXPECT_EQ(stored("BreitEdit_Value"), "50");
  EXPECT_EQ(stored("HochEdit_Value"), "26");
  EXPECT_EQ(stored("FormVersion"), "0");
  EXPECT_EQ(stored("Visible"), "0");
  EXPECT_EQ(stored("UseFullCheck_Alignment"), "1");
  const QStringList normal = stored("NormPos").split(',');
  ASSERT_EQ(normal.size(), 4);
  EXPECT_EQ(normal[2].toInt() - normal[0].toInt(), frameWidth);
  const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
  const QString size = QStringLiteral("(%1x%2)").arg(screen.width()).arg(screen.height());
  EXPECT_EQ(stored("NormPos" + size), stored("NormPos"));
  EXPECT_EQ(stored("MinMaxPos" + size), stored("MinMaxPos"));
}

// The stored width stays as the user set it, whatever pictures the dialog is opened and
// cancelled for; the height follows each picture's proportions (on a 4800 x 6800 page, 33 %
// gives 17 for 800 x 600 and 13 for 1600 x 900). Closing for 800 x 600 with width 30 and
// opening for 600 x 800 shows 30 and the height the width rule gives, 28. Before, the
// stored values went through the coupling rules on every opening and drifted down.
TEST_F(PrintFormTest, StoredPercentagesStayOverOpeningsForAnyPicture) {
  {
    TPrintForm& dialog = open(landscape);
    dialog.BreitEdit->setValue(30);
    EXPECT_EQ(dialog.HochEdit->value(), 15);
    closeWith(dialog.CancelBitBtn2);
  }
  newRun();
  {
    TPrintForm& dialog = open(portrait);
    EXPECT_EQ(dialog.BreitEdit->value(), 30);
    EXPECT_EQ(dialog.HochEdit->value(), 28);
    dialog.UserdefCheck->setChecked(true);
    dialog.BreitEdit->setValue(33);
    closeWith(dialog.CancelBitBtn2);
  }
  const testing::OwnedDib wide = testing::solidPicture(1600, 900, kPictureColour & 0xffffff);
  for (int cycle = 0; cycle < 10; ++cycle) {
    const bool even = cycle % 2 == 0;
    TPrintForm& dialog = open(even ? wide : landscape);
    EXPECT_EQ(dialog.BreitEdit->value(), 33) << "opening " << cycle;
    EXPECT_EQ(dialog.HochEdit->value(), even ? 13 : 17) << "opening " << cycle;
    closeWith(dialog.CancelBitBtn2);
  }
}

TEST_F(PrintFormTest, StoredValuesAreTrimmedAndLimited) {
  struct Case {
    const char* width;
    const char* height;
    bool aspect;
    int expectedWidth, expectedHeight;
  } cases[] = {
      {"250", "40", false, 100, 40},
      {"abc", "7", false, 1, 7},
      {" 30 ", "-5", false, 30, 1},
      {"", "", false, 1, 1},
      // Width 100 as stored, and the show handler derives the height from it.
      {"250", "40", true, 100, 52},
  };
  for (const Case& c : cases) {
    settings->setValue("TPrintForm/BreitEdit_Value", c.width);
    settings->setValue("TPrintForm/HochEdit_Value", c.height);
    settings->setValue("TPrintForm/SverhCheck_Checked", c.aspect ? "1" : "0");
    settings->sync();
    newRun();
    TPrintForm& dialog = open(landscape);
    EXPECT_EQ(dialog.SverhCheck->isChecked(), c.aspect);
    EXPECT_EQ(dialog.BreitEdit->value(), c.expectedWidth) << c.width;
    EXPECT_EQ(dialog.HochEdit->value(), c.expectedHeight) << c.height;
    form.reset();  // destroyed without closing: saved as still visible
    EXPECT_EQ(stored("Visible"), "1");
  }
}

// Damage is what the settings reader cannot parse: one box naming the file, what could be read
// is shown, and closing writes a clean file that keeps the other sections. A value the reading
// rules read ("abc" reads as 1) is no damage and shows no box.
TEST_F(PrintFormTest, ADamagedSettingsFileIsToldOnceAndWrittenClean) {
  QByteArray noise(600, '\0');
  for (int i = 0; i < noise.size(); ++i) noise[i] = static_cast<char>((i * 151 + 7) % 256);
  const struct {
    const char* what;
    QByteArray bytes;
    bool damaged;
    int width;
  } cases[] = {
      {"a value read as 1", "[TPrintForm]\nBreitEdit_Value=abc\n[Andere]\nbleibt=1\n", false, 1},
      {"a line without =", "[Andere]\nbleibt=1\n[TPrintForm]\nBreitEdit_Value=40\nkaputt\n", true,
       40},
      {"control bytes", "[Andere]\nbleibt=1\n[TPrintForm]\nBreitEdit_Value=40\n\x01\x02\xff=\n",
       true, 40},
      {"random bytes", QByteArray("[Andere]\nbleibt=1\n") + noise, true, 50},
  };
  for (const auto& c : cases) {
    dialogs.messages.clear();
    QFile::remove(settingsPath());
    QFile file(settingsPath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(c.bytes);
    file.close();
    newRun();
    TPrintForm& dialog = open(landscape);
    ASSERT_EQ(dialogs.messages.size(), c.damaged ? 1u : 0u) << c.what;
    if (c.damaged) {
      EXPECT_NE(dialogs.messages[0].text.find(settingsPath().toStdString() + " is damaged"),
                std::string::npos)
          << dialogs.messages[0].text;
    }
    EXPECT_EQ(dialog.BreitEdit->value(), c.width) << c.what;
    closeWith(dialog.OkBitBtn1);
    QSettings again(settingsPath(), QSettings::IniFormat);
    EXPECT_EQ(again.status(), QSettings::NoError) << c.what;
    EXPECT_EQ(again.value("Andere/bleibt").toString(), "1") << c.what;
    if (c.damaged) {
      EXPECT_EQ(again.childKeys(), QStringList{}) << c.what;  // no loose values
    }
  }
}

TEST_F(PrintFormTest, SettingsThatCannotBeWrittenAreReportedAndTheDialogStillCloses) {
  // A folder where the settings file should be: nothing can be read or written there.
  ASSERT_TRUE(QDir(folder.path()).mkpath(QStringLiteral("glimmervellium.conf")));
  newRun();
  TPrintForm& dialog = open(landscape);
  EXPECT_EQ(dialog.BreitEdit->value(), 50);
  QTest::mouseClick(dialog.OkBitBtn1, Qt::LeftButton);
  EXPECT_FALSE(dialog.isVisible());
  ASSERT_FALSE(dialogs.messages.empty());
  EXPECT_NE(dialogs.messages.back().text.find("could not be saved"), std::string::npos);
}

TEST_F(PrintFormTest, TurningTheAspectLockOnSetsTheHeightFromTheWidthAtOnce) {
  TPrintForm& dialog = open(landscape);
  QTest::mouseClick(dialog.SverhCheck, Qt::LeftButton);
  ASSERT_FALSE(dialog.SverhCheck->isChecked());
  dialog.HochEdit->setValue(80);
  EXPECT_EQ(dialog.BreitEdit->value(), 50);  // no coupling without the lock
  QTest::mouseClick(dialog.SverhCheck, Qt::LeftButton);
  EXPECT_EQ(dialog.HochEdit->value(), 26);
  // With the lock on, an edited height derives the width.
  dialog.HochEdit->setValue(40);
  EXPECT_EQ(dialog.BreitEdit->value(), 75);  // 800 x 40 / 600 x 6800 / 4800 = 75.6
}

TEST_F(PrintFormTest, PreviewShowsThePageAndThePictureWhereTheyWillBePrinted) {
  TPrintForm& dialog = open(landscape);
  QTest::mouseClick(dialog.UserdefCheck, Qt::LeftButton);
  ASSERT_TRUE(dialog.UserdefCheck->isChecked());
  const QImage shown = preview();
  ASSERT_EQ(shown.size(), QSize(190, 190));
  // Page 134 x 190 at (28, 0); picture 67 x 49 at (61, 70).
  EXPECT_EQ(shown.pixel(28, 0), qRgb(255, 255, 255));
  EXPECT_EQ(shown.pixel(161, 189), qRgb(255, 255, 255));
  EXPECT_NE(shown.pixel(27, 100), qRgb(255, 255, 255));
  EXPECT_NE(shown.pixel(162, 100), qRgb(255, 255, 255));
  EXPECT_EQ(shown.pixel(61, 70), kPictureColour);
  EXPECT_EQ(shown.pixel(127, 118), kPictureColour);
  EXPECT_EQ(shown.pixel(60, 70), qRgb(255, 255, 255));
  EXPECT_EQ(shown.pixel(128, 118), qRgb(255, 255, 255));
  EXPECT_EQ(shown.pixel(61, 119), qRgb(255, 255, 255));
  // Centring off: the picture moves to the page's corner.
  QTest::mouseClick(dialog.ZentrCheck, Qt::LeftButton);
  const QImage corner = preview();
  EXPECT_EQ(corner.pixel(28, 0), kPictureColour);
  EXPECT_EQ(corner.pixel(94, 48), kPictureColour);
  EXPECT_EQ(corner.pixel(95, 48), qRgb(255, 255, 255));
}

TEST_F(PrintFormTest, PrinterSetupReshapesThePreviewWhetherConfirmedOrCancelled) {
  TPrintForm& dialog = open(portrait);
  int setups = 0;
  dialog.PrinterSetupDialog1 = [&setups](QPrinter& chosen, QWidget*) {
    chosen.setPageOrientation(QPageLayout::Landscape);
    return ++setups == 1;  // confirmed once, then cancelled
  };
  for (int round = 0; round < 2; ++round) {
    printer.setPageOrientation(QPageLayout::Portrait);
    EXPECT_NE(preview().pixel(5, 100), qRgb(255, 255, 255));  // left of a portrait page
    QTest::mouseClick(dialog.PrintSetupBtn, Qt::LeftButton);
    // Landscape page 190 x 134 at (0, 28), the picture 100 x 134 at (45, 28).
    const QImage shown = preview();
    EXPECT_EQ(shown.pixel(5, 100), qRgb(255, 255, 255)) << round;
    EXPECT_EQ(shown.pixel(45, 28), kPictureColour) << round;
    EXPECT_EQ(shown.pixel(144, 161), kPictureColour) << round;
    EXPECT_EQ(shown.pixel(145, 161), qRgb(255, 255, 255)) << round;
  }
}

TEST_F(PrintFormTest, TheRealPrinterSetupDialogOpensAndCancels) {
  TPrintForm& dialog = open(landscape);
  dialog.PrinterSetupDialog1 = runPrinterSetupDialog;
  bool seen = false;
  QStringList offered;
  QTimer::singleShot(0, [&seen, &offered] {
    QWidget* setup = QApplication::activeModalWidget();
    seen = setup != nullptr && setup->windowTitle() == QStringLiteral("Printer setup");
    // Copies are offered (under the dialog's options); what cannot apply to a one-page job
    // is not.
    for (const char* name :
         {"copies", "printRange", "pagesRadioButton", "printCurrentPage", "printSelection"}) {
      const auto* tab = setup != nullptr ? setup->findChild<QWidget*>("copiesTab") : nullptr;
      const auto* control = tab != nullptr ? tab->findChild<QWidget*>(name) : nullptr;
      if (control != nullptr && control->isVisibleTo(tab) && control->isEnabled())
        offered << QLatin1String(name);
    }
    if (auto* modal = qobject_cast<QDialog*>(setup)) modal->reject();
  });
  const int before = dialog.previewDraws();
  QTest::mouseClick(dialog.PrintSetupBtn, Qt::LeftButton);
  EXPECT_TRUE(seen);
  EXPECT_EQ(offered, QStringList{QStringLiteral("copies")});
  EXPECT_GT(dialog.previewDraws(), before);
  EXPECT_TRUE(dialog.isVisible());
}

}  // namespace
}  // namespace glim
