// The main window right after start, the lists following the album, closing, and the
// picture buttons of the bottom strip.
#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QSplitter>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QToolButton>

#include "about_box.h"
#include "main_form_fixture.h"
#include "maker_info.h"
#include "picture_button.h"
#include "preview_fit.h"
#include "preview_form.h"
#include "program_start.h"
#include "progress_status_bar.h"
#include "view_pic_form.h"

namespace glim {
namespace {

class UrlRecorder : public QObject {
  Q_OBJECT
 public:
  QList<QUrl> urls;
 public slots:
  void open(const QUrl& url) { urls << url; }
};

TEST_F(MainFormTest, StateRightAfterStart) {
  EXPECT_EQ(form->windowTitle(), "Tulbrin Glimmervellium 1.0 - [noname.lmf]");
  EXPECT_EQ(form->size(), QSize(638, 512));
  EXPECT_EQ(form->album.EntryCount(), 0);
  EXPECT_TRUE(form->album.SavedFileName.empty());
  EXPECT_TRUE(form->album.PreviewFileName.empty());
  EXPECT_EQ(form->album.ProgramDir, QCoreApplication::applicationDirPath().toStdString() + "/");
  EXPECT_EQ(form->ImageList->count(), 0);
  EXPECT_EQ(form->SortBox->count(), 0);
  EXPECT_EQ(form->ImageBox->count(), 0);
  EXPECT_FALSE(form->DelBtn->isEnabled());
  EXPECT_FALSE(form->ViewBtn->isEnabled());
  EXPECT_FALSE(form->PrintBtn->isEnabled());
  EXPECT_TRUE(form->AddBtn->isEnabled());
  EXPECT_TRUE(form->UpNow->isEnabled());
  EXPECT_TRUE(form->DownNow->isEnabled());
  EXPECT_FALSE(form->ShowComment->isEnabled());
  EXPECT_FALSE(form->ComMemo->isEnabled());
  EXPECT_TRUE(form->ComMemo->toPlainText().isEmpty());
  EXPECT_FALSE(form->EndePressed());
  EXPECT_FALSE(form->UeberPressed());
  EXPECT_FALSE(form->GoPressed());
  EXPECT_TRUE(dialogs.messages.empty());
  EXPECT_EQ(form->StatusBar1->Progress(), 0);
}

TEST(ProgramStart, CreatesThreeWindowsAndShowsOnlyTheMainWindow) {
  testing::qtApp();
  initialiseApplication();
  EXPECT_EQ(QCoreApplication::applicationName(), "glimmervellium");
  EXPECT_EQ(QGuiApplication::desktopFileName(), "example.tulbrin.glimmervellium");
  testing::RecordingDialogs dialogs;
  ProgramWindows windows = createProgramWindows(&dialogs);
  ASSERT_NE(windows.PreViewForm, nullptr);
  ASSERT_NE(windows.ViewPicForm, nullptr);
  EXPECT_EQ(windows.MainForm->PreViewForm, windows.PreViewForm);
  EXPECT_EQ(windows.MainForm->ViewPicForm, windows.ViewPicForm);
  windows.MainForm->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(windows.MainForm.get()));
  EXPECT_FALSE(windows.PreViewForm->isVisible());
  EXPECT_FALSE(windows.ViewPicForm->isVisible());
  EXPECT_EQ(windows.MainForm->windowTitle(), "Tulbrin Glimmervellium 1.0 - [noname.lmf]");
  EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(MainFormTest, EveryPageFitsTheFirstWindowSize) {
  form->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
  EXPECT_EQ(form->Splitter1->sizes().value(0), 209);
  EXPECT_EQ(form->Splitter2->sizes().value(0), 241);
  EXPECT_EQ(form->StatusBar1->height(), 19);
  EXPECT_EQ(form->DibPrevPanel->parentWidget()->width(), 185);
  for (int i = 0; i < form->PageControl2->count(); ++i) {
    form->PageControl2->setCurrentIndex(i);
    QCoreApplication::processEvents();
    EXPECT_EQ(form->size(), QSize(638, 512))
        << "page " << i << " minimum " << form->minimumSizeHint().width() << " x "
        << form->minimumSizeHint().height();
  }
  // The style choice shows its whole text, inside its panel.
  const QWidget* style = form->StyleBox;
  EXPECT_GE(style->width(), style->sizeHint().width());
  EXPECT_LE(style->geometry().right(), style->parentWidget()->width() - 1);
  const QWidget* update = form->UpdateCheck;
  EXPECT_GE(update->width(), update->sizeHint().width());
  EXPECT_LE(update->geometry().right(), update->parentWidget()->width() - 1);
  EXPECT_GT(update->x(), form->BreitEd->geometry().right()) << "beside the width field";
}

TEST_F(MainFormTest, CurrentPictureStartsWhite320By200) {
  const DibImage& dib = form->currentPicture;
  ASSERT_NE(dib.Pixels, nullptr);
  ASSERT_NE(dib.Header, nullptr);
  EXPECT_EQ(dib.Header->biWidth, 320);
  EXPECT_EQ(dib.Header->biHeight, 200);
  EXPECT_EQ(dib.Header->biBitCount, 24);
  int notWhite = 0;
  for (int y = 0; y < 200; ++y) {
    for (int x = 0; x < 320; ++x) notWhite += getpixel(dib, x, y) != 0xFFFFFFu;
  }
  EXPECT_EQ(notWhite, 0);
}

TEST_F(MainFormTest, PreviewPaneShowsTheWhitePictureFittedIntoItsCorner) {
  form->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
  QWidget* pane = form->DibPrevPaint;
  const DrawSize fit = previewDrawSize(pane->width(), pane->height(), 320, 200);
  ASSERT_GT(fit.width, 10);
  ASSERT_GT(fit.height, 10);
  // The whole window drawn as on screen: the pane paints at its place inside the window.
  const QImage window = form->grab().toImage();
  const QPoint at = pane->mapTo(form.get(), QPoint(0, 0));
  const QImage image = window.copy(QRect(at, pane->size()));
  const QColor white(255, 255, 255);
  EXPECT_EQ(image.pixelColor(0, 0), white);
  EXPECT_EQ(image.pixelColor(fit.width - 1, fit.height - 1), white);
  const QColor panel(form->DibPrevPanel->palette().color(QPalette::Window).rgb());
  ASSERT_NE(panel, white);
  if (fit.height < pane->height()) {
    EXPECT_EQ(image.pixelColor(0, fit.height), panel);
  } else {
    EXPECT_EQ(image.pixelColor(fit.width, 0), panel);
  }
}

TEST_F(MainFormTest, FilterBoxHoldsTheCodecLibrarysTypesAndClips) {
  const auto expected = withClipChoices(parseFileTypeFilter(GetDIBOpenFilter()));
  ASSERT_FALSE(expected.empty());
  ASSERT_EQ(form->FilterComboBox1->count(), static_cast<int>(expected.size()));
  EXPECT_EQ(form->FilterComboBox1->currentIndex(), 0);
  EXPECT_EQ(form->FilterComboBox1->itemText(0), expected[0].description);
  EXPECT_EQ(form->fileListMask(), expected[0].mask);
  form->FilterComboBox1->setCurrentIndex(static_cast<int>(expected.size()) - 1);
  EXPECT_EQ(form->fileListMask(), expected.back().mask);
}

// A number typed into a field counts even while the field still has the keyboard focus: the
// save and create buttons do not take it.
TEST_F(MainFormTest, SettingsTakeNumbersStillBeingTyped) {
  form->show();
  form->PageControl2->setCurrentIndex(3);
  form->BreitEd->setFocus();
  form->BreitEd->selectAll();
  QTest::keyClicks(form->BreitEd, "2000");
  form->AnzEd->clear();
  ASSERT_EQ(form->BreitEd->text(), "2000");
  const AlbumSettings settings = form->currentSettings();
  EXPECT_EQ(settings.thumbWidth, 1000);
  EXPECT_EQ(settings.perLine, 1);
  EXPECT_EQ(settings.thumbHeight, 90);
}

TEST_F(MainFormTest, PagesAndCreateFieldsAsLaidOut) {
  const QStringList tabs = {"Add picture", "Sort", "Comments", "Create Glimmervellium",
                            "View result"};
  ASSERT_EQ(form->PageControl2->count(), tabs.size());
  QStringList banners;
  for (int i = 0; i < tabs.size(); ++i) {
    EXPECT_EQ(form->PageControl2->tabText(i), tabs[i]);
    EXPECT_FALSE(form->PageControl2->tabIcon(i).isNull());
    const auto* banner = form->PageControl2->widget(i)->findChild<QLabel*>("bannerText");
    banners << (banner ? banner->text() : QString());
  }
  EXPECT_EQ(banners,
            QStringList({"Add pictures - Select a file and click on \"Add picture\"",
                         "Sort - You can correct the order of the pictures",
                         "Comment - select picture and write a comment",
                         "Create Glimmervellium - Copy all pictures and create a HTML file ", ""}));
  EXPECT_EQ(form->NewBtn->text(), "&New");
  EXPECT_EQ(form->SaveAsBtn->toolTip(), "Save album as...");
  EXPECT_EQ(form->currentSettings(), AlbumSettings());
  for (QSpinBox* field : {form->BreitEd, form->HochEd}) {
    EXPECT_EQ(field->minimum(), kThumbSizeRange.min);
    EXPECT_EQ(field->maximum(), kThumbSizeRange.max);
  }
  EXPECT_EQ(form->AnzEd->maximum(), kPerLineRange.max);
  EXPECT_EQ(form->BorderEd->minimum(), kBorderRange.min);
  EXPECT_EQ(form->Border2ED->maximum(), kBorderRange.max);
  AlbumSettings wild;
  wild.thumbWidth = 5000;
  wild.perLine = 0;
  wild.borderWidth = -3;
  form->showSettings(wild);
  EXPECT_EQ(form->BreitEd->value(), 1000);
  EXPECT_EQ(form->AnzEd->value(), 1);
  EXPECT_EQ(form->BorderEd->value(), 0);
}

TEST_F(MainFormTest, ListsFollowTheAlbumWithLineZeroSelected) {
  form->album.append("/pictures/a.jpg");
  form->album.append("/pictures/holiday/b.png");
  form->album.append("/other/c.bmp");
  form->album.setComment(0, "first\r\nline two");
  form->album.setShowFlag(0, false);
  form->album.setCheckMark(1, false);
  form->UpdateListBox();

  const QStringList names = {"a.jpg", "b.png", "c.bmp"};
  for (const QListWidget* list : {form->ImageList, form->SortBox, form->ImageBox}) {
    EXPECT_EQ(lines(list), names);
    EXPECT_EQ(list->currentRow(), 0);
    ASSERT_EQ(list->selectedItems().size(), 1);
    EXPECT_EQ(list->selectedItems()[0]->text(), "a.jpg");
  }
  EXPECT_EQ(form->ImageBox->item(0)->checkState(), Qt::Checked);
  EXPECT_EQ(form->ImageBox->item(1)->checkState(), Qt::Unchecked);
  EXPECT_TRUE(form->DelBtn->isEnabled());
  EXPECT_TRUE(form->ViewBtn->isEnabled());
  EXPECT_TRUE(form->PrintBtn->isEnabled());
  EXPECT_TRUE(form->ShowComment->isEnabled());
  EXPECT_TRUE(form->ComMemo->isEnabled());
  EXPECT_FALSE(form->ShowComment->isChecked());
  EXPECT_EQ(form->ComMemo->toPlainText(), "first\nline two");
  EXPECT_FALSE(form->album.Updating);

  // Showing another line's comment writes nothing back into the album.
  const auto before = form->album.entries();
  form->ImageBox->setCurrentRow(1);
  form->ChangeImageBox();
  EXPECT_TRUE(form->ShowComment->isChecked());
  EXPECT_TRUE(form->ComMemo->toPlainText().isEmpty());
  EXPECT_EQ(form->album.entries(), before);

  // A rebuild brings every selection back to line 0; an empty album disables again.
  form->UpdateListBox();
  EXPECT_EQ(form->ImageBox->currentRow(), 0);
  form->album.DelallPics();
  form->UpdateListBox();
  EXPECT_EQ(form->ImageList->count(), 0);
  EXPECT_FALSE(form->DelBtn->isEnabled());
  EXPECT_FALSE(form->ComMemo->isEnabled());
  EXPECT_TRUE(form->ComMemo->toPlainText().isEmpty());
}

TEST_F(MainFormTest, QuitQuestionIsAskedAlwaysAndCancelKeepsEverything) {
  form->album.append("/pictures/a.jpg");
  form->UpdateListBox();
  form->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
  dialogs.answers = {MessageAnswer::Cancel};
  EXPECT_FALSE(form->close());
  EXPECT_TRUE(form->isVisible());
  EXPECT_EQ(form->album.EntryCount(), 1);
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0],
            (MessageBox{"Hereby you quit the program! All data not saved will be lost!",
                        "Quit program", MessageButtons::OkCancel, MessageIcon::Information}));
  dialogs.answers = {MessageAnswer::Ok};
  EXPECT_TRUE(form->close());
  EXPECT_FALSE(form->isVisible());
  EXPECT_EQ(dialogs.messages.size(), 2u);
}

