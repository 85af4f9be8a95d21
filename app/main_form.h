// TMainForm: the application's one main window. It owns the album and the current picture,
// leads the user through five pages (add, sort, comment, create, view the result), carries
// the file commands, the picture buttons and the progress status bar. Handlers stay thin:
// the album core does the work and the window shows what it reports.
#pragma once

#include <QWidget>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "album.h"
#include "album_settings.h"
#include "file_type_filter.h"
#include "picodec.h"
#include "user_dialogs.h"

class QAction;
class QCheckBox;
class QComboBox;
class QEvent;
class QFrame;
class QKeyEvent;
class QGroupBox;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QSettings;
class QSpinBox;
class QSplitter;
class QTabWidget;
class QTextBrowser;
class QToolButton;
class QTreeView;
class QUndoStack;

namespace glim {

class AlbumEditCommand;
struct AlbumChange;
class PictureButton;
class PictureReadAhead;
struct ProgramPrinter;
class ProgressStatusBar;
class ShellBrowser;
class TMainForm;
class TPreViewForm;
class TViewPicForm;

// The window handle given to the codec library: its progress messages land in `WMUser`.
struct MainWindowHandle {
  PicoWindow window;  // first, so that the library's pointer is this record's address
  TMainForm* form;
};

// How the lists follow an album edit, and its undoing and redoing: rebuilt (a change in number
// or order), the sort list then on the moved picture's line; or left as they are, with the
// check marks and the comment fields showing the album.
struct AlbumEditFollow {
  bool rebuild = false;
  int sortLineAfter = -1;   // after the edit, -1: none chosen
  int sortLineBefore = -1;  // after it was undone
};

class TMainForm : public QWidget {
  Q_OBJECT
 public:
  // `dialogs` answers every message box and dialog; null means real Qt dialogs.
  explicit TMainForm(UserDialogs* dialogs = nullptr, QWidget* parent = nullptr);
  ~TMainForm() override;

  // The album (entries, file names, program folder) and the current picture.
  Album album;
  DibImage currentPicture{};
  // The other two windows of the program, created after this one.
  TPreViewForm* PreViewForm = nullptr;
  TViewPicForm* ViewPicForm = nullptr;

  // Top bar.
  QToolButton* NewBtn;
  QToolButton* OpenBtn;
  QToolButton* SaveBtn;
  QToolButton* SaveAsBtn;
  QTabWidget* PageControl2;
  // "Add picture".
  QSplitter* Splitter1;  // upper part (tree and list) over the lower part
  QSplitter* Splitter2;  // folder tree beside the file list
  QTreeView* JamShellTree1;
  QTreeView* JamShellList1;
  QComboBox* FilterComboBox1;
  QFrame* DibPrevPanel;
  QWidget* DibPrevPaint;
  QPushButton* AddBtn;
  QPushButton* DelBtn;
  QPushButton* ViewBtn;
  QPushButton* PrintBtn;
  QListWidget* ImageList;
  // "Sort".
  QListWidget* SortBox;
  QPushButton* UpNow;
  QPushButton* DownNow;
  // "Comments".
  QListWidget* ImageBox;
  QGroupBox* CommentGroup;
  QCheckBox* ShowComment;
  QPlainTextEdit* ComMemo;
  // "Create Glimmervellium".
  PictureButton* GoBtn1;
  QFrame* Shape1;
  QPushButton* ColorBtn;
  QSpinBox* BreitEd;
  QSpinBox* HochEd;
  QLineEdit* CaptionED;
  QLineEdit* FreeText;
  QSpinBox* AnzEd;
  QSpinBox* BorderEd;
  QLineEdit* Caption2ED;
  QSpinBox* Border2ED;
  // The pages' style, "Classic" or "Modern"; remembered per user in the settings file's
  // "AlbumPages" group.
  QComboBox* StyleBox;
  // "Update in place": the run updates the album already in the folder (album_update.h);
  // remembered beside the style.
  QCheckBox* UpdateCheck;
  // "View result".
  QTextBrowser* WebBrowser1;
  // Bottom strip and status bar.
  QToolButton* wwwBtn;
  PictureButton* ueberbtn;
  PictureButton* EndeBtn;
  ProgressStatusBar* StatusBar1;
  // Undo and redo of album edits, enabled while there is an edit to undo or redo.
  QAction* UndoAction;
  QAction* RedoAction;

  // The lists follow the album.
  void UpdateListBox();
  void ChangeImageBox();
  void Setsavedfilename(const std::string& path);

  // Album file.
  void SaveFile(const std::string& path);
  void OpenFile(const std::string& path);
  // The album named on the command line (relative to the working folder), opened as Open opens
  // a chosen file, with its messages, but without asking first: nothing is open yet.
  void openGivenAlbum(const QString& argument);
  void NewBtnClick();
  void OpenBtnClick();
  void SaveBtnClick();
  void SaveAsBtnClick();

  // The creation settings are the create page's fields; there is no other copy.
  AlbumSettings currentSettings() const;
  void showSettings(const AlbumSettings& settings);
  uint32_t backgroundColor() const { return backgroundColor_; }
  void setBackgroundColor(uint32_t color);
  void ColorBtnClick();

  // Picture buttons and the home page.
  // Ctrl+Tab and Ctrl+PageDown; Ctrl+Shift+Tab and Ctrl+PageUp.
  void nextPage();
  void previousPage();
  void EndeBtnClick();
  void ueberbtnClick();
  void ueberBtn2Click() { ueberbtnClick(); }
  void GoBtn1Click();
  void wwwBtnClick();
  bool EndePressed() const;
  bool UeberPressed() const;
  bool GoPressed() const;

