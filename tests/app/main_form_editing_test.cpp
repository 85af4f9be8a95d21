// Editing the album from its three lists through the real widgets: delete, move, comments,
// check marks, the keys of the lists, and the preview window opened from the sort and comments
// pages with the load-if-different rule.
#include <QCheckBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <fstream>
#include <functional>
#include <ostream>
#include <vector>

#include "main_form_fixture.h"
#include "test_pictures.h"

namespace glim {
namespace {

class EditingTest : public MainFormTest {
 protected:
  void SetUp() override {
    MainFormTest::SetUp();
    for (const char* name : {"p0.jpg", "p1.jpg", "p2.jpg", "p3.jpg", "p4.jpg"}) {
      form->album.append(std::string("/album/") + name);
    }
    form->UpdateListBox();
  }

  std::vector<std::string> paths() const {
    std::vector<std::string> result;
    for (const PictureEntry& entry : form->album.entries()) result.push_back(entry.FilePath);
    return result;
  }

  // A line of the sort list as the user selects it, or none.
  void selectSortLine(int line) {
    if (line < 0) {
      form->SortBox->clearSelection();
    } else {
      form->SortBox->setCurrentRow(line);
    }
  }
};

TEST_F(EditingTest, DeleteRemovesTheSelectedLinesFromTheHighestDown) {
  form->ImageList->setCurrentRow(1, QItemSelectionModel::ClearAndSelect);
  form->ImageList->setCurrentRow(3, QItemSelectionModel::Select);
  form->DelBtn->click();
  EXPECT_EQ(paths(), (std::vector<std::string>{"/album/p0.jpg", "/album/p2.jpg", "/album/p4.jpg"}));
  EXPECT_EQ(lines(form->SortBox), QStringList({"p0.jpg", "p2.jpg", "p4.jpg"}));

  // The Delete key in the list does the same; Escape on the add page is the cancel button.
  form->ImageList->setCurrentRow(2, QItemSelectionModel::ClearAndSelect);
  form->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
  form->ImageList->setFocus();
  QTest::keyClick(form->ImageList, Qt::Key_Delete);
  EXPECT_EQ(paths(), (std::vector<std::string>{"/album/p0.jpg", "/album/p2.jpg"}));
  QTest::keyClick(form->ImageList, Qt::Key_Escape);  // line 0 selected after the rebuild
  EXPECT_EQ(paths(), (std::vector<std::string>{"/album/p2.jpg"}));
  form->PageControl2->setCurrentIndex(1);
  QTest::keyClick(form->SortBox, Qt::Key_Escape);
  EXPECT_EQ(form->album.EntryCount(), 1) << "Escape acts only on the add page";
}

TEST_F(EditingTest, MovesReachBothEndsButNotBeyond) {
  const std::vector<PictureEntry> five = form->album.entries();
  const struct {
    int entries;
    QPushButton* TMainForm::*button;
    int line;                   // the selected sort line before; -1: none
    std::vector<int> order;     // the entries afterwards, by their place before
    std::vector<int> selected;  // the selected sort lines afterwards
  } cases[] = {
      {5, &TMainForm::UpNow, 0, {0, 1, 2, 3, 4}, {0}},
      {5, &TMainForm::DownNow, 4, {0, 1, 2, 3, 4}, {4}},
      {5, &TMainForm::UpNow, -1, {0, 1, 2, 3, 4}, {}},
      {5, &TMainForm::DownNow, -1, {0, 1, 2, 3, 4}, {}},
      {3, &TMainForm::UpNow, 2, {0, 2, 1}, {1}},  // the last line moves up
      {3, &TMainForm::DownNow, 0, {1, 0, 2}, {1}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << (c.button == &TMainForm::UpNow ? "up" : "down")
                                      << " from line " << c.line << " of " << c.entries);
    form->album.replaceEntries({five.begin(), five.begin() + c.entries});
    form->UpdateListBox();
    selectSortLine(c.line);
    (form.get()->*c.button)->click();
    std::vector<PictureEntry> expected;
    for (int i : c.order) expected.push_back(five[i]);
    EXPECT_EQ(form->album.entries(), expected);
    std::vector<int> selected;
    for (const QListWidgetItem* item : form->SortBox->selectedItems())
      selected.push_back(form->SortBox->row(item));
    EXPECT_EQ(selected, c.selected);
  }
}

TEST_F(EditingTest, MoveDownTakesTheSelectionAndTheWholeEntryAlong) {
  form->album.setComment(2, "two");
  form->album.setShowFlag(2, false);
  form->album.setCheckMark(2, false);
  const PictureEntry moved = form->album.entry(2);
  selectSortLine(2);
  form->DownNow->click();
  EXPECT_EQ(form->album.entry(3), moved);
  EXPECT_EQ(form->album.entry(2).FilePath, "/album/p3.jpg");
  EXPECT_EQ(form->SortBox->currentRow(), 3);
  ASSERT_EQ(form->SortBox->selectedItems().size(), 1);
  EXPECT_EQ(form->SortBox->selectedItems()[0]->text(), "p2.jpg");
  EXPECT_EQ(form->ImageBox->item(3)->checkState(), Qt::Unchecked);
  EXPECT_EQ(form->ImageList->currentRow(), 0);
  EXPECT_EQ(form->ImageBox->currentRow(), 0);

  form->UpNow->click();  // and back up
  EXPECT_EQ(form->album.entry(2), moved);
  EXPECT_EQ(form->SortBox->currentRow(), 2);
}

TEST_F(EditingTest, CommentGoesToEverySelectedLineKeystrokeByKeystroke) {
  form->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
  form->PageControl2->setCurrentIndex(2);
  form->ImageBox->setCurrentRow(1, QItemSelectionModel::ClearAndSelect);
  form->ImageBox->setCurrentRow(3, QItemSelectionModel::Select);
  ASSERT_TRUE(form->ComMemo->isEnabled());
  form->ComMemo->setFocus();
  QTest::keyClicks(form->ComMemo, "Hi");
  EXPECT_EQ(form->album.entry(1).commentText(), "Hi");
  EXPECT_EQ(form->album.entry(3).commentText(), "Hi");
  QTest::keyClick(form->ComMemo, Qt::Key_Return);
  QTest::keyClicks(form->ComMemo, "x");
  EXPECT_EQ(form->album.entry(1).commentText(), "Hi\r\nx") << "stored with the album's line end";
  EXPECT_EQ(form->album.entry(3).commentText(), "Hi\r\nx");
  EXPECT_FALSE(form->album.entry(0).Comment.has_value());

  form->ShowComment->click();
  EXPECT_FALSE(form->album.entry(1).ShowFlag);
  EXPECT_FALSE(form->album.entry(3).ShowFlag);
  EXPECT_TRUE(form->album.entry(0).ShowFlag);

  // Moving to another line shows its comment and writes nothing.
  const auto before = form->album.entries();
  QTest::mouseClick(form->ImageBox->viewport(), Qt::LeftButton, {},
                    form->ImageBox->visualItemRect(form->ImageBox->item(0)).center());
  EXPECT_EQ(form->ImageBox->currentRow(), 0);
  EXPECT_TRUE(form->ComMemo->toPlainText().isEmpty());
  EXPECT_TRUE(form->ShowComment->isChecked());
  EXPECT_EQ(form->album.entries(), before);
  QTest::keyClick(form->ImageBox, Qt::Key_Down);
  EXPECT_EQ(form->ComMemo->toPlainText(), "Hi\nx");
  EXPECT_EQ(form->album.entries(), before);
}

TEST_F(EditingTest, ClearingOneCheckMarkChangesOnlyThatEntry) {
  auto before = form->album.entries();
  form->ImageBox->item(2)->setCheckState(Qt::Unchecked);
  before[2].CheckMark = false;
  EXPECT_EQ(form->album.entries(), before);
  form->UpdateListBox();
  EXPECT_EQ(form->ImageBox->item(2)->checkState(), Qt::Unchecked) << "kept through a rebuild";
  EXPECT_EQ(form->album.entries(), before);
}

// What a list shows: its lines, their check marks, the current line and the selected lines.
struct ListState {
  QStringList lines;
  std::vector<int> checks;
  int current;
  std::vector<int> selected;
  bool operator==(const ListState&) const = default;
};

ListState stateOf(const QListWidget* list) {
  ListState state{{}, {}, list->currentRow(), {}};
  for (int i = 0; i < list->count(); ++i) {
    state.lines << list->item(i)->text();
    state.checks.push_back(list->item(i)->checkState());
    if (list->item(i)->isSelected()) state.selected.push_back(i);
  }
  return state;
}

std::ostream& operator<<(std::ostream& out, const ListState& state) {
  out << state.lines.join(QLatin1Char(',')).toStdString() << " current " << state.current;
  return out;
}

TEST_F(EditingTest, ListsAfterAnEditReadAsListsFilledAnew) {
  using Change = std::function<void(Album&)>;
  const std::pair<const char*, Change> edits[] = {
      {"swap in the middle", [](Album& a) { a.swap(1, 2); }},
      {"swap of the ends", [](Album& a) { a.swap(0, 4); }},
      {"first removed", [](Album& a) { a.remove(0); }},
      {"last removed", [](Album& a) { a.remove(4); }},
      {"lines apart removed",
       [](Album& a) {
         a.removeSeveral({0, 2, 4});
       }},
      {"one added", [](Album& a) { a.append("/album/p5.jpg"); }},
      {"a name again", [](Album& a) { a.append("/elsewhere/p1.jpg"); }},
      {"a check mark cleared", [](Album& a) { a.setCheckMark(3, false); }},
      {"one added in the middle",
       [](Album& a) {
         std::vector<PictureEntry> entries = a.entries();
         PictureEntry added;
         added.FilePath = "/album/new.jpg";
         entries.insert(entries.begin() + 2, added);
         a.replaceEntries(entries);
       }},
      {"all replaced",
       [](Album& a) {
         a.DelallPics();
         a.append("/x/a.jpg");
         a.append("/x/p4.jpg");
       }},
      {"emptied", [](Album& a) { a.DelallPics(); }},
  };
  const std::vector<PictureEntry> start = form->album.entries();
  TMainForm anew(&dialogs);
  for (const auto& [what, change] : edits) {
    SCOPED_TRACE(what);
    form->album.replaceEntries(start);
    form->album.setCheckMark(1, false);
    form->UpdateListBox();
    form->ImageList->setCurrentRow(3, QItemSelectionModel::ClearAndSelect);
    form->SortBox->setCurrentRow(2);
    change(form->album);
    form->UpdateListBox();

    anew.album.DelallPics();
    anew.UpdateListBox();
    anew.album.replaceEntries(form->album.entries());
    anew.UpdateListBox();
    for (auto list : {&TMainForm::ImageList, &TMainForm::SortBox, &TMainForm::ImageBox}) {
      EXPECT_EQ(stateOf(form.get()->*list), stateOf(anew.*list));
    }
    EXPECT_EQ(form->album.entries(), anew.album.entries());
  }
}

// A key pressed where the keyboard focus is, as the user presses it.
void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::ControlModifier) {
  QTest::keyClick(QApplication::focusWidget(), key, modifiers);
}

TEST_F(EditingTest, EveryAlbumEditIsUndoneAndRedoneFromItsPage) {
  testing::TemporaryFolder folder{"glim-undo"};
  for (const char* name : {"a.jpg", "b.jpg"}) std::ofstream(folder / name) << "listed";
  form->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
  ASSERT_TRUE(showFolder(QString::fromStdString(folder.path().string()), 3));
  // The lines chosen in a list, the last one focused, as the user chooses them on its page.
  auto choose = [&](int page, QListWidget* list, std::initializer_list<int> rows) {
    form->PageControl2->setCurrentIndex(page);
    list->setFocus();
    list->clearSelection();
    for (int row : rows) list->setCurrentRow(row, QItemSelectionModel::Select);
  };
  QCheckBox* show = form->ShowComment;
  const std::pair<const char*, std::function<void()>> edits[] = {
      {"add",
       [&] {
         selectInList({"a.jpg", "b.jpg"}), form->AddBtn->click();
       }},
      {"Delete key",
       [&] {
         choose(0, form->ImageList, {1, 3}), press(Qt::Key_Delete, {});
       }},
      {"Escape", [&] { press(Qt::Key_Escape, {}); }},
      {"move down", [&] { choose(1, form->SortBox, {1}), form->DownNow->click(); }},
      {"move up", [&] { choose(1, form->SortBox, {3}), form->UpNow->click(); }},
      {"check mark", [&] { choose(2, form->ImageBox, {2}), press(Qt::Key_Space, {}); }},
      {"show comment",
       [&] {
         choose(2, form->ImageBox, {2, 0}), QTest::mouseClick(show, Qt::LeftButton, {}, {6, 6});
       }},
      {"one visit of the comment field",
       [&] {
         form->ComMemo->setFocus();
         QTest::keyClicks(form->ComMemo, "Hi\rthere");
         form->ImageBox->setFocus();
       }},
  };
  auto listStates = [&] {
    std::vector<ListState> states;
    for (auto list : {&TMainForm::ImageList, &TMainForm::SortBox, &TMainForm::ImageBox})
      states.push_back(stateOf(form.get()->*list));
    return states;
  };
  std::vector<std::vector<PictureEntry>> albums = {form->album.entries()};
  for (const auto& [what, edit] : edits) {
    SCOPED_TRACE(what);
    edit();
    albums.push_back(form->album.entries());
    ASSERT_NE(albums.back(), albums[albums.size() - 2]);
    const std::vector<ListState> shown = listStates();
    press(Qt::Key_Z);
    EXPECT_EQ(form->album.entries(), albums[albums.size() - 2]);
    const bool shifted = albums.size() % 2 == 0;
    press(shifted ? Qt::Key_Z : Qt::Key_Y,
          Qt::ControlModifier | (shifted ? Qt::ShiftModifier : Qt::NoModifier));
    EXPECT_EQ(form->album.entries(), albums.back());
    EXPECT_EQ(listStates(), shown) << "the lists as after the edit itself";
  }

  // Ctrl+Z and Ctrl+Y in the comment field take back and make again its typing only.
  form->ComMemo->setFocus();
  QTest::keyClicks(form->ComMemo, "!");
  press(Qt::Key_Z);
  press(Qt::Key_Y);
  EXPECT_EQ(form->album.entry(2).commentText(), "!Hi\r\nthere");
  press(Qt::Key_Z);
  EXPECT_EQ(form->album.entries(), albums.back());

  // Back to the start from another page, one step per edit, and forward again.
  form->PageControl2->setCurrentIndex(4);
  form->PageControl2->tabBar()->setFocus();
  for (std::size_t step = 1; step < albums.size(); ++step) press(Qt::Key_Z);
  EXPECT_EQ(form->album.entries(), albums.front());
  EXPECT_FALSE(form->UndoAction->isEnabled());
  for (std::size_t step = 1; step < albums.size(); ++step) press(Qt::Key_Y);
  EXPECT_EQ(form->album.entries(), albums.back());

  // Open and New clear the history.
  const std::string saved = folder / "album.lmf";
  form->SaveFile(saved);
  dialogs.fileNames.push_back(saved);
  for (void (TMainForm::*clear)() : {&TMainForm::OpenBtnClick, &TMainForm::NewBtnClick}) {
    form->DelBtn->click();
    (form.get()->*clear)();
    const std::vector<PictureEntry> cleared = form->album.entries();
    press(Qt::Key_Z);
    EXPECT_EQ(form->album.entries(), cleared);
    EXPECT_FALSE(form->UndoAction->isEnabled() || form->RedoAction->isEnabled());
  }
  EXPECT_EQ(form->album.EntryCount(), 0);
}

class PreviewWindowTest : public MainFormTest {
 protected:
  void SetUp() override {
    MainFormTest::SetUp();
    addPreviewWindow();
    testing::writePlainBmp(good, 40, 30);
    form->album.append(good);
    form->album.append(folder / "missing.bmp");
    form->UpdateListBox();
  }

