// The print steps through a real print queue: a private CUPS scheduler with a cups-pdf queue,
// started for this test. The page comes back as a PDF, rasterised to find where the picture
// landed. When the scheduler cannot start, the test fails with its reason.
#include <QDir>
#include <QFileInfo>
#include <QPrinter>
#include <QProcess>
#include <set>

#include "../ui/qt_test_app.h"
#include "gtest/gtest.h"
#include "print_fixtures.h"
#include "print_job.h"
#include "print_queue.h"
#include "printed_page.h"
#include "recording_dialogs.h"

namespace glim {
namespace {

constexpr QRgb kPictureColour = qRgb(200, 30, 40);
constexpr int kRasterDpi = 100;
const QString kQueue = QStringLiteral("glimpdf");

struct ScriptRun {
  bool ok = false;
  QString out;
  QString err;
};

ScriptRun sandbox(const QStringList& arguments, int seconds = 120) {
  QProcess process;
  process.start(
      QStringLiteral("bash"),
      QStringList{QStringLiteral(GLIM_SOURCE_DIR "/tests/viewer/cups_sandbox.sh")} + arguments);
  ScriptRun run;
  run.ok = process.waitForFinished(seconds * 1000) &&
           process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
  run.out = QString::fromLocal8Bit(process.readAllStandardOutput());
  run.err = QString::fromLocal8Bit(process.readAllStandardError());
  return run;
}

class PrintCupsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder =
        QDir::tempPath() + QStringLiteral("/glim-cups-%1").arg(QCoreApplication::applicationPid());
    const ScriptRun started = sandbox({QStringLiteral("start"), folder});
    const QString line = started.out.trimmed().section(QLatin1Char('\n'), -1);
    if (!started.ok || !line.startsWith(QStringLiteral("CUPS_SERVER="))) {
      startFailure =
          QStringLiteral("the print scheduler did not start: ") + started.err + started.out;
      return;
    }
    qputenv("CUPS_SERVER", line.section(QLatin1Char('='), 1).toLocal8Bit());
  }

  static void TearDownTestSuite() {
    sandbox({QStringLiteral("stop"), folder});
    QDir(folder).removeRecursively();
  }

  void SetUp() override {
    ASSERT_TRUE(startFailure.isEmpty()) << startFailure.toStdString();
    printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer->setPrinterName(kQueue);
    ASSERT_EQ(printer->outputFormat(), QPrinter::NativeFormat);
    ASSERT_TRUE(printer->isValid());
  }