TEST_F(MainFormTest, QuitButtonAsksAndCancelLeavesTheNormalPicture) {
  form->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
  dialogs.answers = {MessageAnswer::Cancel};
  QTest::mousePress(form->EndeBtn, Qt::LeftButton, {}, QPoint(20, 10));
  EXPECT_TRUE(form->EndePressed());
  EXPECT_TRUE(form->EndeBtn->pressedShown());
  QTest::mouseRelease(form->EndeBtn, Qt::LeftButton, {}, QPoint(20, 10));
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0].caption, "Quit program");
  EXPECT_TRUE(form->isVisible());
  EXPECT_FALSE(form->EndePressed());
  EXPECT_TRUE(form->EndeBtn->normalShown());
  EXPECT_FALSE(form->EndeBtn->pressedShown());

  QTest::mouseClick(form->EndeBtn, Qt::LeftButton, {}, QPoint(20, 10));  // answered OK
  EXPECT_FALSE(form->isVisible());
}

// Every page by keyboard: Tab runs through the page tabs, the top bar, the shown page's
// controls and the bottom bar, back to the tabs; Tab leaves the comment field; Space presses
// the focused "Create!"; each shortcut runs its button's handler.
TEST_F(MainFormTest, EveryControlAndCommandByKeyboard) {
  form->album.append("/no such folder/a.jpg");  // the list buttons enabled, Print... reports
  form->UpdateListBox();
  form->show();
  QApplication::setActiveWindow(form.get());
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  TMainForm& f = *form;
  const std::vector<std::vector<QWidget*>> pages = {
      {f.JamShellTree1, f.JamShellList1, f.AddBtn, f.DelBtn, f.ViewBtn, f.PrintBtn,
       f.FilterComboBox1, f.ImageList},
      {f.SortBox, f.UpNow, f.DownNow},
      {f.ImageBox, f.ShowComment, f.ComMemo},
      {f.GoBtn1, f.ColorBtn, f.StyleBox, f.UpdateCheck, f.BreitEd, f.HochEd, f.CaptionED,
       f.FreeText, f.AnzEd, f.BorderEd, f.Caption2ED, f.Border2ED},
      {f.WebBrowser1}};
  for (std::size_t page = 0; page < pages.size(); ++page) {
    f.PageControl2->setCurrentIndex(static_cast<int>(page));
    f.PageControl2->tabBar()->setFocus();
    std::vector<QWidget*> chain = {f.NewBtn, f.OpenBtn, f.SaveBtn, f.SaveAsBtn};
    chain.insert(chain.end(), pages[page].begin(), pages[page].end());
    chain.insert(chain.end(), {f.wwwBtn, f.ueberbtn, f.EndeBtn, f.PageControl2->tabBar()});
    for (std::size_t step = 0; step < chain.size(); ++step) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      const QWidget* focused = QApplication::focusWidget();
      EXPECT_TRUE(focused == chain[step] || chain[step]->isAncestorOf(focused))
          << "page " << page << ", Tab " << step + 1;
    }
  }
  f.PageControl2->setCurrentIndex(2);
  f.ComMemo->setFocus();
  QTest::keyClick(f.ComMemo, Qt::Key_Backtab, Qt::ShiftModifier);
  EXPECT_EQ(QApplication::focusWidget(), f.ShowComment);
  f.ComMemo->setFocus();
  QTest::keyClick(f.ComMemo, Qt::Key_Tab);
  EXPECT_NE(QApplication::focusWidget(), f.ComMemo);
  EXPECT_FALSE(f.ComMemo->toPlainText().contains(QLatin1Char('\t')));

  f.PageControl2->setCurrentIndex(3);
  f.GoBtn1->setFocus();
  QTest::keyClick(f.GoBtn1, Qt::Key_Space);
  ASSERT_EQ(dialogs.fileRequests.size(), 1u);
  EXPECT_EQ(dialogs.fileRequests[0].defaultExtension, "htm");
  const struct {
    QKeyCombination keys;
    const char* caption;  // of the question, or the file dialog's title; "*": any message
    int page;             // shown afterwards
  } shortcuts[] = {{Qt::CTRL | Qt::Key_N, "File/New", 3},
                   {Qt::CTRL | Qt::Key_O, "File/Open", 3},
                   {Qt::CTRL | Qt::Key_Q, "Quit program", 3},
                   {Qt::CTRL | Qt::Key_S, "Save as", 3},
                   {Qt::CTRL | Qt::SHIFT | Qt::Key_S, "Save as", 3},
                   {Qt::CTRL | Qt::Key_P, "*", 3},
                   {Qt::CTRL | Qt::Key_Tab, nullptr, 4},
                   {Qt::CTRL | Qt::Key_PageDown, nullptr, 0},
                   {Qt::CTRL | Qt::Key_PageUp, nullptr, 4},
                   {Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab, nullptr, 3}};
  for (const auto& c : shortcuts) {
    dialogs.messages.clear();
    dialogs.fileRequests.clear();
    dialogs.answers = {MessageAnswer::Cancel};
    QTest::keyClick(form.get(), c.keys.key(), c.keys.keyboardModifiers());
    if (c.caption != nullptr) {
      const std::string caption = c.caption;
      EXPECT_TRUE((!dialogs.messages.empty() &&
                   (caption == "*" || dialogs.messages[0].caption == caption)) ||
                  (!dialogs.fileRequests.empty() && dialogs.fileRequests[0].title == caption))
          << caption;
    }
    EXPECT_EQ(f.PageControl2->currentIndex(), c.page);
  }
  EXPECT_TRUE(form->isVisible());
}