  // Opens the preview window by the given action; true when the window was shown.
  bool windowShownBy(const std::function<void()>& action) {
    bool shown = false;
    QTimer::singleShot(0, form->PreViewForm, [&] {
      shown = form->PreViewForm->isVisible();
      form->PreViewForm->BitBtn1->click();
    });
    action();
    // A timer not taken by a modal loop fires here, finding the window hidden.
    QCoreApplication::processEvents();
    return shown;
  }

  testing::TemporaryFolder folder{"glim-prevwin"};
  std::string good = folder / "good.bmp";
};

TEST_F(PreviewWindowTest, CurrentPictureIsShownWithoutLoadingItAgain) {
  form->openfilenow(good);
  ASSERT_EQ(form->album.PreviewFileName, good);
  const uint8_t* pixels = form->currentPicture.Pixels;
  std::filesystem::remove(good);  // a second load would now fail
  form->SortBox->setCurrentRow(0);
  EXPECT_TRUE(windowShownBy([&] { form->SortBoxDblClick(); }));
  EXPECT_TRUE(dialogs.messages.empty());
  EXPECT_EQ(form->currentPicture.Pixels, pixels);
}

TEST_F(PreviewWindowTest, PictureIsLoadedFirstAndTheFocusMarkMoves) {
  form->ImageList->setCurrentRow(1, QItemSelectionModel::ClearAndSelect);
  form->ImageBox->setCurrentRow(0);
  EXPECT_TRUE(windowShownBy([&] { form->ImageBoxDblClick(); }));
  EXPECT_EQ(form->album.PreviewFileName, good);
  EXPECT_EQ(form->ImageList->currentRow(), 0);
  ASSERT_EQ(form->ImageList->selectedItems().size(), 1);
  EXPECT_EQ(form->ImageList->selectedItems()[0]->text(), "missing.bmp") << "selection kept";
}

TEST_F(PreviewWindowTest, FailedLoadShowsTheErrorAndNoWindow) {
  form->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
  form->PageControl2->setCurrentIndex(1);
  form->SortBox->setCurrentRow(1);
  form->SortBox->setFocus();
  EXPECT_FALSE(windowShownBy([&] { QTest::keyClick(form->SortBox, Qt::Key_Return); }));
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0].caption,
            "Error: The file " + (folder / "missing.bmp") + " could not be loaded!");
  EXPECT_TRUE(form->album.PreviewFileName.empty());
}

}  // namespace
}  // namespace glim
