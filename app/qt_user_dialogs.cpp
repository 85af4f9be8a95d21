#include "qt_user_dialogs.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QLayout>
#include <QMessageBox>
#include <QScreen>
#include <QStringList>
#include <algorithm>

#include "album_text.h"
#include "name_only_file_icons.h"
#include "paths.h"

namespace glim {

QString qtFileFilter(std::string_view pairs) {
  const QStringList parts = albumText(pairs).split(QLatin1Char('|'));
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QString masks = parts[i + 1];
    masks.replace(QLatin1Char(';'), QLatin1Char(' '));
    filters << parts[i] + QStringLiteral(" (") + masks.simplified() + QLatin1Char(')');
  }
  return filters.join(QStringLiteral(";;"));
}

bool descriptionsShowMasks(std::string_view pairs) {
  const QStringList parts = albumText(pairs).split(QLatin1Char('|'));
  if (parts.size() < 2) return false;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    const QString description = parts[i].trimmed();
    if (!description.endsWith(QLatin1Char(')')) || !description.contains(QLatin1Char('('))) {
      return false;
    }
  }
  return true;
}

namespace {

// A message box as wide as its caption needs, so that the window frame does not cut the
// caption off (a file name in it must be readable), but never wider than the screen, and
// centred on its owner. The box sizes itself to its text again once the window system has
// shown it, and on a change of font or style: it is then widened and placed again.
class CaptionedMessageBox final : public QMessageBox {
 public:
  using QMessageBox::QMessageBox;

 protected:
  void showEvent(QShowEvent* event) override {
    QMessageBox::showEvent(event);  // sizes the box to its text
    fitAndPlace();
  }

  void resizeEvent(QResizeEvent* event) override {
    QMessageBox::resizeEvent(event);
    if (isVisible() && !fitting_ && width() != wantedWidth_) fitAndPlace();
  }

 private:
  void fitAndPlace() {
    fitting_ = true;
    fit();
    fitting_ = false;
  }

  void fit() {
    const QScreen* screen = this->screen();
    if (!screen) return;
    const QRect available = screen->availableGeometry();
    // The frame's buttons and icon beside the caption take about this much.
    constexpr int kFrameAllowance = 160;
    const QRect outer = frameGeometry();
    const QRect inner = geometry();
    const int frameWidth = outer.width() - inner.width();
    const int frameHeight = outer.height() - inner.height();
    // A frame not known yet still gets room for a title bar above the box and borders beside.
    constexpr int kTitleBar = 32;
    constexpr int kBorders = 8;
    // As wide as the caption needs, and never wider than the screen with the frame.
    const int wanted = std::min(
        std::max(width(), fontMetrics().horizontalAdvance(windowTitle()) + kFrameAllowance),
        available.width() - (frameWidth > 0 ? frameWidth : kBorders));
    wantedWidth_ = wanted;
    // A shown box takes a new size only when the window system answers: placed by this one.
    QSize size = this->size();
    if (wanted != width()) {
      size = QSize(wanted, layout() && layout()->hasHeightForWidth()
                               ? std::max(height(), layout()->totalHeightForWidth(wanted))
                               : height());
      setFixedSize(size);
    }
    // Centred on the owner window (else on the screen) and wholly on the screen, the title
    // bar included: its caption may hold the file name the box is about.
    const QWidget* owner = parentWidget() != nullptr ? parentWidget()->window() : nullptr;
    const QRect over = owner != nullptr && owner->isVisible() ? owner->frameGeometry() : available;
    const QSize whole(size.width() + frameWidth, size.height() + frameHeight);
    QPoint place = over.center() - QPoint(whole.width() / 2, whole.height() / 2);
    const int lowestTop = available.top() + (frameHeight > 0 ? 0 : kTitleBar);
    place.setX(std::clamp(place.x(), available.left(),
                          std::max(available.left(), available.right() - whole.width() + 1)));
    place.setY(std::clamp(place.y(), lowestTop,
                          std::max(lowestTop, available.bottom() - whole.height() + 1)));
    move(place);  // places the frame
  }

  int wantedWidth_ = 0;
  bool fitting_ = false;
};

}  // namespace

MessageAnswer QtUserDialogs::showMessage(const MessageBox& box) {
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  switch (box.icon) {
    case MessageIcon::None:
      icon = QMessageBox::NoIcon;
      break;
    case MessageIcon::Information:
      icon = QMessageBox::Information;
      break;
    case MessageIcon::Warning:
      icon = QMessageBox::Warning;
      break;
    case MessageIcon::Error:
      icon = QMessageBox::Critical;
      break;
  }
  const bool question = box.buttons == MessageButtons::OkCancel;
  // A box without a caption carries the application title, not the executable's name.
  const QString caption =
      box.caption.empty() ? albumText(kApplicationTitle) : albumText(box.caption);
  CaptionedMessageBox dialog(icon, caption, albumText(box.text),
                             question ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok,
                             owner_);
  dialog.setDefaultButton(QMessageBox::Ok);
  if (question) dialog.setEscapeButton(QMessageBox::Cancel);
  return dialog.exec() == QMessageBox::Ok ? MessageAnswer::Ok : MessageAnswer::Cancel;
}

std::optional<std::string> QtUserDialogs::runFileDialog(const FileDialogRequest& request,
                                                        bool save) {
  QFileDialog dialog(owner_, albumText(request.title), QString(), qtFileFilter(request.filter));
  // Types judged by name before the first folder is read: nothing shown is ever opened.
  dialog.setIconProvider(&nameOnlyFileIcons());
  dialog.setDirectory(pathText(request.initialFolder));
  if (!request.fileName.empty()) dialog.selectFile(pathText(request.fileName));
  // A description that shows its masks already ("HTML Dateien (*.htm)") is shown as it is.
  dialog.setOption(QFileDialog::HideNameFilterDetails, descriptionsShowMasks(request.filter));
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  // The open dialog lets a missing name through: opening it then reports the open error.
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setDefaultSuffix(albumText(request.defaultExtension));
  dialog.setOption(QFileDialog::DontConfirmOverwrite, !(save && request.askOverwrite));
  dialog.setSizeGripEnabled(true);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return pathBytes(dialog.selectedFiles().constFirst());
}

std::optional<std::string> QtUserDialogs::openFileName(const FileDialogRequest& request) {
  return runFileDialog(request, false);
}

std::optional<std::string> QtUserDialogs::saveFileName(const FileDialogRequest& request) {
  return runFileDialog(request, true);
}

std::optional<uint32_t> QtUserDialogs::chooseColor(uint32_t initial) {
  const QColor start(int(initial & 0xFF), int(initial >> 8 & 0xFF), int(initial >> 16 & 0xFF));
  const QColor chosen = QColorDialog::getColor(start, owner_);
  if (!chosen.isValid()) return std::nullopt;
  return uint32_t(chosen.red()) | uint32_t(chosen.green()) << 8 | uint32_t(chosen.blue()) << 16;
}

}  // namespace glim
