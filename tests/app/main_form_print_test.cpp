// The add page's "Print..." button: the focused picture, loaded only when it is not the current
// one, through the print options dialog to a page. The machine's printer here is a PDF file.
#include <QFile>
#include <QPushButton>
#include <QTimer>
#include <filesystem>

#include "../viewer/printed_page.h"
#include "main_form_fixture.h"
#include "print_form.h"
#include "test_pictures.h"

namespace glim {
namespace {

using testing::Rgb;
using testing::TemporaryFolder;
using testing::writePlainBmp;

class PrintButtonTest : public MainFormTest {
 protected:
  void SetUp() override {
    // No print server at all: the program's printer writes PDF files.
    qputenv("CUPS_SERVER", "/nonexistent/glimmervellium-cups.sock");
    MainFormTest::SetUp();
    writePlainBmp(folder / "first.bmp", 80, 60, Rgb{200, 30, 40});
    writePlainBmp(folder / "second.bmp", 60, 80, Rgb{30, 40, 200});
    form->album.append(folder / "first.bmp");
    form->album.append(folder / "second.bmp");
    form->UpdateListBox();
  }

  // Answers the print options dialog as soon as it shows, with OK or Cancel.
  void answerPrintDialog(bool ok) {
    QTimer::singleShot(0, form.get(), [this, ok] {
      auto* dialog = qobject_cast<TPrintForm*>(QApplication::activeModalWidget());
      dialogsShown += dialog != nullptr ? 1 : 0;
      if (dialog != nullptr) (ok ? dialog->OkBitBtn1 : dialog->CancelBitBtn2)->click();
    });
  }

  void printLine(int line) {
    form->ImageList->setCurrentRow(line);
    QTest::mouseClick(form->PrintBtn, Qt::LeftButton);
    QCoreApplication::processEvents();
  }

  TemporaryFolder folder{"glim-print"};
  int dialogsShown = 0;
};

TEST_F(PrintButtonTest, PrintsTheFocusedPictureOnOnePageAndCancelPrintsNothing) {
  const std::string pdf = folder / "printed.pdf";
  dialogs.fileNames.push_back(pdf);
  answerPrintDialog(true);
  printLine(1);
  EXPECT_EQ(dialogsShown, 1);
  EXPECT_EQ(form->album.PreviewFileName, folder / "second.bmp");
  EXPECT_TRUE(dialogs.messages.empty());
  EXPECT_EQ(testing::pdfInfo(QString::fromStdString(pdf), "Pages"), "1");
  const QImage page = testing::rasterisePdf(QString::fromStdString(pdf), 50);
  EXPECT_FALSE(testing::areaOf(page, qRgb(30, 40, 200)).isEmpty());

  answerPrintDialog(false);
  printLine(0);
  EXPECT_EQ(dialogsShown, 2);
  EXPECT_EQ(dialogs.fileRequests.size(), 1u) << "a cancelled dialog asks for no file";
  EXPECT_EQ(form->album.PreviewFileName, folder / "first.bmp");
}

TEST_F(PrintButtonTest, TheCurrentPictureIsNotLoadedAgainAndAFailedLoadShowsNoDialog) {
  form->ImageList->setCurrentRow(0);
  form->ImageListDblClick();
  ASSERT_EQ(form->album.PreviewFileName, folder / "first.bmp");
  // Gone from the disk: printing it again can only use the picture in memory.
  std::filesystem::remove(folder / "first.bmp");
  std::filesystem::remove(folder / "second.bmp");
  const std::string pdf = folder / "again.pdf";
  dialogs.fileNames.push_back(pdf);
  answerPrintDialog(true);
  printLine(0);
  EXPECT_EQ(dialogsShown, 1);
  EXPECT_TRUE(dialogs.messages.empty());
  EXPECT_TRUE(QFile::exists(QString::fromStdString(pdf)));

  // The second picture cannot be loaded: its error is shown and the dialog is not.
  answerPrintDialog(false);
  printLine(1);
  EXPECT_EQ(dialogsShown, 1);
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_NE(dialogs.messages[0].caption.find("second.bmp could not be loaded"), std::string::npos);
  EXPECT_EQ(form->album.PreviewFileName, folder / "first.bmp");
}

}  // namespace
}  // namespace glim