  // Waits until the queue has finished its jobs; the PDFs it has written so far.
  static std::set<QString> finishedPdfs() {
    const ScriptRun waited = sandbox({QStringLiteral("wait"), folder, QStringLiteral("120")}, 150);
    EXPECT_TRUE(waited.ok) << waited.err.toStdString();
    std::set<QString> pdfs;
    for (const QString& path : waited.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
      pdfs.insert(path);
    return pdfs;
  }

  static QString folder;
  static QString startFailure;
  testing::QtAppFirst app;
  testing::RecordingDialogs dialogs;
  std::unique_ptr<QPrinter> printer;
};

QString PrintCupsTest::folder;
QString PrintCupsTest::startFailure;

TEST_F(PrintCupsTest, ThePageComesOutOfTheQueueWithThePictureWhereTheRulesPutIt) {
  struct Case {
    const char* what;
    PrintChoices choices;
    int32_t width, height;
  } cases[] = {
      {"full page, aspect kept, centred", {true, true, true, 50, 50}, 800, 600},
      {"user-defined 40 x 30, not centred", {false, true, false, 40, 30}, 300, 500},
  };
  std::set<QString> before = finishedPdfs();
  for (const Case& c : cases) {
    const testing::OwnedDib picture =
        testing::solidPicture(c.width, c.height, kPictureColour & 0xffffff);
    ASSERT_TRUE(PrintPicture(*printer, *picture, c.choices, dialogs)) << c.what;
    EXPECT_TRUE(dialogs.messages.empty()) << dialogs.messages.front().text;
    const std::set<QString> after = finishedPdfs();
    std::vector<QString> fresh;
    for (const QString& pdf : after)
      if (!before.count(pdf)) fresh.push_back(pdf);
    before = after;
    ASSERT_EQ(fresh.size(), 1u) << c.what;
    EXPECT_TRUE(QFileInfo(fresh[0]).fileName().contains(QStringLiteral("Glimmervellium_picture")))
        << fresh[0].toStdString();
    EXPECT_EQ(testing::pdfInfo(fresh[0], "Pages"), "1") << c.what;

    const QImage page = testing::rasterisePdf(fresh[0], kRasterDpi);
    ASSERT_FALSE(page.isNull()) << c.what;
    const QSize area = printablePageSize(*printer);
    const PrintRect placed =
        placePicture(c.choices, {0, 0, area.width(), area.height()}, c.width, c.height);
    const QRect expected = testing::onPaper(placed, *printer, kRasterDpi);
    const QRect found = testing::areaOf(page, kPictureColour);
    EXPECT_TRUE(testing::edgesMatch(found, expected))
        << c.what << ": found " << found.x() << "," << found.y() << " " << found.width() << "x"
        << found.height() << ", expected " << expected.x() << "," << expected.y() << " "
        << expected.width() << "x" << expected.height() << " on a page of " << page.width() << "x"
        << page.height();
  }
}

// A queue added while the program runs and made the system's default is the one the next
// request prints to. Its empty job list counts as no job (not as a server that cannot be
// asked), and the job check takes only a job numbered after the last one before the print.
TEST_F(PrintCupsTest, AQueueAddedWhileTheProgramRunsIsPrintedTo) {
  ProgramPrinter program;  // made before the queue existed
  ASSERT_EQ(program.printer.printerName(), kQueue);
  ASSERT_TRUE(sandbox({QStringLiteral("add"), folder, QStringLiteral("glimlater")}).ok);
  EXPECT_EQ(lastJobNumber(QStringLiteral("glimlater")), 0);
  const std::optional<int> last = lastJobNumber(kQueue);
  ASSERT_TRUE(last.has_value());
  ASSERT_GT(*last, 0) << "the test before this one printed to " << kQueue.toStdString();
  EXPECT_FALSE(jobArrived(kQueue, *last, QString::fromLatin1(kPrintDocumentTitle)));

  followSystemPrinters(program);
  EXPECT_EQ(program.printer.printerName(), QStringLiteral("glimlater"));
  const testing::OwnedDib picture = testing::solidPicture(40, 30, 0x00ff00);
  EXPECT_TRUE(PrintPicture(program.printer, *picture, {}, dialogs));
  EXPECT_TRUE(dialogs.messages.empty());
  EXPECT_TRUE(jobArrived(QStringLiteral("glimlater"), 0, QString::fromLatin1(kPrintDocumentTitle)));
  finishedPdfs();
}

// Copies chosen in the printer setup come out of the queue.
TEST_F(PrintCupsTest, CopiesChosenInTheSetupArePrinted) {
  std::set<QString> before = finishedPdfs();
  printer->setCopyCount(2);
  const testing::OwnedDib picture = testing::solidPicture(40, 30, 0x00ff00);
  ASSERT_TRUE(PrintPicture(*printer, *picture, {}, dialogs));
  int pages = 0;
  for (const QString& pdf : finishedPdfs()) {
    if (!before.count(pdf)) pages += testing::pdfInfo(pdf, "Pages").toInt();
  }
  EXPECT_EQ(pages, 2);
}

TEST_F(PrintCupsTest, AQueueThatRefusesJobsPrintsNothingAndSaysSo) {
  const std::set<QString> before = finishedPdfs();
  ASSERT_TRUE(sandbox({QStringLiteral("reject"), folder}).ok);
  const testing::OwnedDib picture = testing::solidPicture(40, 30, 0x00ff00);
  EXPECT_FALSE(PrintPicture(*printer, *picture, {}, dialogs));
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0].caption, "Error");
  EXPECT_NE(dialogs.messages[0].text.find("glimpdf does not accept print jobs"), std::string::npos);
  ASSERT_TRUE(sandbox({QStringLiteral("accept"), folder}).ok);
  EXPECT_EQ(finishedPdfs(), before);
}

}  // namespace
}  // namespace glim
