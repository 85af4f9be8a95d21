// The print steps on a machine without a print queue: the page goes to a PDF file the user
// picks, written whole or not at all, and the picture lands where the layout rules put it.
#include <QFile>
#include <QPrinter>
#include <QTemporaryDir>

#include "../ui/qt_test_app.h"
#include "gtest/gtest.h"
#include "print_fixtures.h"
#include "print_job.h"
#include "printed_page.h"
#include "recording_dialogs.h"

namespace glim {
namespace {

constexpr QRgb kPictureColour = qRgb(200, 30, 40);
constexpr int kRasterDpi = 100;

class PrintPdfTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // No print server at all, whatever the machine runs: the printer is Qt's PDF output.
    qputenv("CUPS_SERVER", "/nonexistent/glimmervellium-cups.sock");
  }

  void SetUp() override {
    ASSERT_TRUE(folder.isValid());
    printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    ASSERT_EQ(printer->outputFormat(), QPrinter::PdfFormat);
    ASSERT_TRUE(printer->outputFileName().isEmpty());
  }

  testing::QtAppFirst app;
  testing::RecordingDialogs dialogs;
  QTemporaryDir folder;
  std::unique_ptr<QPrinter> printer;
};

TEST_F(PrintPdfTest, PrintsOnePageWithThePictureWhereTheRulesPutIt) {
  struct Case {
    const char* what;
    PrintChoices choices;
    int32_t width, height;
    QPageLayout::Orientation orientation;
  } cases[] = {
      {"full page, aspect kept, centred",
       {true, true, true, 50, 50},
       800,
       600,
       QPageLayout::Portrait},
      {"user-defined 40 x 30, not centred",
       {false, true, false, 40, 30},
       300,
       500,
       QPageLayout::Portrait},
      {"landscape, tall picture, centred",
       {true, true, true, 50, 50},
       600,
       1800,
       QPageLayout::Landscape},
  };
  int n = 0;
  for (const Case& c : cases) {
    const QString pdf = folder.filePath(QStringLiteral("page%1.pdf").arg(++n));
    dialogs.fileNames.push_back(pdf.toStdString());
    printer->setPageOrientation(c.orientation);
    const testing::OwnedDib picture =
        testing::solidPicture(c.width, c.height, kPictureColour & 0xffffff);
    ASSERT_TRUE(PrintPicture(*printer, *picture, c.choices, dialogs)) << c.what;
    EXPECT_TRUE(dialogs.messages.empty()) << dialogs.messages.front().text;
    EXPECT_EQ(printer->pageLayout().orientation(), c.orientation) << "kept for the next request";
    EXPECT_TRUE(printer->outputFileName().isEmpty()) << "the next request asks again";

    EXPECT_EQ(testing::pdfInfo(pdf, "Pages"), "1") << c.what;
    EXPECT_EQ(testing::pdfInfo(pdf, "Title"), "Glimmervellium picture");
    const QImage page = testing::rasterisePdf(pdf, kRasterDpi);
    ASSERT_FALSE(page.isNull()) << c.what;
    EXPECT_EQ(page.width() > page.height(), c.orientation == QPageLayout::Landscape);
    const QSize area = printablePageSize(*printer);
    const PrintRect placed =
        placePicture(c.choices, {0, 0, area.width(), area.height()}, c.width, c.height);
    const QRect expected = testing::onPaper(placed, *printer, kRasterDpi);
    const QRect found = testing::areaOf(page, kPictureColour);
    EXPECT_TRUE(testing::edgesMatch(found, expected))
        << c.what << ": found " << found.x() << "," << found.y() << " " << found.width() << "x"
        << found.height() << ", expected " << expected.x() << "," << expected.y() << " "
        << expected.width() << "x" << expected.height();
  }
  // The PDF printer has no unprintable margin, and the toolkit's default margin is not kept:
  // the printable area is the whole page.
  EXPECT_EQ(printablePageSize(*printer),
            printer->pageLayout().fullRectPixels(printer->resolution()).size());
}

TEST_F(PrintPdfTest, NothingIsPrintedWithoutAFileAndAFailedWriteIsReported) {
  const testing::OwnedDib picture = testing::solidPicture(40, 30, 0x00ff00);
  // The file dialog is cancelled: nothing printed, nothing said.
  EXPECT_FALSE(PrintPicture(*printer, *picture, {}, dialogs));
  EXPECT_EQ(dialogs.messages.size(), 0u);
  ASSERT_EQ(dialogs.fileRequests.size(), 1u);
  EXPECT_EQ(dialogs.fileRequests[0].defaultExtension, "pdf");

  // A folder that does not exist: reported, and no file appears.
  const QString missing = folder.filePath(QStringLiteral("no such folder/page.pdf"));
  dialogs.fileNames.push_back(missing.toStdString());
  EXPECT_FALSE(PrintPicture(*printer, *picture, {}, dialogs));
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0], errorBox("The PDF file page.pdf could not be written!"));
  EXPECT_FALSE(QFile::exists(missing));

  // An existing file is replaced only by a complete page.
  const QString existing = folder.filePath(QStringLiteral("kept.pdf"));
  {
    QFile file(existing);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("old");
  }
  dialogs.fileNames.push_back(existing.toStdString());
  EXPECT_TRUE(PrintPicture(*printer, *picture, {}, dialogs));
  EXPECT_EQ(testing::pdfInfo(existing, "Pages"), "1");

  // The next PDF is suggested under the picture's base name, in the folder of the last one.
  EXPECT_FALSE(PrintPicture(*printer, *picture, {}, dialogs, "/fotos/Urlaub.2024.jpg"));
  EXPECT_EQ(dialogs.fileRequests.back().fileName, "Urlaub.2024.pdf");
  EXPECT_EQ(dialogs.fileRequests.back().initialFolder, folder.path().toStdString());
  EXPECT_EQ(dialogs.messages.size(), 1u);
}

}  // namespace
}  // namespace glim