// The focus shows in every style: a frame in the focus colour (at least the outermost pixel
// ring) on the folder tree, the file list, the empty album list and Info and Quit, which they
// lack without the focus.
TEST_F(MainFormTest, KeyboardFocusShowsAsAFrameInTheFocusColour) {
  form->show();
  QApplication::setActiveWindow(form.get());
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  const auto ringInFocusColour = [](QWidget* widget) {
    const QImage image = widget->grab().toImage();
    const QRgb focus = widget->palette().color(QPalette::Active, QPalette::Highlight).rgb();
    for (int x = 0; x < image.width(); ++x) {
      if (image.pixel(x, 0) != focus || image.pixel(x, image.height() - 1) != focus) return false;
    }
    for (int y = 0; y < image.height(); ++y) {
      if (image.pixel(0, y) != focus || image.pixel(image.width() - 1, y) != focus) return false;
    }
    return true;
  };
  for (QWidget* widget :
       std::initializer_list<QWidget*>{form->JamShellTree1, form->JamShellList1, form->ImageList,
                                       form->ueberbtn, form->EndeBtn}) {
    form->NewBtn->setFocus(Qt::ShortcutFocusReason);  // as from the keyboard
    EXPECT_FALSE(ringInFocusColour(widget)) << widget->accessibleName().toStdString();
    widget->setFocus(Qt::ShortcutFocusReason);
    EXPECT_TRUE(ringInFocusColour(widget)) << widget->accessibleName().toStdString();
  }
}