  // File-type filter box; the mask is what the file list shows.
  void FilterComboBox1Change();
  // The file-browsing pane: the folder tree and the file list.
  ShellBrowser* fileBrowser() const { return shellBrowser_; }
  void JamShellList1DblClick();
  // Enter on the file list acts as a double click on it (true: the key was used).
  bool JamShellList1KeyPress(QKeyEvent* key);

  // The current picture: a picture file loaded into it, and the preview pane.
  void openfilenow(const std::string& path);
  // A decoded picture of `path` becomes the current picture; the window frees it.
  void takeCurrentPicture(const DibImage& picture, const std::string& path);

  // Editing the album from its lists.
  void AddBtnClick();
  void DelBtnClick();
  void ImageListDblClick();
  // Shows the album's focused picture in the viewer.
  void ViewBtnClick();
  // From the viewer: the album's next (+1) or previous (-1) entry becomes the focused line and
  // the current picture, as "&Show big" would make it, and the viewer shows it.
  void stepViewer(int direction);
  // Makes `viewer` the program's picture viewer, printing with this window's printer.
  void setViewer(TViewPicForm* viewer);
  // Prints the album's focused picture on one page, as the print options dialog chooses.
  void PrintBtnClick();
  // The program's printer: the printer, paper and orientation chosen stay for the whole run.
  ProgramPrinter& printer();
  void UpNowClick();
  void DownNowClick();
  void SortBoxDblClick();
  void ImageBoxClick();
  void ImageBoxDblClick();
  void ImageBoxClickCheck();
  void ShowCommentClick();
  void ComMemoChange();
  // Takes the last album edit back, or makes the last one taken back again. A visit of the
  // comment field that is under way ends first.
  void undoAlbumEdit();
  void redoAlbumEdit();
  QString fileListMask() const { return fileListMask_; }
  const std::vector<FileTypeChoice>& fileTypeChoices() const { return fileTypes_; }

  // Progress from the codec library.
  HWND windowHandle() { return &handle_.window; }
  void WMUser(intptr_t wparam);
  void SetProStatus(int32_t value);

  UserDialogs& dialogs() { return *dialogs_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void FormCreate();
  void FormDestroy();
  bool FormCloseQuery();
  void DibPrevPaintPaint();
  void connectListEditing();
  // Enter, Delete and other keys in the album lists; true when the key was taken.
  bool listKeyDown(QObject* list, QKeyEvent* key);
  // Mouse events on the album lists' viewports; true when the event was taken.
  bool listMouse(QObject* viewport, QEvent* event);
  // The sort and comments pages' double-click: that line's picture in the preview window.
  void showPreviewWindowFor(int line);
  // Escape acts on the add page's "Delete" button, the window's cancel button.
  void cancelButtonKey();
  FileDialogRequest albumFileDialog(const char* title) const;
  MessageAnswer ask(const char* text, const char* caption);

  QWidget* buildTopBar();
  void addKeyboardCommands();
  QWidget* buildBottomBar();
  QWidget* buildAddPage();
  QWidget* buildSortPage();
  QWidget* buildCommentsPage();
  QWidget* buildCreatePage();
  QWidget* buildResultPage();

  // The album's history of edits since the last New or Open.
  friend class AlbumEditCommand;
  void addAlbumHistory();
  void clearAlbumHistory();
  // The album as it is before an edit; ends a visit of the comment field that is under way.
  std::vector<PictureEntry> beginAlbumEdit();
  // Adds the edit from `before` to the album as it is now to the history, unless it is none.
  void recordAlbumEdit(const std::vector<PictureEntry>& before, AlbumEditFollow follow);
  // A visit of the comment field is one edit, however many keys it took.
  void finishCommentVisit();
  // Leaving the comment field ends its visit; the undo and redo keys there are the field's own.
  void commentFieldEvent(QEvent* event);
  // Makes or takes back an edit of the history, and lets the lists follow.
  void showAlbumChange(const AlbumChange& change, bool forward, const AlbumEditFollow& follow);
  QUndoStack* albumHistory_ = nullptr;
  // The album when the current visit of the comment field first changed it.
  std::optional<std::vector<PictureEntry>> commentVisitStart_;

  std::unique_ptr<UserDialogs> ownDialogs_;
  std::unique_ptr<ProgramPrinter> printer_;
  // Decodes the viewer's neighbouring pictures while the viewer is open.
  std::unique_ptr<PictureReadAhead> readAhead_;
  void readAheadAround(int line, int direction);
  UserDialogs* dialogs_;
  MainWindowHandle handle_;
  uint32_t backgroundColor_ = kSilver;
  std::vector<FileTypeChoice> fileTypes_;
  ShellBrowser* shellBrowser_ = nullptr;
  QString fileListMask_ = QStringLiteral("*");
  // Where the album dialogs and the overview's save dialog open next: the user's pictures
  // folder at first, then the folder of the album last opened or saved and of the overview
  // last chosen.
  std::string albumDialogFolder_;
  std::string overviewDialogFolder_;
  // True when the settings file can be read; says once a run why it cannot.
  bool settingsUsable(const QSettings& settings);
  // Keeps `value` under `name` in the settings file's "AlbumPages" group; a failure is told once.
  void storeAlbumPagesValue(const QString& name, const QVariant& value);
  bool settingsTrouble_ = false;  // a trouble with the settings file was told
  bool destroyed_ = false;
};

}  // namespace glim
