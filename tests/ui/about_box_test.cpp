// The about box: this year in place of the first "XXXX", its geometry, and the web button
// handing the maker's address to the desktop.
#include "about_box.h"

#include <QDate>
#include <QDesktopServices>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include "gtest/gtest.h"
#include "maker_info.h"
#include "qt_test_app.h"

namespace glim {
namespace {

TEST(ReplaceFirstYearPlaceholder, ReplacesOnlyTheFirstOccurrence) {
  EXPECT_EQ(replaceFirstYearPlaceholder("(c) XXXX Maker", 2026), "(c) 2026 Maker");
  EXPECT_EQ(replaceFirstYearPlaceholder("XXXX-XXXX", 1999), "1999-XXXX");
  EXPECT_EQ(replaceFirstYearPlaceholder("XXXXX", 2026), "2026X");
  EXPECT_EQ(replaceFirstYearPlaceholder("no year", 2026), "no year");
  EXPECT_EQ(replaceFirstYearPlaceholder("xxxx XXX", 2026), "xxxx XXX");
  EXPECT_EQ(replaceFirstYearPlaceholder("XXXX", 12345), "12345");
}

// Receives the addresses the desktop is asked to open.
class UrlRecorder : public QObject {
  Q_OBJECT
 public:
  QList<QUrl> urls;
 public slots:
  void open(const QUrl& url) { urls << url; }
};

TEST(AboutBox, ShowsThisYearAndTheMakersTexts) {
  testing::qtApp();
  TAboutBox box(nullptr);
  const QString year = QString::number(QDate::currentDate().year());
  const QString expected = QString::fromUtf8(maker::kCopyright).replace("XXXX", year);
  EXPECT_EQ(box.Copyright->text(), expected);
  EXPECT_FALSE(box.Copyright->text().contains("XXXX"));
  EXPECT_EQ(box.windowTitle(), "Info");
  EXPECT_EQ(box.size(), QSize(664, 453));
  EXPECT_EQ(box.Panel1->geometry(), QRect(8, 8, 649, 385));
  EXPECT_EQ(box.BitBtn1->geometry(), QRect(241, 404, 181, 37));
  EXPECT_TRUE(box.BitBtn1->isDefault());
  EXPECT_FALSE(box.ProgramIcon->pixmap().isNull());
}

TEST(AboutBox, OkClosesTheModalBox) {
  testing::qtApp();
  TAboutBox box(nullptr);
  QTimer::singleShot(0, &box, [&box] { QTest::mouseClick(box.BitBtn1, Qt::LeftButton); });
  EXPECT_EQ(box.exec(), QDialog::Accepted);
}

TEST(AboutBox, WebButtonOpensTheMakersWebSite) {
  testing::qtApp();
  UrlRecorder recorder;
  QDesktopServices::setUrlHandler("https", &recorder, "open");
  TAboutBox box(nullptr);
  QTest::mouseClick(box.BitBtnXP1, Qt::LeftButton);
  QDesktopServices::unsetUrlHandler("https");
  ASSERT_EQ(recorder.urls.size(), 1);
  EXPECT_EQ(recorder.urls[0], QUrl(QString::fromUtf8(maker::kWebSiteAddress)));
}

}  // namespace
}  // namespace glim

#include "about_box_test.moc"
