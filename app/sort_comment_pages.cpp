// TMainForm: the "Sort" page (order of the pictures) and the "Comments" page (a comment and
// its flag for each picture).
#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QVBoxLayout>

#include "main_form.h"
#include "page_parts.h"

namespace glim {

namespace {
// A tall button with its glyph above or below the caption. It paints both itself, so that a
// screen reader finds one button named by its caption and no picture inside it.
class TallButton : public QPushButton {
 public:
  TallButton(const QString& caption, const QString& glyph, bool glyphAbove, QWidget* parent)
      : QPushButton(caption, parent), glyph_(glyph), glyphAbove_(glyphAbove) {
    setFixedSize(145, 65);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text.clear();
    painter.drawControl(QStyle::CE_PushButton, option);  // the face and the focus frame
    const QRect inner = rect().adjusted(4, 6, -4, -6);
    const int middle = inner.center().y();
    const QRect upper(inner.left(), inner.top(), inner.width(), middle - inner.top());
    const QRect lower(inner.left(), middle, inner.width(), inner.bottom() + 1 - middle);
    const QPixmap pixmap = glyph_.pixmap(QSize(24, 24), devicePixelRatioF(),
                                         isEnabled() ? QIcon::Normal : QIcon::Disabled);
    painter.drawItemPixmap(glyphAbove_ ? upper : lower, Qt::AlignCenter, pixmap);
    painter.drawItemText(glyphAbove_ ? lower : upper, Qt::AlignCenter, palette(), isEnabled(),
                         text(), QPalette::ButtonText);
  }

 private:
  QIcon glyph_;
  bool glyphAbove_;
};

QPushButton* tallButton(const QString& caption, const QString& glyph, bool glyphAbove,
                        QWidget* parent) {
  return new TallButton(caption, glyph, glyphAbove, parent);
}
}  // namespace

QWidget* TMainForm::buildSortPage() {
  auto* content = new QWidget;
  auto* layout = new QHBoxLayout(content);
  layout->setContentsMargins(0, 0, 4, 0);
  layout->addWidget(makeDecorativePanel(QStringLiteral(":/art/sort_picture.svg"),
                                        QStringLiteral("Sort pictures..."), content));
  SortBox = new QListWidget(content);
  SortBox->setSelectionMode(QAbstractItemView::SingleSelection);
  layout->addWidget(SortBox, 1);
  auto* column = new QVBoxLayout;
  UpNow = tallButton(QStringLiteral("Move upward"), QStringLiteral(":/art/up.svg"), true, content);
  DownNow =
      tallButton(QStringLiteral("Move downward"), QStringLiteral(":/art/down.svg"), false, content);
  column->addWidget(UpNow);
  column->addWidget(DownNow);
  column->addStretch(1);
  layout->addLayout(column);
  return makePage(QStringLiteral("Sort - You can correct the order of the pictures"), content);
}

QWidget* TMainForm::buildCommentsPage() {
  auto* content = new QWidget;
  auto* layout = new QHBoxLayout(content);
  layout->setContentsMargins(4, 4, 4, 4);
  ImageBox = new QListWidget(content);
  ImageBox->setSelectionMode(QAbstractItemView::ExtendedSelection);
  layout->addWidget(ImageBox, 1);

  CommentGroup = new QGroupBox(QStringLiteral("Comment for picture"), content);
  CommentGroup->setFixedWidth(366);
  auto* group = new QVBoxLayout(CommentGroup);
  ShowComment = new QCheckBox(QStringLiteral("Show comment"), CommentGroup);
  ShowComment->setChecked(true);
  ComMemo = new QPlainTextEdit(CommentGroup);
  ComMemo->setLineWrapMode(QPlainTextEdit::NoWrap);
  ComMemo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  ComMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  group->addWidget(ShowComment);
  group->addWidget(ComMemo, 1);
  layout->addWidget(CommentGroup);
  return makePage(QStringLiteral("Comment - select picture and write a comment"), content);
}

}  // namespace glim