// Run by its own ctest on a 1600 x 1000 screen at scale 2 (800 x 500 to fit in): the windows
// the user may resize open within the screen's available area.
TEST(HiDpi, ResizableWindowsOpenWithinTheScreen) {
  if (qgetenv("QT_SCALE_FACTOR") != "2") GTEST_SKIP() << "run at scale 2 by main_form_hidpi";
  testing::QtAppFirst app;
  testing::RecordingDialogs dialogs;
  TMainForm form(&dialogs);
  TViewPicForm viewer(&form);
  TPreViewForm preview(&form.currentPicture, &form);
  const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
  ASSERT_EQ(available.size(), QSize(800, 500));
  for (QWidget* window : std::initializer_list<QWidget*>{&form, &viewer, &preview}) {
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    EXPECT_TRUE(available.contains(window->frameGeometry())) << window->metaObject()->className();
  }
  EXPECT_EQ(form.width(), 638) << "as wide as asked: it fits";
}

// At 100 % a picture pixel lies on one device pixel: a 400 x 300 picture of noise is drawn, at
// scale 2, over exactly 400 x 300 device pixels, each of its own colour (an enlarged, smoothed
// or halved drawing changes nearly all of them).
TEST(HiDpi, PicturesAreDrawnOnePixelPerDevicePixel) {
  if (qgetenv("QT_SCALE_FACTOR") != "2") GTEST_SKIP() << "run at scale 2 by main_form_hidpi";
  testing::QtAppFirst app;
  DibImage picture{};
  ASSERT_NE(newdib(&picture, 400, 300, 24, nullptr, 0), 0);
  QImage expected(400, 300, QImage::Format_RGB32);
  uint32_t seed = 12345;
  for (int y = 0; y < 300; ++y) {
    uint8_t* row = picture.Pixels + int64_t{299 - y} * picture.RowBytes;  // bottom-up
    for (int x = 0; x < 400; ++x) {
      seed = seed * 1103515245u + 12345u;
      const uint32_t rgb = (seed >> 8) & 0xFFFFFF;
      row[3 * x] = rgb & 0xFF;
      row[3 * x + 1] = (rgb >> 8) & 0xFF;
      row[3 * x + 2] = rgb >> 16;
      expected.setPixel(x, y, 0xFF000000u | rgb);
    }
  }
  TViewPicForm viewer;
  viewer.Picture = picture;
  TPreViewForm preview(&picture);
  for (auto [window, area] :
       {std::pair<QWidget*, QWidget*>{&viewer, viewer.PaintBox1}, {&preview, preview.PaintBox1}}) {
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    for (int round = 0; round < 10; ++round) QCoreApplication::processEvents();
    EXPECT_EQ(area->size(), QSize(200, 150)) << window->metaObject()->className();
    const QImage drawn = area->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(drawn.size(), QSize(400, 300));
    int differing = 0;
    for (int y = 0; y < 300; ++y) {
      for (int x = 0; x < 400; ++x) differing += drawn.pixel(x, y) != expected.pixel(x, y);
    }
    EXPECT_EQ(differing, 0) << window->metaObject()->className();
  }
  deldib(picture);
}

TEST_F(MainFormTest, AboutButtonShowsTheAboutBoxModally) {
  form->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
  QString shownCopyright;
  bool ownedByForm = false;
  QTimer::singleShot(0, form.get(), [&] {
    auto* box = qobject_cast<TAboutBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    ownedByForm = box->parentWidget() == form.get();
    shownCopyright = box->Copyright->text();
    box->BitBtn1->click();
  });
  QTest::mouseClick(form->ueberbtn, Qt::LeftButton, {}, QPoint(30, 10));
  EXPECT_TRUE(ownedByForm);
  EXPECT_TRUE(shownCopyright.contains(QString::number(QDate::currentDate().year())));
  EXPECT_FALSE(form->UeberPressed());
  EXPECT_TRUE(form->ueberbtn->normalShown());
  EXPECT_EQ(form->findChildren<TAboutBox*>().size(), 0) << "the box is destroyed after showing";
}

TEST_F(MainFormTest, HomePageButtonOpensTheMakersHomePage) {
  UrlRecorder recorder;
  QDesktopServices::setUrlHandler("https", &recorder, "open");
  form->wwwBtn->click();
  QDesktopServices::unsetUrlHandler("https");
  ASSERT_EQ(recorder.urls.size(), 1);
  EXPECT_EQ(recorder.urls[0], QUrl(QString::fromUtf8(maker::kHomePageAddress)));
  EXPECT_EQ(form->wwwBtn->toolTip(), "Go to the Tulbrin homepage...");
}

TEST_F(MainFormTest, ResultPageFollowsAlbumLinksAndHandsOthersToTheDesktop) {
  QTemporaryDir folder;
  QDir(folder.path()).mkdir("html");
  auto write = [&](const QString& name, const QByteArray& html) {
    QFile file(folder.filePath(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(html);
  };
  write("index.htm", "<HTML><BODY><A HREF=\"html/p1.htm\">one</A></BODY></HTML>");
  write("html/p1.htm", "<HTML><BODY><A HREF=\"https://example.org/\">web</A></BODY></HTML>");
  const QUrl overview = QUrl::fromLocalFile(folder.filePath("index.htm"));
  form->WebBrowser1->setSource(overview);
  emit form->WebBrowser1->anchorClicked(QUrl("html/p1.htm"));
  EXPECT_EQ(form->WebBrowser1->source(), QUrl::fromLocalFile(folder.filePath("html/p1.htm")));
  EXPECT_TRUE(form->WebBrowser1->toPlainText().contains("web"));

  UrlRecorder recorder;
  QDesktopServices::setUrlHandler("https", &recorder, "open");
  emit form->WebBrowser1->anchorClicked(QUrl("https://example.org/"));
  QDesktopServices::unsetUrlHandler("https");
  ASSERT_EQ(recorder.urls.size(), 1);
  EXPECT_EQ(form->WebBrowser1->source(), QUrl::fromLocalFile(folder.filePath("html/p1.htm")));
  form->WebBrowser1->backward();
  EXPECT_EQ(form->WebBrowser1->source(), overview);
}

TEST_F(MainFormTest, BackgroundColourComesFromTheColourDialog) {
  dialogs.colors = {std::optional<uint32_t>(rgbColor(0x12, 0x34, 0x56)), std::nullopt};
  form->ColorBtn->click();
  EXPECT_EQ(form->backgroundColor(), rgbColor(0x12, 0x34, 0x56));
  EXPECT_EQ(form->currentSettings().backgroundColor, rgbColor(0x12, 0x34, 0x56));
  const QImage swatch = form->Shape1->grab().toImage();
  EXPECT_EQ(swatch.pixelColor(12, 12), QColor(0x12, 0x34, 0x56));
  form->ColorBtn->click();  // cancelled
  EXPECT_EQ(form->backgroundColor(), rgbColor(0x12, 0x34, 0x56));
}

}  // namespace
}  // namespace glim

#include "main_form_test.moc"
